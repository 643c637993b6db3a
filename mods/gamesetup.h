#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Names in the settings store for the game: the engine and where it reads mods
// and the game data. Kept in a section of their own beside the options.
namespace GameSettings {
inline const QString kSection = QStringLiteral("Game");
inline const QString kEngine = QStringLiteral("Engine");
inline const QString kModsFolder = QStringLiteral("ModsFolder");
inline const QString kGameData = QStringLiteral("GameData");
inline const QString kExtraArguments = QStringLiteral("ExtraArguments");
} // namespace GameSettings

// Where the system keeps things, so that detection can be tried on a made-up
// system: `root` goes before every absolute system path ("" for the real one).
struct SystemPaths
{
    QString pathVariable; // PATH
    QString home;
    QString root;

    static SystemPaths current();
};

// The engine that plays Quake 2 and the folders it uses. An empty field is one
// the user left to detection.
struct GameSetup
{
    QString engine;         // a command: the program and its own arguments
    QString modsFolder;     // mods are installed in <modsFolder>/<game>
    QString gameData;       // the folder holding baseq2/pak0.pak
    QString extraArguments; // added to every start of the engine

    static GameSetup load(const SettingsStore &store);
    bool save(SettingsStore &store) const;

    // This setup with its empty fields detected: the engine (Yamagi Quake II on
    // PATH, in /usr/lib, or as a Flatpak), the mods folder that engine reads
    // (~/.yq2, or the Flatpak's own), and the first folder with baseq2/pak0.pak.
    GameSetup completed(const SystemPaths &paths) const;

    // The engine's program and arguments, split as a shell would split them.
    QStringList engineCommand() const;
    bool isFlatpak() const;
    // The folder the engine's program lives in, links resolved; "" when unknown.
    QString engineFolder() const;

    // What stops a mod from being played, as sentences for a player (which
    // package to install, where to put pak0.pak); empty when nothing does.
    QString missingForPlay() const;
    // The same for installing: only the mods folder matters.
    QString missingForInstall() const;
};

inline constexpr char kFlatpakEngineId[] = "org.yamagi.YamagiQ2";
