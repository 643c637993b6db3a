#pragma once

#include <functional>

class QObject;

// Runs `action` in the event loop when the process is asked to end (SIGTERM at
// logout, shutdown or kill; SIGHUP; SIGINT from Ctrl-C), for as long as
// `context` lives. Returns false if the signals could not be taken over.
bool onEndSignals(QObject *context, std::function<void()> action);
