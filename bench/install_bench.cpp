// Times installing a mod (ModInstaller: checks, staging, lower-cased names,
// hashes, manifest and the journalled commit) against `unzip -o` of the same
// archive into the same kind of folder; uninstalling it against `rm -rf` of
// its folder; and Play, from the call to the engine's process started.
//
// Usage: install_bench [runs] [files] [megabytes]
//   runs       timed runs of each side, alternating which goes first (default 5)
//   files      files in the archive (default 2000)
//   megabytes  approximate size of the archive (default 100)
// Needs unzip and rm on PATH.

#include "mods/gamesetup.h"
#include "mods/modinstaller.h"
#include "mods/modlauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A mod's archive: a top folder with a pak, maps, sounds and a game library,
// in files of random bytes from a small alphabet (they compress to about 0.78).
bool buildArchive(const QString &path, int files, int megabytes)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 <>/=\"\n";
    QRandomGenerator random(20261207);
    const qsizetype perFile = qsizetype(double(megabytes) * 1024 * 1024 / 0.78 / files);
    std::vector<QByteArray> data{size_t(files)};
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (int i = 0; i < files; ++i) {
        QByteArray &bytes = data[size_t(i)];
        bytes.resize(perFile);
        for (char &c : bytes)
            c = alphabet[random.bounded(int(sizeof alphabet - 1))];
        const char *folder = i == 0 ? "" : i % 3 == 0 ? "Maps/" : i % 3 == 1 ? "Sound/Weapons/" : "Pics/";
        const QByteArray name = i == 0 ? QByteArray("BenchMod/game.so")
                                       : QByteArray("BenchMod/") + folder + "File" + QByteArray::number(i) + ".DAT";
        zip_source_t *source = zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (zip_file_add(archive, name.constData(), source, 0) < 0)
            return false;
    }
    return zip_close(archive) == 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double runProcess(const QString &program, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    return double(clock.nsecsElapsed()) / 1e6;
}

void report(const char *what, double figure, const char *baselineName, double baseline, double target)
{
    std::printf("%-10s %9.1f ms   %-10s %9.1f ms   ratio %.2f (target at most %.2f)\n", what, figure, baselineName,
                baseline, figure / baseline, target);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int files = argc > 2 ? std::max(2, atoi(argv[2])) : 2000;
    const int megabytes = argc > 3 ? std::max(1, atoi(argv[3])) : 100;

    QTemporaryDir work;
    const QString zip = work.filePath(QStringLiteral("benchmod.zip"));
    if (!buildArchive(zip, files, megabytes)) {
        std::fprintf(stderr, "cannot build the archive\n");
        return 1;
    }
    std::printf("archive: %d files, %.1f MB\n", files, double(QFile(zip).size()) / (1 << 20));

    const QString mods = work.filePath(QStringLiteral("mods"));
    const QString unzipped = work.filePath(QStringLiteral("unzipped"));
    QDir().mkpath(mods);
    ModInstaller installer(mods);
    std::vector<double> install, unzip, uninstall, remove;
    for (int run = 0; run < runs; ++run) {
        const auto ours = [&] {
            QElapsedTimer clock;
            clock.start();
            const ModInstaller::Result result = installer.install(zip, QStringLiteral("benchmod"));
            install.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (!result.ok)
                std::fprintf(stderr, "install failed: %s\n", qPrintable(result.message));
            clock.start();
            const ModInstaller::Result removed = installer.uninstall(QStringLiteral("benchmod"), false);
            uninstall.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (!removed.ok)
                std::fprintf(stderr, "uninstall failed: %s\n", qPrintable(removed.message));
        };
        const auto theirs = [&] {
            unzip.push_back(runProcess(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-q"), zip,
                                                                 QStringLiteral("-d"), unzipped}));
            remove.push_back(runProcess(QStringLiteral("rm"), {QStringLiteral("-rf"), unzipped}));
        };
        if (run % 2 == 0) {
            ours();
            theirs();
        } else {
            theirs();
            ours();
        }
    }
    report("install", median(install), "unzip -o", median(unzip), 1.2);
    report("uninstall", median(uninstall), "rm -rf", median(remove), 1.2);

    // Play: an engine that ends at once, in a setup with game data.
    QDir().mkpath(mods + QStringLiteral("/baseq2"));
    QDir().mkpath(mods + QStringLiteral("/benchmod"));
    QFile(mods + QStringLiteral("/baseq2/pak0.pak")).open(QIODevice::WriteOnly);
    const GameSetup setup{QStringLiteral("/bin/true"), mods, mods, QString()};
    ModLauncher launcher(work.filePath(QStringLiteral("logs")));
    std::vector<double> play;
    for (int run = 0; run < std::max(runs, 10); ++run) {
        QEventLoop loop;
        QElapsedTimer clock;
        double started = -1;
        QObject::connect(&launcher, &ModLauncher::started, &loop,
                         [&] { started = double(clock.nsecsElapsed()) / 1e6; });
        QObject::connect(&launcher, &ModLauncher::finished, &loop, &QEventLoop::quit);
        QObject::connect(&launcher, &ModLauncher::failed, &loop, &QEventLoop::quit);
        QString error;
        clock.start();
        if (!launcher.play(setup, QStringLiteral("benchmod"), {}, &error)) {
            std::fprintf(stderr, "play failed: %s\n", qPrintable(error));
            return 1;
        }
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        play.push_back(started);
    }
    std::printf("%-10s %9.1f ms   from the call to the engine's process started (target at most 50 ms)\n", "play",
                median(play));
    return 0;
}
