#pragma once

#include <QIcon>

// Pictures for the main window's buttons that no icon theme names well:
// "update", "find", "addfav", "options", "configfav", "remote", and "home" for
// desktops whose icon theme has none. Drawn from ui/pictures/buttons/NAME.svg in
// the ink of the desktop's palette at the time they are shown.
QIcon buttonPicture(const QString &name);
