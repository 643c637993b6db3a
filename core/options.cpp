#include "options.h"

#include "settingsstore.h"

#include <cmath>

namespace {

// The value read as a number; text that is no number reads as 0.
double numberOf(const SettingsStore &store, const QString &key)
{
    const QString text = store.getSetting(Options::kApplication, Options::kSection, key, QStringLiteral("0"));
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return (ok && std::isfinite(value)) ? value : 0.0;
}

} // namespace

bool Options::isOn(const SettingsStore &store, const QString &key)
{
    return numberOf(store, key) == 1.0;
}

bool Options::isNonZero(const SettingsStore &store, const QString &key)
{
    return numberOf(store, key) != 0.0;
}

int Options::wholeNumber(const SettingsStore &store, const QString &key)
{
    const double value = numberOf(store, key);
    return (value >= -2147483648.0 && value <= 2147483647.0) ? int(value) : 0;
}

QString dateStamp(const QDate &date)
{
    return date.toString(QStringLiteral("MM-dd-yyyy"));
}

QString updateDate(const SettingsStore &store, const QString &settingsName, const QDate &today)
{
    return store.getSetting(settingsName, Options::kSection, Options::kUpdate, dateStamp(today));
}
