#pragma once

#include "gamesetup.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <cstdio>

class QCommandLineParser;
class SettingsStore;

// "kestrelmoor-modlist --install / --uninstall / --installed / --play": the
// mods of the windows, for scripts. Each ends with status 0 and a line on `out`
// when it did what was asked, or status 1 and the reason on `err`.
struct ModCommand
{
    enum class Action {
        Install,
        Uninstall,
        List,
        Play
    };
    Action action = Action::List;
    QString archive;             // --install
    QString game;                // --game for --install; the mod for --uninstall and --play
    bool allFiles = false;       // --uninstall: files changed or added since go to the trash too
    QStringList engineArguments; // --play: what follows "--"
};

// `setup` is the game setup with detection done and the command line's
// overrides applied. --play returns when the engine has ended.
int modsFromCommandLine(const ModCommand &command, const GameSetup &setup, const QString &logFolder, std::FILE *out,
                        std::FILE *err);

// The options on the program's command line, and the command they make.
class ModCommandLine final
{
public:
    ModCommandLine();
    void addOptionsTo(QCommandLineParser &parser) const;
    // True when one of --install, --uninstall, --installed, --play is given.
    bool isSet(const QCommandLineParser &parser) const;
    // Runs the command with the setup from `settings`, detection and the
    // --mods-folder and --engine overrides.
    int run(const QCommandLineParser &parser, const SettingsStore &settings, const QString &logFolder, std::FILE *out,
            std::FILE *err) const;

private:
    QCommandLineOption m_install;
    QCommandLineOption m_game;
    QCommandLineOption m_uninstall;
    QCommandLineOption m_allFiles;
    QCommandLineOption m_installed;
    QCommandLineOption m_play;
    QCommandLineOption m_modsFolder;
    QCommandLineOption m_engine;
};
