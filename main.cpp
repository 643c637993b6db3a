#include "core/favourites.h"
#include "core/listserver.h"
#include "core/options.h"
#include "core/programfolder.h"
#include "core/settingsstore.h"
#include "platform/colorscheme.h"
#include "platform/downloads.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/sitescheme.h"
#include "platform/tray.h"
#include "platform/webengineview.h"
#include "ui/mainwindow.h"
#include "update/networkfetcher.h"
#include "update/routingfetcher.h"
#include "update/sitefolderfetcher.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWebEngineProfile>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte here; the event loop reads it and does
// the work, since almost nothing else is safe inside a signal handler.
int g_endSignalPipe[2] = {-1, -1};

void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_endSignalPipe[1], &byte, 1);
}

// SIGTERM (logout, shutdown, kill), SIGHUP and SIGINT close the main window as
// the tray menu's "&Close" does, so the favourites are written before the end.
void closeOnEndSignals(QWidget &window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_endSignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(qintptr(g_endSignalPipe[0]), QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_endSignalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

// The executable's folder holds the data files in a build tree or a portable
// copy. An installed program (its data under ../share) keeps them in a folder of
// the user's own instead, also when the user could write to the executable's
// folder, as root can.
ProgramFolder programFolder()
{
    const QString exeFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    const QString installedData = QDir::cleanPath(exeFolder + QStringLiteral("/" KML_DEFAULTS_RELATIVE));
    const bool installed = QFileInfo::exists(installedData + QStringLiteral("/defmodlist.dat")) &&
                           !QFileInfo::exists(exeFolder + QStringLiteral("/defmodlist.dat"));
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
    const QSettings file(programFolder + QStringLiteral("/listserver.ini"), QSettings::IniFormat);
    return file.value(key).toString().trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    registerSiteScheme();
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelmoor-modlist"));
    QApplication::setOrganizationName(QStringLiteral("kestrelmoor"));
    QApplication::setApplicationVersion(QStringLiteral(KML_VERSION));
    // Ties the windows to the installed desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral(KML_DESKTOP_ID));
    // The main window ends the program itself; a hidden main window must not.
    QApplication::setQuitOnLastWindowClosed(false);
    // Pages follow the desktop's light or dark scheme; the engine reads this
    // when it starts, so it goes before the first profile and web view.
    reportColorSchemeToWebPages(QApplication::palette());

    // Settings now live in a folder named as the data folder is; an earlier
    // version's settings are taken over once.
    adoptEarlierSettings(earlierUserSettingsPath(), userSettingsPath());
    QSettingsStore settings;
    QtMessages messages;
    WebEngineViewFactory webViews;
    DesktopShell shell;
    SystemTray tray;
    Favourites favourites;
    // "Update list" fetches from the built-in list's folder or from the web, by
    // address; the web view reads the built-in list's pages from the same folder.
    NetworkFetcher webFetcher;
    SiteFolderFetcher siteFetcher(siteFolder());
    RoutingFetcher fetcher(siteFetcher, webFetcher);
    serveSiteScheme(QWebEngineProfile::defaultProfile(), siteFolder(), &app);
    const ProgramFolder folder = programFolder();
    if (!folder.error.isEmpty()) {
        messages.show(nullptr, QMessageBox::Warning, QStringLiteral("Mod List"),
                      QStringLiteral("The data folder %1 could not be prepared (%2). The program starts with what it has.")
                          .arg(folder.path, folder.error),
                      QMessageBox::Ok);
    }
    const QString listServer = ListServer::choose(
        settings.value(Options::kApplication, Options::kSection, Options::kListServer, QString()),
        listServerFileValue(folder.path, QStringLiteral("ListServer")), QStringLiteral(KML_LIST_SERVER));
    const QString siteInFile = listServerFileValue(folder.path, QStringLiteral("SiteAddress"));
    const QString site = ListServer::isWebServer(siteInFile) ? siteInFile : QStringLiteral(KML_SITE_ADDRESS);
    MainContext context{folder.path, listServer, site,
                        &settings, &messages, &webViews, &shell, &tray, &favourites, &fetcher};

    Downloads downloads(QWebEngineProfile::defaultProfile(), shell, &Downloads::askWhereToSave);
    MainWindow window(context);
    window.start();
    // Installed once start-up is done: until then the favourites on disk are
    // the table, and a signal during start-up simply ends the program.
    closeOnEndSignals(window);
    // The session manager may end the program without a close: save when asked.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.saveFavourites(); });
    return app.exec();
}
