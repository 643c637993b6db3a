#include "core/favourites.h"
#include "core/programfolder.h"
#include "core/settingsstore.h"
#include "platform/colorscheme.h"
#include "platform/downloads.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/tray.h"
#include "platform/webengineview.h"
#include "ui/mainwindow.h"
#include "update/networkfetcher.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QUrl>
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
    const QString installedData = QDir::cleanPath(exeFolder + QStringLiteral("/" KML_DATA_RELATIVE));
    const bool installed = QFileInfo::exists(installedData + QStringLiteral("/defmodlist.dat")) &&
                           !QFileInfo::exists(exeFolder + QStringLiteral("/defmodlist.dat"));
    QString userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (userFolder.isEmpty())
        userFolder = QDir::homePath() + QStringLiteral("/.local/share");
    userFolder += QStringLiteral("/kestrelmoor-modlist");
    return chooseProgramFolder(exeFolder, !installed && isWritableFolder(exeFolder), userFolder, installedData);
}

// The list server and site addresses: built in, unless the program folder's
// listserver.ini names others (a mirror, a test server).
QString configuredAddress(const QString &programFolder, const QString &key, const QString &builtIn)
{
    const QSettings file(programFolder + QStringLiteral("/listserver.ini"), QSettings::IniFormat);
    const QString value = file.value(key).toString().trimmed();
    const QUrl url(value, QUrl::StrictMode);
    if (value.isEmpty() || !url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
        url.host().isEmpty())
        return builtIn;
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelmoor-modlist"));
    QApplication::setOrganizationName(QStringLiteral("kestrelmoor"));
    QApplication::setApplicationVersion(QStringLiteral(KML_VERSION));
    // The main window ends the program itself; a hidden main window must not.
    QApplication::setQuitOnLastWindowClosed(false);
    // Pages follow the desktop's light or dark scheme; the engine reads this
    // when it starts, so it goes before the first profile and web view.
    reportColorSchemeToWebPages(QApplication::palette());

    QSettingsStore settings;
    QtMessages messages;
    WebEngineViewFactory webViews;
    DesktopShell shell;
    SystemTray tray;
    Favourites favourites;
    NetworkFetcher fetcher;
    const ProgramFolder folder = programFolder();
    if (!folder.error.isEmpty()) {
        messages.show(nullptr, QMessageBox::Warning, QStringLiteral("Mod List"),
                      QStringLiteral("The data folder %1 could not be prepared (%2). The program starts with what it has.")
                          .arg(folder.path, folder.error),
                      QMessageBox::Ok);
    }
    QString listServer = configuredAddress(folder.path, QStringLiteral("ListServer"), QStringLiteral(KML_LIST_SERVER));
    while (listServer.endsWith(QLatin1Char('/')))
        listServer.chop(1);
    const QString site = configuredAddress(folder.path, QStringLiteral("SiteAddress"), QStringLiteral(KML_SITE_ADDRESS));
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
