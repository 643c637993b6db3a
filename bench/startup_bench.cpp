// Start-up time: from process start to "tree filled and start page loaded" for
// the program's main window, against a bare QWebEngineView window loading the
// same page, measured alternately in the same run. Prints medians, the ratio
// and the peak memory of each (the process itself and all its WebEngine helpers).
//
// Usage: startup_bench [runs]   (needs python3; serves the demo list server)
#include "core/favourites.h"
#include "core/settingsstore.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/tray.h"
#include "platform/webengineview.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Resident memory of this process and every process below it, in MB.
double treeRssMb()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    double kb = 0;
    QStringList pending{self};
    const QStringList all = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    while (!pending.isEmpty()) {
        const QString pid = pending.takeFirst();
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    kb += line.mid(6).trimmed().split(' ').first().toDouble();
            }
        }
        for (const QString &candidate : all) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(candidate));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const qsizetype close = text.lastIndexOf(')');
            const QList<QByteArray> fields = text.mid(close + 2).split(' ');
            if (fields.size() > 1 && fields[1] == pid.toLatin1())
                pending.append(candidate);
        }
    }
    return kb / 1024.0;
}

// Says "ready" at once, so the parent's clock stops there, then the memory figures.
void report()
{
    std::printf("ready\n");
    std::fflush(stdout);
    struct rusage usage
    {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("memory %.1f %.1f\n", usage.ru_maxrss / 1024.0, treeRssMb());
    std::fflush(stdout);
}

int runMainWindow(const QString &server, const QString &programFolder)
{
    MemorySettingsStore settings;
    QtMessages messages;
    WebEngineViewFactory views;
    DesktopShell shell;
    SystemTray tray;
    Favourites favourites;
    MainWindow window(MainContext{programFolder, server, server + QStringLiteral("/kestrelmoor/"), &settings, &messages,
                                  &views, &shell, &tray, &favourites});
    const QString home = server + QStringLiteral("/kestrelmoor/modlist/welcome.htm");
    QObject::connect(window.webView(), &WebView::loadFinished, &window, [&] {
        if (window.webView()->url().toString() == home && window.treeModel().tree().count() > 0) {
            report();
            QCoreApplication::exit(0);
        }
    });
    window.start();
    return QApplication::exec();
}

int runBareView(const QString &server)
{
    QWebEngineView view;
    view.resize(680, 500);
    view.show();
    QObject::connect(&view, &QWebEngineView::loadFinished, &view, [](bool) {
        report();
        QCoreApplication::exit(0);
    });
    view.load(QUrl(server + QStringLiteral("/kestrelmoor/modlist/welcome.htm")));
    return QApplication::exec();
}

struct Sample
{
    double ms = 0;
    double selfMb = 0;
    double allMb = 0;
};

Sample runChild(const QString &mode, const QString &server, const QString &folder)
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--child"), mode, server, folder});
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    child.start();
    Sample sample;
    while (child.waitForReadyRead(60000)) {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line == "ready") {
                sample.ms = double(timer.nsecsElapsed()) / 1e6;
            } else if (line.startsWith("memory")) {
                const QList<QByteArray> parts = line.split(' ');
                sample.selfMb = parts.value(1).toDouble();
                sample.allMb = parts.value(2).toDouble();
            }
        }
        if (sample.allMb > 0)
            break;
    }
    child.waitForFinished(30000);
    return sample;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 5 && QByteArray(argv[1]) == "--child") {
        QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        const QString server = QString::fromLocal8Bit(argv[3]);
        return QByteArray(argv[2]) == "main" ? runMainWindow(server, QString::fromLocal8Bit(argv[4]))
                                             : runBareView(server);
    }

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // The built-in list's site over HTTP, and a program folder with the bundled lists.
    const QString buildDir = QStringLiteral(KML_BENCH_BUILD_DIR);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess server;
    server.start(QStringLiteral("python3"),
                 {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(port), QStringLiteral("--bind"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("--directory"),
                  buildDir + QStringLiteral("/share/kestrelmoor-modlist/listserver")});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            break;
        QThread::msleep(50);
    }
    QTemporaryDir folder;
    for (const char *name : {"defmodlist.dat", "mods.dat"})
        QFile::copy(buildDir + QStringLiteral("/program/") + QLatin1String(name), folder.filePath(QLatin1String(name)));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);

    QList<double> mainMs, bareMs, mainSelf, bareSelf, mainAll, bareAll;
    runChild(QStringLiteral("bare"), base, folder.path()); // warm the disk cache
    for (int i = 0; i < runs; ++i) {
        const Sample bare = runChild(QStringLiteral("bare"), base, folder.path());
        const Sample main = runChild(QStringLiteral("main"), base, folder.path());
        bareMs << bare.ms;
        mainMs << main.ms;
        bareSelf << bare.selfMb;
        mainSelf << main.selfMb;
        bareAll << bare.allMb;
        mainAll << main.allMb;
    }
    server.kill();
    server.waitForFinished();

    const double m = median(mainMs), b = median(bareMs);
    std::printf("start-up to tree filled and start page loaded (%s, median of %d runs)\n",
                qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb")).toLocal8Bit().constData(), runs);
    std::printf("  main window        %7.0f ms   peak %6.1f MB in the process, %6.1f MB with its WebEngine helpers\n",
                m, median(mainSelf), median(mainAll));
    std::printf("  bare QWebEngineView %6.0f ms   peak %6.1f MB in the process, %6.1f MB with its WebEngine helpers\n",
                b, median(bareSelf), median(bareAll));
    std::printf("  ratio %.2f (target at most 1.05)\n", b > 0 ? m / b : 0.0);
    return 0;
}
