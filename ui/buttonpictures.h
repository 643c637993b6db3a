#pragma once

#include <QIcon>

// Pictures for the main window's buttons that no icon theme names well:
// "update", "find", "addfav", "options", "configfav", "remote", and "home" for
// desktops whose icon theme has none.
QIcon buttonPicture(const QString &name);
