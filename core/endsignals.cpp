#include "endsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte here; the event loop reads it and does
// the work, since almost nothing else is safe inside a signal handler.
int g_endSignalPipe[2] = {-1, -1};

void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_endSignalPipe[1], &byte, 1);
}

} // namespace

bool onEndSignals(QObject *context, std::function<void()> action)
{
    if (g_endSignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_endSignalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(qintptr(g_endSignalPipe[0]), QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [action = std::move(action)] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_endSignalPipe[0], &byte, 1);
        action();
    });
    struct sigaction handling = {};
    handling.sa_handler = onEndSignal;
    sigemptyset(&handling.sa_mask);
    handling.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &handling, nullptr);
    return true;
}
