#pragma once

#include <QIcon>

// The program's icon, for its windows and the notification area.
QIcon appIcon();
