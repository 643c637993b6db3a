#pragma once

#include <QByteArray>

class QPalette;

// Pages in the web views learn the desktop's colour scheme through CSS
// `prefers-color-scheme`. Qt WebEngine 6.4 has no setting for it, but Chromium
// reads a command-line switch when the engine starts.

// True for a dark palette: its window colour is darker than middle grey.
bool isDarkPalette(const QPalette &palette);

// The Chromium flags to start the engine with: `current` with the switch for
// a dark scheme added when `dark` is true and it is not there yet; otherwise
// `current` unchanged (a user's own flags are kept as they are).
QByteArray chromiumFlagsForScheme(const QByteArray &current, bool dark);

// Sets QTWEBENGINE_CHROMIUM_FLAGS for the application palette. Call once the
// QApplication exists (the platform theme has given the palette) and before the
// first web view or profile is made; later calls have no effect on the engine.
void reportColorSchemeToWebPages(const QPalette &palette);
