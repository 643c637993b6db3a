#include "buildconfig.h"
#include "core/settingsstore.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/tray.h"
#include "platform/webengineview.h"
#include "ui/main/frm_main.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelmoor-modlist"));
    QApplication::setOrganizationName(QStringLiteral("kestrelmoor"));
    QApplication::setApplicationVersion(QStringLiteral(KML_VERSION));
    // The main window ends the program itself; a hidden main window must not.
    QApplication::setQuitOnLastWindowClosed(false);

    QSettingsStore settings;
    QtMessages messages;
    WebEngineViewFactory webViews;
    DesktopShell shell;
    SystemTray tray;
    MainContext context{QDir::cleanPath(QCoreApplication::applicationDirPath()),
                        QStringLiteral(KML_LIST_SERVER), QStringLiteral(KML_SITE_ADDRESS),
                        &settings, &messages, &webViews, &shell, &tray};

    frm_main window(context);
    window.Form_Load();
    return app.exec();
}
