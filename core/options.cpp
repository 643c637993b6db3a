#include "options.h"

#include "settingsstore.h"

#include <cmath>

namespace {

// The value read as a number; text that is no number reads as 0.
double numberOf(const SettingsStore &store, const QString &key)
{
    const QString text = store.value(Options::kApplication, Options::kSection, key, QStringLiteral("0"));
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

QString dateStamp(const QDate &date)
{
    return date.toString(QStringLiteral("MM-dd-yyyy"));
}

QString updateDate(const SettingsStore &store, const QString &settingsName, const QDate &today)
{
    return store.value(settingsName, Options::kSection, Options::kUpdateDate, dateStamp(today));
}

QString updatedLabelText(const QString &date)
{
    return QStringLiteral("updated: ") + date;
}
