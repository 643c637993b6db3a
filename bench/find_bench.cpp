// Times loading a 100,000-link and a 1,000,000-link mod list into the tree model,
// beside `wc -l` on the same file in the same run, with the memory the load
// takes against the file's size; then, on the smaller list, 1,000 presses of the
// find dialog's "Find next" and keys in the filter field, each until the tree
// view has painted what it shows. Prints each figure beside its target, with
// the baseline and the ratio where the target is one.
//
// Usage: find_bench [links [large links]]   (default 100000 1000000; 0 skips the large list)

#include "core/modlistloader.h"
#include "core/modtreefilter.h"
#include "core/modtreemodel.h"
#include "core/textlines.h"
#include "ui/finddialog.h"
#include "ui/modtreeview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 9;
constexpr int kPresses = 1000;
constexpr int kFolders = 120;

// Words that mod names are made of; "Railgun" is the last, so one name in
// kWords.size() holds it.
const char *const kWords[] = {
    "Arena",   "Rocket",  "Capture", "Team",   "Fortress", "Action",    "Lithium", "Death", "Match",   "Chaos",
    "Weapons", "Factory", "Expert",  "Pack",   "Bots",     "Gladiator", "Eraser",  "Zaero", "Mission", "Ground",
    "Zero",    "Quad",    "Damage",  "Strogg", "Citadel",  "Crater",    "Outpost", "Base",  "Mines",   "Railgun",
};
constexpr int kWordCount = int(std::size(kWords));

// A mod list of `links` links in kFolders folders, about 85 bytes a link, with
// one name in fifty spelt with a non-ASCII letter (UTF-8). Grouped, each
// folder's links follow one another, as in a list written folder by folder;
// scattered, neighbouring links go to different folders, so the matches of one
// search lie far apart in the tree view.
QByteArray makeList(int links, bool scattered)
{
    QByteArray out;
    out.reserve(qsizetype(links) * 90 + 4096);
    out += "[ValidHeader]\r\n";
    for (int f = 0; f < kFolders; ++f)
        out += "Category " + QByteArray::number(f) + " mods\r\n";
    out += "---\r\n";
    for (int i = 0; i < links; ++i) {
        const int folder = scattered ? int((quint64(i) * 2654435761u) % kFolders) : int(qint64(i) * kFolders / links);
        out += "Category " + QByteArray::number(folder) + " mods?";
        out += kWords[i % kWordCount];
        out += ' ';
        out += kWords[(i / kWordCount) % kWordCount];
        out += (i % 50 == 7) ? " Caf\xC3\xA9 " : " mod ";
        out += QByteArray::number(i);
        out +=
            "?http://q2mods.example/files/" + QByteArray::number(folder) + "/mod" + QByteArray::number(i) + ".htm\r\n";
    }
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// A field of /proc/self/status in bytes, -1 where there is none.
qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Starts a new peak (VmHWM) at the present resident size.
bool resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

double wcLines(const QString &path, QByteArray *output)
{
    return timeMs([&] {
        QProcess wc;
        wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
        wc.waitForFinished(-1);
        *output = wc.readAllStandardOutput().trimmed();
    });
}

// Counts the paints of a widget.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop until the view's rows have been painted, as a user sees them.
void untilPainted(ModTreeView &view)
{
    PaintCounter counter(view.viewport());
    for (int round = 0; round < 1000 && counter.paints == 0; ++round)
        QCoreApplication::processEvents();
}

// 1,000 presses of "Find next" for each search text on the list now in `model`,
// shown in `view` with every folder closed or open at the start. Returns the
// slowest median.
double findPresses(ModTreeView &view, const ModTreeModel &model, int links, bool foldersOpen)
{
    auto *find = new FindDialog(model, &view);
    // What the main window does with a node found (no filter is on).
    QObject::connect(find, &FindDialog::nodeFound, &view, &ModTreeView::selectNode);
    find->show();
    auto *text1 = find->findChild<QLineEdit *>(QStringLiteral("searchField"));
    auto *findNext = find->findChild<QPushButton *>(QStringLiteral("findNextButton"));

    struct Scenario
    {
        const char *what;
        QString text;
    };
    const Scenario scenarios[] = {
        {"empty text: every link in turn", QString()},
        {"\"railgun\", one link in 15", QStringLiteral("railgun")},
        {"non-ASCII, one link in 50", QStringLiteral("CAF\u00C9")},
        {"\"a\", most links", QStringLiteral("a")},
        {"only the last link matches", QStringLiteral("mod ") + QString::number(links - 1)},
        {"nothing matches", QStringLiteral("no such mod")},
    };
    double worst = 0;
    for (const Scenario &s : scenarios) {
        std::vector<double> times;
        int lastPosition = 0;
        for (int run = 0; run < 5; ++run) {
            if (foldersOpen)
                view.expandAll();
            else
                view.collapseAll();
            view.setCurrentIndex({});
            untilPainted(view);
            text1->setText(QStringLiteral("\x01"));
            text1->setText(s.text); // a change of text: the search starts from the top
            // The presses, and the one paint that shows where they ended.
            times.push_back(timeMs([&] {
                for (int i = 0; i < kPresses; ++i)
                    findNext->click();
                untilPainted(view);
            }));
            lastPosition = find->searchPosition();
        }
        const double t = median(times);
        worst = std::max(worst, t);
        std::printf("  %d x Find next, %-32s %7.2f ms (ends before node %d; target: at most 50 ms)\n", kPresses,
                    (QByteArray(s.what) + ':').constData(), t, lastPosition);
    }

    // A single press that examines every node, the longest one there is.
    std::vector<double> single;
    for (int run = 0; run < kRuns; ++run) {
        text1->setText(QStringLiteral("still no such mod ") + QString::number(run));
        single.push_back(timeMs([&] { findNext->click(); }));
    }
    std::printf("  one press through all %d nodes, no match: %.2f ms\n", model.tree().count(), median(single));
    delete find;
    return worst;
}

// Loads the list at `path` into `model` kRuns times, interleaved with `wc -l`
// on it so that both see the same machine, and prints the medians, the ratio
// against `target` and the memory of the first load into an empty model.
// Returns the median time of `wc -l` on the file, for the figures that follow.
double timeLoad(const QString &path, const QString &folder, ModTreeModel &model, qint64 fileSize, double target,
                bool firstLoadCounts)
{
    model.setTree(ModTree());
    const bool peakKnown = resetPeakMemory();
    const qint64 before = statusBytes("VmRSS");
    const double firstLoad = timeMs([&] {
        ModTree tree;
        loadModList(path, folder, tree, {});
        model.setTree(std::move(tree));
    });
    const qint64 peak = statusBytes("VmHWM");
    const qint64 after = statusBytes("VmRSS");

    std::vector<double> wcTimes, loadTimes, readTimes, parseTimes, resetTimes;
    QByteArray wcOutput;
    for (int run = 0; run < kRuns; ++run) {
        wcTimes.push_back(wcLines(path, &wcOutput));
        loadTimes.push_back(timeMs([&] {
            ModTree tree;
            loadModList(path, folder, tree, [] { std::fprintf(stderr, "bad list\n"); });
            model.setTree(std::move(tree));
        }));
        PageBuffer file;
        readTimes.push_back(timeMs([&] { file = readModList(path); }));
        ModTree tree;
        parseTimes.push_back(timeMs([&] { parseModList(std::move(file), tree); }));
        resetTimes.push_back(timeMs([&] { model.setTree(std::move(tree)); }));
    }
    const double wc = median(wcTimes);
    const double load = median(loadTimes);
    std::printf("wc -l: %.2f ms (median of %d; it counted %s lines)\n", wc, kRuns,
                wcOutput.split(' ').value(0).constData());
    std::printf("load into the tree model: %.2f ms (median of %d), %d nodes\n", load, kRuns, model.tree().count());
    std::printf("  of which: read %.2f ms, parse %.2f ms, model reset %.2f ms\n", median(readTimes), median(parseTimes),
                median(resetTimes));
    std::printf("  ratio %.2f x wc -l (target: at most %g); the first load took %.2f ms: %.2f x wc -l%s\n", load / wc,
                target, firstLoad, firstLoad / wc, firstLoadCounts ? " (the target holds for it too)" : "");
    if (peakKnown && before >= 0 && peak >= 0 && after >= 0) {
        std::printf("  memory of a load into an empty model: peak %.1f MB, kept %.1f MB, file %.1f MB: "
                    "%.2f x the file's size (target: at most 1.5)\n",
                    double(peak - before) / 1e6, double(after - before) / 1e6, double(fileSize) / 1e6,
                    double(peak - before) / double(fileSize));
    } else {
        std::printf("  memory: not measurable here (no /proc/self/clear_refs)\n");
    }
    return wc;
}

} // namespace

// The filter field on the list shown in `view`: the filtered model alone, and
// each key as the user sees it, until the view has painted its rows, beside `wc -l`.
void filterBench(ModTreeView &view, ModTreeModel &model, double wc)
{
    struct Scenario
    {
        const char *what;
        QString text;
    };
    const Scenario scenarios[] = {
        {"1 char \"a\"", QStringLiteral("a")},
        {"3 chars \"rai\"", QStringLiteral("rai")},
        {"non-ASCII \"CAF\u00c9\"", QStringLiteral("CAF\u00C9")},
        {"no match", QStringLiteral("no such mod")},
    };
    std::printf("filter the %d-link list (wc -l: %.2f ms); a key with the view painted, target: at most 16 ms:\n",
                model.tree().linkCount(), wc);
    const auto key = [&view](const QString &text) {
        return timeMs([&] {
            view.setFilterText(text, ModTree::kNoNode);
            untilPainted(view);
        });
    };
    for (const Scenario &s : scenarios) {
        std::vector<double> modelTimes, viewTimes, clearTimes;
        for (int run = 0; run < kRuns; ++run) {
            ModTreeFilter filter;
            filter.setSourceModel(&model);
            modelTimes.push_back(timeMs([&] { filter.setFilterText(s.text); }));
            viewTimes.push_back(key(s.text));
            clearTimes.push_back(key(QString()));
        }
        view.setFilterText(s.text, ModTree::kNoNode);
        const int shown = view.filter().shownLinkCount();
        view.setFilterText(QString(), ModTree::kNoNode);
        const double m = median(modelTimes);
        const double v = median(viewTimes);
        std::printf("  %-22s %6d links: model %6.2f ms (%.2f x wc -l); the key %6.2f ms (%.2f x wc -l), "
                    "clearing it %6.2f ms\n",
                    (QByteArray(s.what) + ':').constData(), shown, m, m / wc, v, v / wc, median(clearTimes));
    }

    // Typing a word key by key: the slowest keystroke counts.
    const QString word = QStringLiteral("railgun");
    std::vector<double> slowest;
    for (int run = 0; run < kRuns; ++run) {
        key(QString());
        double worst = 0;
        for (int n = 1; n <= word.size(); ++n)
            worst = std::max(worst, key(word.left(n)));
        slowest.push_back(worst);
    }
    key(QString());
    std::printf("  typing \"railgun\" key by key, the slowest key: %.2f ms (%.2f x wc -l)\n", median(slowest),
                median(slowest) / wc);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int links = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int largeLinks = argc > 2 ? std::max(0, atoi(argv[2])) : 1000000;

    QTemporaryDir dir;
    const QString grouped = dir.filePath(QStringLiteral("q2modlist.dat"));
    const QString scattered = dir.filePath(QStringLiteral("scattered.dat"));
    const QByteArray list = makeList(links, false);
    if (!writeFile(grouped, list) || !writeFile(scattered, makeList(links, true))) {
        std::fprintf(stderr, "cannot write the lists in %s\n", qPrintable(dir.path()));
        return 1;
    }
    std::printf("list: %d links in %d folders, %.1f MB\n", links, kFolders, double(list.size()) / 1e6);

    ModTreeModel model;
    ModTreeView view(model);
    view.resize(300, 500);
    view.show();
    QCoreApplication::processEvents();

    // A small list first, so that the code a load runs is in memory before the
    // memory of the first load is measured.
    {
        const QString small = dir.filePath(QStringLiteral("small.dat"));
        ModTree warmUp;
        if (writeFile(small, makeList(1000, false)))
            loadModList(small, dir.path(), warmUp, {});
    }
    const double wc = timeLoad(grouped, dir.path(), model, list.size(), 3, false);
    std::printf("the same links with each folder's links scattered:\n");
    timeLoad(scattered, dir.path(), model, QFileInfo(scattered).size(), 3, false);
    if (largeLinks > 0) {
        const QString large = dir.filePath(QStringLiteral("large.dat"));
        qint64 largeSize = 0;
        {
            const QByteArray largeList = makeList(largeLinks, false);
            largeSize = largeList.size();
            if (!writeFile(large, largeList)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(large));
                return 1;
            }
        }
        std::printf("list: %d links in %d folders, %.1f MB\n", largeLinks, kFolders, double(largeSize) / 1e6);
        timeLoad(large, dir.path(), model, largeSize, 2, true);
        QFile::remove(large);
        model.setTree(ModTree());
    }
    ModTree first;
    loadModList(grouped, dir.path(), first, {});
    model.setTree(std::move(first));

    std::printf("find on the list grouped by folder, folders closed:\n");
    const double groupedClosed = findPresses(view, model, links, false);
    std::printf("find on the list grouped by folder, every folder open:\n");
    const double groupedOpen = findPresses(view, model, links, true);

    ModTree tree;
    loadModList(scattered, dir.path(), tree, {});
    model.setTree(std::move(tree));
    std::printf("find on the list with each folder's links scattered, folders closed:\n");
    const double scatteredClosed = findPresses(view, model, links, false);
    // QTreeView looks a row up by searching from the row it looked up last, so
    // matches far apart in a fully opened tree are the case ModTreeView is for.
    std::printf("find on the list with each folder's links scattered, every folder open:\n");
    const double scatteredOpen = findPresses(view, model, links, true);

    std::printf("slowest 1,000 presses (target: under 50 ms): grouped %.2f / %.2f ms, scattered %.2f / %.2f ms "
                "(folders closed / open)\n",
                groupedClosed, groupedOpen, scatteredClosed, scatteredOpen);

    filterBench(view, model, wc);
    return 0;
}
