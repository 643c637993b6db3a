#include "gamesetup.h"

#include "core/options.h"
#include "core/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace {

QString stored(const SettingsStore &store, const QString &key)
{
    return store.value(Options::kApplication, GameSettings::kSection, key, QString()).trimmed();
}

bool isProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString findOnPath(const QString &name, const SystemPaths &paths)
{
    for (const QString &folder : paths.pathVariable.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = paths.root + QDir(folder).absoluteFilePath(name);
        if (isProgram(candidate))
            return candidate;
    }
    return {};
}

bool hasFlatpakEngine(const SystemPaths &paths)
{
    const QString app = QStringLiteral("/flatpak/app/") + QLatin1String(kFlatpakEngineId);
    return !findOnPath(QStringLiteral("flatpak"), paths).isEmpty() &&
           (QFileInfo(paths.root + QStringLiteral("/var/lib") + app).isDir() ||
            QFileInfo(paths.home + QStringLiteral("/.local/share") + app).isDir());
}

QString detectEngine(const SystemPaths &paths)
{
    for (const char *name : {"yquake2", "quake2"}) {
        const QString found = findOnPath(QLatin1String(name), paths);
        if (!found.isEmpty())
            return found;
    }
    for (const char *path : {"/usr/lib/quake2/quake2-engine", "/usr/lib/yamagi-quake2/quake2"}) {
        if (isProgram(paths.root + QLatin1String(path)))
            return paths.root + QLatin1String(path);
    }
    if (hasFlatpakEngine(paths))
        return QCoreApplication::translate("GameSetup", "flatpak run ") + QLatin1String(kFlatpakEngineId);
    return {};
}

bool hasGameData(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder + QStringLiteral("/baseq2/pak0.pak")).isFile();
}

QString quoted(const QString &path)
{
    return path.contains(u' ') ? u'"' + path + u'"' : path;
}

} // namespace

SystemPaths SystemPaths::current()
{
    return {QProcessEnvironment::systemEnvironment().value(QStringLiteral("PATH")), QDir::homePath(), QString()};
}

GameSetup GameSetup::load(const SettingsStore &store)
{
    return {stored(store, GameSettings::kEngine), stored(store, GameSettings::kModsFolder),
            stored(store, GameSettings::kGameData), stored(store, GameSettings::kExtraArguments)};
}

bool GameSetup::save(SettingsStore &store) const
{
    bool ok = true;
    for (const auto &[key, value] : {std::pair{GameSettings::kEngine, engine},
                                     {GameSettings::kModsFolder, modsFolder},
                                     {GameSettings::kGameData, gameData},
                                     {GameSettings::kExtraArguments, extraArguments}})
        ok = store.setValue(Options::kApplication, GameSettings::kSection, key, value.trimmed()) && ok;
    return ok;
}

GameSetup GameSetup::completed(const SystemPaths &paths) const
{
    GameSetup out = *this;
    if (out.engine.isEmpty())
        out.engine = detectEngine(paths);
    if (out.modsFolder.isEmpty())
        out.modsFolder = out.isFlatpak() ? paths.home + QStringLiteral("/.var/app/") + QLatin1String(kFlatpakEngineId) +
                                               QStringLiteral("/.yq2")
                                         : paths.home + QStringLiteral("/.yq2");
    if (out.gameData.isEmpty()) {
        // The Flatpak engine sees its own folder only.
        QStringList candidates{out.modsFolder};
        if (!out.isFlatpak()) {
            candidates << paths.root + QStringLiteral("/usr/share/games/quake2") << out.engineFolder();
            for (const char *steam : {"/.steam/steam", "/.local/share/Steam"})
                candidates << paths.home + QLatin1String(steam) + QStringLiteral("/steamapps/common/Quake 2");
        }
        for (const QString &candidate : std::as_const(candidates)) {
            if (hasGameData(candidate)) {
                out.gameData = candidate;
                break;
            }
        }
    }
    return out;
}

QStringList GameSetup::engineCommand() const
{
    return QProcess::splitCommand(engine);
}

bool GameSetup::isFlatpak() const
{
    const QStringList command = engineCommand();
    return command.size() >= 3 && QFileInfo(command.first()).fileName() == QLatin1String("flatpak") &&
           command.contains(QLatin1String(kFlatpakEngineId));
}

QString GameSetup::engineFolder() const
{
    const QStringList command = engineCommand();
    if (command.isEmpty() || isFlatpak())
        return {};
    const QString program =
        command.first().contains(u'/') ? command.first() : QStandardPaths::findExecutable(command.first());
    const QString resolved = QFileInfo(program).canonicalFilePath();
    return resolved.isEmpty() ? QString() : QFileInfo(resolved).absolutePath();
}

QString GameSetup::missingForInstall() const
{
    if (modsFolder.isEmpty())
        return QStringLiteral("No mods folder is set. Name the folder your engine reads mods from (~/.yq2 for Yamagi "
                              "Quake II) in Options.");
    return {};
}

QString GameSetup::missingForPlay() const
{
    QStringList missing;
    const QStringList command = engineCommand();
    if (command.isEmpty()) {
        missing << QStringLiteral("No Quake 2 engine was found. Install Yamagi Quake II (the Debian package "
                                  "yamagi-quake2, in the contrib component), or name your engine in Options.");
    } else {
        const QString program = command.first();
        const QString found = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
        if (found.isEmpty() || !isProgram(found))
            missing << QStringLiteral("The engine %1 cannot be started: there is no such program, or it is not "
                                      "executable. Install Yamagi Quake II (the Debian package yamagi-quake2), or name "
                                      "your engine in Options.")
                           .arg(quoted(program));
    }
    if (!hasGameData(gameData)) {
        if (!gameData.isEmpty() && QFileInfo(gameData + QStringLiteral("/baseq2/PAK0.PAK")).isFile())
            missing << QStringLiteral("The game data in %1 is named PAK0.PAK; the engine reads only the lower-case "
                                      "name: rename it to pak0.pak.")
                           .arg(gameData + QStringLiteral("/baseq2"));
        else
            missing << QStringLiteral("The Quake 2 game data is missing: copy pak0.pak from your Quake 2 (CD, Steam or "
                                      "GOG) into %1, or name the folder that holds baseq2/pak0.pak in Options.")
                           .arg(quoted((modsFolder.isEmpty() ? QStringLiteral("~/.yq2") : modsFolder) +
                                       QStringLiteral("/baseq2/")));
    }
    return missing.join(u' ');
}
