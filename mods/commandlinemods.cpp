#include "commandlinemods.h"

#include "modinstaller.h"
#include "modlauncher.h"
#include "modlayout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const char kProgram[] = "kestrelmoor-modlist";

int fail(std::FILE *err, const QString &message)
{
    std::fprintf(err, "%s: %s\n", kProgram, qPrintable(message));
    return 1;
}

} // namespace

int modsFromCommandLine(const ModCommand &command, const GameSetup &setup, const QString &logFolder, std::FILE *out,
                        std::FILE *err)
{
    if (command.action != ModCommand::Action::Play) {
        if (const QString missing = setup.missingForInstall(); !missing.isEmpty())
            return fail(err, missing);
    }
    ModInstaller installer(setup.modsFolder, setup.engineFolder());
    switch (command.action) {
    case ModCommand::Action::Install: {
        QString game = command.game;
        if (game.isEmpty()) {
            const ModArchiveSummary summary = ModArchiveSummary::of(command.archive, QString());
            if (!summary.error.isEmpty())
                return fail(err, summary.error);
            game = summary.suggestedGame;
        }
        const ModInstaller::Result result = installer.install(QFileInfo(command.archive).absoluteFilePath(), game);
        if (!result.ok)
            return fail(err, result.message);
        std::fprintf(out, "%s\n", qPrintable(result.message));
        return 0;
    }
    case ModCommand::Action::Uninstall: {
        const ModInstaller::Result result = installer.uninstall(command.game, command.allFiles);
        if (!result.ok)
            return fail(err, result.message);
        std::fprintf(out, "%s\n", qPrintable(result.message));
        for (const QString &kept : result.kept)
            std::fprintf(out, "kept\t%s\n", qPrintable(kept));
        return 0;
    }
    case ModCommand::Action::List:
        for (const ModInstaller::Installed &mod : installer.installed())
            std::fprintf(out, "%s\t%s\t%lld\t%s\n", qPrintable(mod.game), qPrintable(mod.folder),
                         static_cast<long long>(mod.manifest.files.size()), qPrintable(mod.manifest.sourcePage));
        return 0;
    case ModCommand::Action::Play: {
        ModLauncher launcher(logFolder);
        QString error;
        bool reported = false;
        QObject::connect(&launcher, &ModLauncher::failed, &launcher, [&](const QString &, const QString &message) {
            reported = true;
            fail(err, message);
            QCoreApplication::exit(1);
        });
        QObject::connect(&launcher, &ModLauncher::finished, &launcher, [&](const QString &, int code) {
            const int status = code == 0 ? 0 : 1;
            if (code != 0 && !reported)
                fail(err, QCoreApplication::translate("ModCommandLine",
                                                      "the engine ended with status %1; its output is in %2")
                              .arg(code)
                              .arg(launcher.logPath(command.game)));
            QCoreApplication::exit(status);
        });
        if (!launcher.play(setup, command.game, command.engineArguments, &error))
            return fail(err, error);
        // The program's own event loop, run once: the engine is what it waits for.
        return QCoreApplication::exec() == 0 ? 0 : 1;
    }
    }
    return 1;
}

ModCommandLine::ModCommandLine()
    : m_install(
          QStringLiteral("install"),
          QCoreApplication::translate("ModCommandLine", "Installs a mod from a zip archive into the mods folder."),
          QStringLiteral("FILE.zip")),
      m_game(QStringLiteral("game"),
             QCoreApplication::translate(
                 "ModCommandLine", "With --install: the mod's game folder name (by default the archive's top folder)."),
             QStringLiteral("NAME")),
      m_uninstall(QStringLiteral("uninstall"),
                  QCoreApplication::translate("ModCommandLine",
                                              "Removes an installed mod's files; files changed or added since stay."),
                  QStringLiteral("NAME")),
      m_allFiles(
          QStringLiteral("all-files"),
          QCoreApplication::translate(
              "ModCommandLine", "With --uninstall: files changed or added since the install go to the trash too.")),
      m_installed(
          QStringLiteral("installed"),
          QCoreApplication::translate("ModCommandLine",
                                      "Lists the installed mods: NAME, FOLDER, FILES and SOURCE, separated by tabs.")),
      m_play(QStringLiteral("play"),
             QCoreApplication::translate(
                 "ModCommandLine", "Starts the engine with an installed mod; arguments after -- go to the engine."),
             QStringLiteral("NAME")),
      m_modsFolder(QStringLiteral("mods-folder"),
                   QCoreApplication::translate("ModCommandLine", "The mods folder, instead of the one in Options."),
                   QStringLiteral("DIR")),
      m_engine(QStringLiteral("engine"),
               QCoreApplication::translate("ModCommandLine", "The engine command, instead of the one in Options."),
               QStringLiteral("COMMAND"))
{}

void ModCommandLine::addOptionsTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_install, m_game, m_uninstall, m_allFiles, m_installed, m_play, m_modsFolder, m_engine});
}

bool ModCommandLine::isSet(const QCommandLineParser &parser) const
{
    return parser.isSet(m_install) || parser.isSet(m_uninstall) || parser.isSet(m_installed) || parser.isSet(m_play);
}

int ModCommandLine::run(const QCommandLineParser &parser, const SettingsStore &settings, const QString &logFolder,
                        std::FILE *out, std::FILE *err) const
{
    int actions = 0;
    for (const QCommandLineOption *option : {&m_install, &m_uninstall, &m_installed, &m_play})
        actions += parser.isSet(*option) ? 1 : 0;
    if (actions != 1)
        return fail(err, QCoreApplication::translate("ModCommandLine",
                                                     "give one of --install, --uninstall, --installed and --play"));
    ModCommand command;
    if (parser.isSet(m_install)) {
        command.action = ModCommand::Action::Install;
        command.archive = parser.value(m_install);
        command.game = parser.value(m_game);
    } else if (parser.isSet(m_uninstall)) {
        command.action = ModCommand::Action::Uninstall;
        command.game = parser.value(m_uninstall);
        command.allFiles = parser.isSet(m_allFiles);
    } else if (parser.isSet(m_play)) {
        command.action = ModCommand::Action::Play;
        command.game = parser.value(m_play);
        command.engineArguments = parser.positionalArguments();
    }
    if (command.action != ModCommand::Action::Play && !parser.positionalArguments().isEmpty())
        return fail(err, QCoreApplication::translate("ModCommandLine", "unexpected argument %1 (see --help)")
                             .arg(parser.positionalArguments().first()));
    GameSetup setup = GameSetup::load(settings);
    if (parser.isSet(m_modsFolder))
        setup.modsFolder = QDir(parser.value(m_modsFolder)).absolutePath();
    if (parser.isSet(m_engine))
        setup.engine = parser.value(m_engine);
    return modsFromCommandLine(command, setup.completed(SystemPaths::current()), logFolder, out, err);
}
