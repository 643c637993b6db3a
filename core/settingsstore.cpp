#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace {

// One path segment per name: case folded, and everything but plain letters and
// digits percent-escaped, so that "/" or "\" in a name cannot open a new group.
QString segment(const QString &name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name.toCaseFolded(), "-_."));
}

QString entryPath(const QString &application, const QString &section, const QString &key)
{
    // A leading marker keeps an empty name from vanishing from the path.
    return QLatin1Char('n') + segment(application) + QStringLiteral("/n") + segment(section) +
           QStringLiteral("/n") + segment(key);
}

QString configFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : base;
}

} // namespace

QString userSettingsPath()
{
    return configFolder() + QStringLiteral("/kestrelmoor-modlist/modlist.ini");
}

QString earlierUserSettingsPath()
{
    return configFolder() + QStringLiteral("/kestrelmoor/modlist.ini");
}

bool adoptEarlierSettings(const QString &earlier, const QString &current)
{
    if (QFileInfo::exists(current) || QFileInfo(current).isSymLink() || !QFileInfo(earlier).isFile())
        return true;
    QFile source(earlier);
    if (!source.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(current).absolutePath()))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    QSaveFile copy(current);
    return copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size() && copy.commit();
}

QSettingsStore::QSettingsStore() : m_path(userSettingsPath()) {}

QSettingsStore::QSettingsStore(QString iniFilePath) : m_path(std::move(iniFilePath)) {}

QString QSettingsStore::value(const QString &application, const QString &section,
                                   const QString &key, const QString &defaultValue) const
{
    QSettings settings(m_path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return defaultValue;
    const QVariant value = settings.value(entryPath(application, section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold a list ("a, b"); take it as the text it was.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool QSettingsStore::setValue(const QString &application, const QString &section,
                                 const QString &key, const QString &value)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    {
        QSettings probe(m_path, QSettings::IniFormat);
        if (probe.status() == QSettings::FormatError) {
            // Writing through QSettings would drop every entry it could not parse:
            // keep the damaged file beside the new one instead.
            const QString aside = m_path + QStringLiteral(".damaged");
            QFile::remove(aside);
            if (!QFile::rename(m_path, aside))
                return false;
        }
    }
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(entryPath(application, section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString MemorySettingsStore::value(const QString &application, const QString &section,
                                        const QString &key, const QString &defaultValue) const
{
    return m_values.value(entryPath(application, section, key), defaultValue);
}

bool MemorySettingsStore::setValue(const QString &application, const QString &section,
                                      const QString &key, const QString &value)
{
    if (!m_writable)
        return false;
    m_values.insert(entryPath(application, section, key), value);
    return true;
}
