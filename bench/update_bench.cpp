// Times "Update list" (ListUpdate: the catalogue, the archive, unpacking and
// putting the files in place) against `curl -o` followed by `unzip -o` on the
// same archive from the same local server, in the same run, and reports the
// peak memory of each. Then the update of a list that has not changed (two
// conditional requests, both answered 304) against one `curl -z` request of
// the archive.
//
// Usage: update_bench [runs] [entries] [megabytes]
//   runs       timed runs of each side, alternating which goes first (default 5)
//   entries    files in the archive (default 2000)
//   megabytes  approximate size of the archive (default 50)
// Needs python3 (the server), curl and unzip on PATH.

#include "core/settingsstore.h"
#include "update/listupdate.h"
#include "update/networkfetcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <zip.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Reads a "Vm...:  N kB" line of /proc/self/status, in kB.
long procStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Sets the peak resident size back to the current one, so that what the
// archive's making used does not count.
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// Text that compresses about as well as the list's pages: random characters
// from a small alphabet.
QByteArray pageText(QRandomGenerator &random, qsizetype size)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 <>/=\"\n";
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out)
        c = alphabet[random.bounded(int(sizeof alphabet - 1))];
    return out;
}

qint64 buildArchive(const QString &path, int entries, int megabytes)
{
    QRandomGenerator random(20240601);
    // About 0.78 compressed bytes per byte of this text.
    const qsizetype perEntry = qsizetype(double(megabytes) * 1024 * 1024 / 0.78 / entries);
    std::vector<QByteArray> data;
    data.reserve(size_t(entries));
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        qFatal("cannot create %s", qPrintable(path));
    qint64 total = 0;
    for (int i = 0; i < entries; ++i) {
        data.push_back(pageText(random, perEntry / 2 + random.bounded(int(perEntry))));
        const QByteArray &bytes = data.back();
        total += bytes.size();
        const QByteArray name = "mods/folder" + QByteArray::number(i % 40) + "/page" + QByteArray::number(i) + ".htm";
        zip_source_t *source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (zip_file_add(archive, name.constData(), source, 0) < 0)
            qFatal("cannot add %s", name.constData());
    }
    // The list file, as every list's archive brings it.
    static const QByteArray listFile = "[ValidHeader]\r\nMods\r\n---\r\nMods?Page 0?http://127.0.0.1/page0.htm\r\n";
    if (zip_file_add(archive, "q2modlist.dat",
                     zip_source_buffer(archive, listFile.constData(), zip_uint64_t(listFile.size()), 0), 0) < 0)
        qFatal("cannot add the list file");
    total += listFile.size();
    if (zip_close(archive) != 0)
        qFatal("cannot write %s", qPrintable(path));
    return total;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForServer(quint16 port)
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Runs a tool and waits for it. With GNU time at hand, the tool's own peak
// resident size is kept in toolPeakKb (the largest seen so far).
bool runTool(const QString &program, const QStringList &arguments, long &toolPeakKb, bool measure = true)
{
    static const QString gnuTime = QStringLiteral("/usr/bin/time");
    const bool measured = measure && QFile::exists(gnuTime);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    if (measured)
        process.start(gnuTime, QStringList{QStringLiteral("-f"), QStringLiteral("peak-kb %M"), program} + arguments);
    else
        process.start(program, arguments);
    const bool ok =
        process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QByteArray err = process.readAllStandardError();
    if (const qsizetype at = err.lastIndexOf("peak-kb "); measured && at >= 0)
        toolPeakKb = std::max(toolPeakKb, err.mid(at + 8).trimmed().toLong());
    if (!ok)
        std::fprintf(stderr, "%s", err.constData());
    return ok;
}

// The files below a folder, but for the program's own.
QStringList listFiles(const QString &folder)
{
    static const QStringList own{QStringLiteral("mods.dat"), QStringLiteral(".kml-validators"),
                                 QStringLiteral("tempor.zip")};
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    const QDir base(folder);
    while (it.hasNext()) {
        const QString name = base.relativeFilePath(it.next());
        if (!own.contains(name))
            names << name;
    }
    names.sort();
    return names;
}

// Whether two folders hold the same files with the same bytes, read one file at
// a time so that the check does not count in the memory figures.
bool sameFiles(const QString &left, const QString &right)
{
    const QStringList names = listFiles(left);
    if (names.isEmpty() || names != listFiles(right))
        return false;
    for (const QString &name : std::as_const(names)) {
        QFile a(left + QLatin1Char('/') + name);
        QFile b(right + QLatin1Char('/') + name);
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.readAll() != b.readAll())
            return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString joined(const std::vector<double> &values)
{
    QStringList parts;
    for (const double v : values)
        parts << QString::number(v, 'f', 3);
    return parts.join(QStringLiteral(" "));
}

} // namespace

// Runs an update to its end in this thread's event loop, as the window does;
// `worstDelayMs`, when given, takes the worst lateness of a 10 ms timer on this
// thread meanwhile: how long the window would have waited to paint or answer.
ListUpdate::Outcome runUpdate(ListUpdate &update, const ModListEntry &list, double *worstDelayMs = nullptr)
{
    ListUpdate::Outcome outcome;
    QEventLoop loop;
    QObject::connect(&update, &ListUpdate::finished, &loop, [&](const ListUpdate::Outcome &ended) {
        outcome = ended;
        loop.quit();
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QElapsedTimer since;
    double worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, double(since.nsecsElapsed()) / 1e6 - 10);
        since.restart();
    });
    since.start();
    tick.start();
    if (!update.start(list))
        qFatal("the update did not start");
    loop.exec();
    if (worstDelayMs)
        *worstDelayMs = std::max(*worstDelayMs, worst);
    return outcome;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 5;
    const int entries = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 2000;
    const int megabytes = args.size() > 3 ? std::max(1, args.at(3).toInt()) : 50;

    QTemporaryDir work;
    if (!work.isValid())
        qFatal("no temporary folder");
    const QString served = work.filePath(QStringLiteral("served"));
    const QString listFolder = served + QStringLiteral("/kestrelmoor/modlist");
    QDir().mkpath(listFolder);
    const QString archivePath = listFolder + QStringLiteral("/q2modlist.zip");
    const qint64 unpacked = buildArchive(archivePath, entries, megabytes);
    const qint64 packed = QFileInfo(archivePath).size();

    const quint16 port = freePort();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString url = base + QStringLiteral("/kestrelmoor/modlist/q2modlist.zip");
    const ModListEntry list{QStringLiteral("Quake2"), QStringLiteral("q2modlist.dat"), url, QStringLiteral("q2modlist"),
                            QStringLiteral("welcome.htm")};
    {
        QFile catalogue(listFolder + QStringLiteral("/mods.dat"));
        if (!catalogue.open(QIODevice::WriteOnly) ||
            catalogue.write("[ValidHeader]\r\nQuake2\r\nq2modlist.dat\r\n" + url.toUtf8() +
                            "\r\nq2modlist\r\nwelcome.htm\r\n") < 0)
            qFatal("cannot write the catalogue");
    }
    // Python's server answers If-Modified-Since; its dates have whole seconds.
    QThread::sleep(1);
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(QStringLiteral("python3"),
                 {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(port), QStringLiteral("--bind"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), served});
    if (!server.waitForStarted(10000) || !waitForServer(port))
        qFatal("the local server did not start");

    NetworkFetcher fetcher;
    MemorySettingsStore settings;
    malloc_trim(0);
    const bool peakReset = resetPeak();
    const long idleKb = procStatusKb("VmRSS");

    std::vector<double> ours;
    std::vector<double> theirs;
    double worstDelayMs = 0;
    bool same = true;
    long toolPeakKb = -1;
    const QString ourKept = work.filePath(QStringLiteral("ours"));
    const QString theirKept = work.filePath(QStringLiteral("theirs"));
    for (int run = 0; run < runs; ++run) {
        const QString ourFolder = work.filePath(QStringLiteral("ours%1").arg(run));
        const QString theirFolder = work.filePath(QStringLiteral("theirs%1").arg(run));
        QDir().mkpath(ourFolder);
        QDir().mkpath(theirFolder);
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == (run % 2 == 0);
            QElapsedTimer timer;
            timer.start();
            if (oursNow) {
                ListUpdate update(ourFolder, base, settings, fetcher, {});
                if (runUpdate(update, list, &worstDelayMs).end != ListUpdate::Outcome::End::Updated)
                    qFatal("the update failed: %s", qPrintable(update.lastError()));
                ours.push_back(double(timer.nsecsElapsed()) / 1e9);
            } else {
                const QString zip = theirFolder + QStringLiteral("/tempor.zip");
                if (!runTool(QStringLiteral("curl"),
                             {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), zip, url}, toolPeakKb))
                    qFatal("curl failed");
                if (!runTool(QStringLiteral("unzip"),
                             {QStringLiteral("-o"), QStringLiteral("-q"), zip, QStringLiteral("-d"), theirFolder},
                             toolPeakKb))
                    qFatal("unzip failed");
                theirs.push_back(double(timer.nsecsElapsed()) / 1e9);
            }
        }
        if (run == 0)
            same = sameFiles(ourFolder, theirFolder);
        if (run + 1 == runs) {
            QDir().rename(ourFolder, ourKept);
            QDir().rename(theirFolder, theirKept);
        } else {
            QDir(ourFolder).removeRecursively();
            QDir(theirFolder).removeRecursively();
        }
    }
    const long peakKb = procStatusKb("VmHWM");

    // Nothing new on the server: our whole update against curl's one request.
    const int quickRuns = 20;
    std::vector<double> ourUnchanged;
    std::vector<double> curlUnchanged;
    bool allUnchanged = true;
    const QString theirZip = theirKept + QStringLiteral("/tempor.zip");
    for (int run = 0; run < quickRuns; ++run) {
        for (int side = 0; side < 2; ++side) {
            QElapsedTimer timer;
            timer.start();
            if ((side == 0) == (run % 2 == 0)) {
                ListUpdate update(ourKept, base, settings, fetcher, {});
                const ListUpdate::Outcome outcome = runUpdate(update, list);
                if (outcome.end != ListUpdate::Outcome::End::Updated)
                    qFatal("the update failed: %s", qPrintable(update.lastError()));
                allUnchanged = allUnchanged && outcome.unchanged;
                ourUnchanged.push_back(double(timer.nsecsElapsed()) / 1e9);
            } else {
                long unused = -1;
                if (!runTool(QStringLiteral("curl"),
                             {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-z"), theirZip,
                              QStringLiteral("-o"), theirZip, url},
                             unused, false))
                    qFatal("curl -z failed");
                curlUnchanged.push_back(double(timer.nsecsElapsed()) / 1e9);
            }
        }
    }
    server.terminate();
    server.waitForFinished(5000);

    const double ourMedian = median(ours);
    const double theirMedian = median(theirs);
    std::printf("archive: %d entries, %.1f MB packed, %.1f MB unpacked; %d runs each\n", entries, double(packed) / 1e6,
                double(unpacked) / 1e6, runs);
    std::printf("same files from both: %s\n", same ? "yes" : "NO");
    std::printf("ours  (ListUpdate: catalogue, archive, unpack, commit): median %.3f s  [%s]\n", ourMedian,
                qPrintable(joined(ours)));
    std::printf("curl -o + unzip -o:                                    median %.3f s  [%s]\n", theirMedian,
                qPrintable(joined(theirs)));
    std::printf("ratio ours / curl+unzip: %.2f (target <= 1.20)\n", ourMedian / theirMedian);
    const QString tools = toolPeakKb >= 0 ? QStringLiteral("%1 MB").arg(double(toolPeakKb) / 1024, 0, 'f', 1)
                                          : QStringLiteral("not measured (no /usr/bin/time)");
    if (peakReset)
        std::printf("memory: ours peaks %.1f MB above idle (%.1f MB idle; target <= 64 MB above idle); "
                    "curl and unzip peak %s\n",
                    double(peakKb - idleKb) / 1024, double(idleKb) / 1024, qPrintable(tools));
    else
        std::printf("memory: ours peaks %.1f MB in all (the peak could not be reset); curl and unzip peak %s\n",
                    double(peakKb) / 1024, qPrintable(tools));
    std::printf("main thread while the update runs: worst lateness of a 10 ms timer %.1f ms (target <= 50 ms)\n",
                worstDelayMs);
    const double ourQuick = median(ourUnchanged);
    const double curlQuick = median(curlUnchanged);
    std::printf("unchanged list, %d runs each: ours (two requests, both 304%s) median %.4f s; curl -z median %.4f s\n",
                quickRuns, allUnchanged ? "" : "; NOT ALL UNCHANGED", ourQuick, curlQuick);
    std::printf("ratio ours / curl -z: %.2f (target <= 1.50)\n", ourQuick / curlQuick);
    return same && allUnchanged ? 0 : 1;
}
