#include "colorscheme.h"

#include <QColor>
#include <QList>
#include <QPalette>

namespace {

const QByteArray kEnvironment = QByteArrayLiteral("QTWEBENGINE_CHROMIUM_FLAGS");
// Makes Chromium's native theme dark, which pages see as prefers-color-scheme: dark.
const QByteArray kDarkSwitch = QByteArrayLiteral("--force-dark-mode");

} // namespace

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}

QByteArray chromiumFlagsForScheme(const QByteArray &current, bool dark)
{
    if (!dark)
        return current;
    const QList<QByteArray> flags = current.simplified().split(' ');
    if (flags.contains(kDarkSwitch))
        return current;
    const QByteArray trimmed = current.trimmed();
    return trimmed.isEmpty() ? kDarkSwitch : trimmed + ' ' + kDarkSwitch;
}

void reportColorSchemeToWebPages(const QPalette &palette)
{
    const QByteArray current = qgetenv(kEnvironment.constData());
    const QByteArray wanted = chromiumFlagsForScheme(current, isDarkPalette(palette));
    if (wanted != current)
        qputenv(kEnvironment.constData(), wanted);
}
