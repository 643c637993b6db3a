#pragma once

#include <QIcon>

// The program's icon, for its windows and the notification area, drawn from
// platform/icons/kestrelmoor-modlist.svg: the same file is installed as the
// desktop's scalable icon and rasterised into its PNG sizes.
QIcon appIcon();
