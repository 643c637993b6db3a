#include "core/endsignals.h"
#include "core/favourites.h"
#include "core/listcheck.h"
#include "core/listserver.h"
#include "core/options.h"
#include "core/programfiles.h"
#include "core/programfolder.h"
#include "core/settingsstore.h"
#include "mods/commandlinemods.h"
#include "platform/colorscheme.h"
#include "platform/downloads.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/singleinstance.h"
#include "platform/sitescheme.h"
#include "platform/tray.h"
#include "platform/webengineview.h"
#include "ui/mainwindow.h"
#include "update/commandlineupdate.h"
#include "update/listupdate.h"
#include "update/networkfetcher.h"
#include "update/routingfetcher.h"
#include "update/sitefolderfetcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSessionManager>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <QWebEngineProfile>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The executable's folder holds the data files in a build tree or a portable
// copy. An installed program (its data under ../share) keeps them in a folder of
// the user's own instead, also when the user could write to the executable's
// folder, as root can.
ProgramFolder programFolder()
{
    const QString exeFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    const QString installedData = QDir::cleanPath(exeFolder + QStringLiteral("/" KML_DEFAULTS_RELATIVE));
    const bool installed = QFileInfo::exists(ProgramFiles::inFolder(installedData, ProgramFiles::kMasterList)) &&
                           !QFileInfo::exists(ProgramFiles::inFolder(exeFolder, ProgramFiles::kMasterList));
    QString userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (userFolder.isEmpty())
        userFolder = QDir::homePath() + QStringLiteral("/.local/share");
    userFolder += QStringLiteral("/kestrelmoor-modlist");
    return chooseProgramFolder(exeFolder, !installed && isWritableFolder(exeFolder), userFolder, installedData);
}

// The built-in list's site: installed beside the program's data, and at the
// same place relative to the executable in a build tree.
QString siteFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" KML_SITE_RELATIVE));
}

// A value of the program folder's listserver.ini, which may name another list
// server and site (a mirror, a test server).
QString listServerFileValue(const QString &programFolder, const QString &key)
{
    const QSettings file(ProgramFiles::inFolder(programFolder, ProgramFiles::kListServerFile), QSettings::IniFormat);
    return file.value(key).toString().trimmed();
}

// Only the window needs a display: --update, --check, the mods' options, --help
// and --version run without one.
bool wantsWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"--update", "--check", "--install", "--uninstall", "--installed", "--play", "-h",
                                   "--help", "-?", "--help-all", "-v", "--version"}) {
            const size_t length = std::strlen(option);
            if (std::strncmp(argv[i], option, length) == 0 && (argv[i][length] == '\0' || argv[i][length] == '='))
                return false;
        }
    }
    return true;
}

int fail(const QString &text)
{
    std::fprintf(stderr, "kestrelmoor-modlist: %s\n", qPrintable(text));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool window = wantsWindow(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (window) {
        registerSiteScheme();
        QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        app = std::make_unique<QApplication>(argc, argv);
        // Ties the windows to the installed desktop entry (its name and icon).
        QGuiApplication::setDesktopFileName(QStringLiteral(KML_DESKTOP_ID));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kestrelmoor-modlist"));
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelmoor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KML_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Kestrelmoor Mod List: a browser for the mods of Quake 2."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption updateOption(
        QStringLiteral("update"),
        QStringLiteral(
            "Runs the list update without a window; exit status 0 updated or already up to date, 1 failed."));
    const QCommandLineOption checkOption(
        QStringLiteral("check"),
        QCoreApplication::translate("main", "Reads a mod list file as the program does and prints its nodes."),
        QStringLiteral("FILE"));
    const QCommandLineOption folderOption(
        QStringLiteral("folder"), QCoreApplication::translate("main", "The program folder."), QStringLiteral("DIR"));
    const QCommandLineOption serverOption(
        QStringLiteral("list-server"), QCoreApplication::translate("main", "The list server."), QStringLiteral("URL"));
    parser.addOptions({updateOption, checkOption, folderOption, serverOption});
    const ModCommandLine modOptions;
    modOptions.addOptionsTo(parser);
    parser.process(*app);
    if (modOptions.isSet(parser)) {
        adoptEarlierSettings(earlierUserSettingsPath(), userSettingsPath());
        const IniSettingsStore settings;
        return modOptions.run(parser, settings, QStandardPaths::writableLocation(QStandardPaths::CacheLocation), stdout,
                              stderr);
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QCoreApplication::translate("main", "unexpected argument %1 (see --help)")
                        .arg(parser.positionalArguments().first()));

    if (parser.isSet(checkOption)) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return checkModList(parser.value(checkOption), out, err);
    }

    ProgramFolder folder;
    if (parser.isSet(folderOption)) {
        const QFileInfo given(parser.value(folderOption));
        // Qt names files in UTF-8: bytes that are not cannot reach the folder.
        if (!given.isDir() && parser.value(folderOption).contains(QChar::ReplacementCharacter))
            return fail(QStringLiteral("the folder's name is not valid UTF-8, and the program can only name folders "
                                       "in UTF-8: %1")
                            .arg(parser.value(folderOption)));
        if (!given.isDir())
            return fail(QCoreApplication::translate("main", "no such folder: %1").arg(parser.value(folderOption)));
        folder.path = given.absoluteFilePath();
    } else {
        folder = programFolder();
    }

    SingleInstance instance(folder.path);
    const SingleInstance::Lock lock = instance.lock();
    if (lock == SingleInstance::Lock::HeldByOther) {
        if (!window)
            return fail(QStringLiteral("the program is running with the folder %1; its \"Update list\" button updates "
                                       "the list, or try again when it has ended")
                            .arg(folder.path));
        if (instance.askToShow())
            return 0;
        QtMessages().show(nullptr, QMessageBox::Warning, QStringLiteral("Mod List"),
                          QStringLiteral("The list in %1 is being updated. Start the program again when the update has "
                                         "ended.")
                              .arg(folder.path),
                          QMessageBox::Ok);
        return 1;
    }
    if (lock == SingleInstance::Lock::Unavailable)
        std::fprintf(stderr, "kestrelmoor-modlist: no lock can be taken in %s; another start could share it\n",
                     qPrintable(folder.path));
    // Alone in the folder: what an update that was cut off left can go now.
    const QString recovered = ListUpdate::recoverInterrupted(folder.path);
    if (!recovered.isEmpty())
        std::fprintf(stderr, "kestrelmoor-modlist: %s\n", qPrintable(recovered));

    // Settings now live in a folder named as the data folder is; an earlier
    // version's settings are taken over once.
    adoptEarlierSettings(earlierUserSettingsPath(), userSettingsPath());
    IniSettingsStore settings;
    QString listServer = ListServer::choose(
        settings.value(Options::kApplication, Options::kSection, Options::kListServer, QString()),
        listServerFileValue(folder.path, QStringLiteral("ListServer")), QStringLiteral(KML_LIST_SERVER));
    if (parser.isSet(serverOption)) {
        listServer = ListServer::normalised(parser.value(serverOption));
        if (!ListServer::isWebServer(listServer) && !ListServer::isBuiltIn(listServer))
            return fail(
                QCoreApplication::translate("main", "not a list server address: %1").arg(parser.value(serverOption)));
    }
    // "Update list" fetches from the built-in list's folder or from the web, by
    // address; the web view reads the built-in list's pages from the same folder.
    NetworkFetcher webFetcher;
    SiteFolderFetcher siteFetcher(siteFolder());
    RoutingFetcher fetcher(siteFetcher, webFetcher);
    if (!window)
        return updateFromCommandLine(folder.path, listServer, settings, fetcher, stdout, stderr);

    // The main window ends the program itself; a hidden main window must not.
    QApplication::setQuitOnLastWindowClosed(false);
    // Pages follow the desktop's light or dark scheme; the engine reads this
    // when it starts, so it goes before the first profile and web view.
    reportColorSchemeToWebPages(QApplication::palette());

    QtMessages messages;
    WebEngineViewFactory webViews;
    DesktopShell shell;
    SystemTray tray;
    Favourites favourites;
    serveSiteScheme(QWebEngineProfile::defaultProfile(), siteFolder(), app.get());
    if (!folder.error.isEmpty()) {
        messages.show(nullptr, QMessageBox::Warning, QStringLiteral("Mod List"),
                      QCoreApplication::translate(
                          "main", "The data folder %1 could not be prepared (%2). The program starts with what it has.")
                          .arg(folder.path, folder.error),
                      QMessageBox::Ok);
    }
    const QString siteInFile = listServerFileValue(folder.path, QStringLiteral("SiteAddress"));
    const QString site = ListServer::isWebServer(siteInFile) ? siteInFile : QStringLiteral(KML_SITE_ADDRESS);
    MainContext context{folder.path, listServer, site,  &settings,   &messages,
                        &webViews,   &shell,     &tray, &favourites, &fetcher};

    Downloads downloads(QWebEngineProfile::defaultProfile(), shell, messages, &Downloads::askWhereToSave);
    MainWindow mainWindow(context);
    QObject::connect(&downloads, &Downloads::installRequested, &mainWindow, &MainWindow::installArchive);
    // A later start of the program shows this window instead of a second one.
    QObject::connect(&instance, &SingleInstance::showRequested, &mainWindow, &MainWindow::showMainWindow);
    instance.listen();
    mainWindow.start();
    // Logout, shutdown and kill close the window as the tray menu's "&Close"
    // does, so the favourites are written before the end. Taken over once
    // start-up is done: until then the favourites on disk are the table, and a
    // signal during start-up simply ends the program.
    onEndSignals(&mainWindow, [&mainWindow] { mainWindow.close(); });
    // The session manager may end the program without a close: save when asked.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &mainWindow,
                     [&mainWindow](QSessionManager &) { mainWindow.saveFavourites(); });
    return app->exec();
}
