#include "modlistloader.h"

#include "textlines.h"

#include <QFileInfo>

namespace {

const QByteArray kHeader = QByteArrayLiteral("[ValidHeader]");
const QByteArray kSectionEnd = QByteArrayLiteral("---");

ModTree::Span spanOf(const QByteArray &data, QByteArrayView part)
{
    return ModTree::Span{quint32(part.data() - data.constData()), quint32(part.size())};
}

bool hasHeader(const FileRead &file)
{
    if (file.status != FileRead::Status::Ok)
        return false;
    LineReader lines(file.data);
    const auto first = lines.next();
    return first && *first == kHeader;
}

} // namespace

int parseModList(QByteArray data, ModTree &tree)
{
    tree.reset(std::move(data));
    const QByteArray &src = tree.source();
    LineReader lines(src);
    lines.next(); // header

    while (const auto line = lines.next()) {
        if (*line == kSectionEnd)
            break;
        tree.addFolder(spanOf(src, *line));
    }

    int skipped = 0;
    quint32 counter = 0;
    while (const auto line = lines.next()) {
        ++counter;
        const qsizetype first = line->indexOf('?');
        const qsizetype second = first < 0 ? -1 : line->indexOf('?', first + 1);
        if (second < 0) {
            // Fewer than two separators: no name or URL to take. The line still counts.
            ++skipped;
            continue;
        }
        const auto parent = line->first(first);
        const auto name = line->sliced(first + 1, second - first - 1);
        const auto url = line->sliced(second + 1);
        if (!tree.addLink(spanOf(src, parent), counter, spanOf(src, name), spanOf(src, url)))
            ++skipped;
    }
    return skipped;
}

ModListLoad loadModList(const QString &filename, const QString &programFolder, ModTree &tree,
                        const std::function<void()> &badListWarning)
{
    tree.clear();
    const QString master = programFolder + QStringLiteral("/defmodlist.dat");

    ModListLoad result;
    QString path = filename;
    if (!QFileInfo::exists(path))
        path = master;

    FileRead file = readWholeFile(path, kMaxModListBytes);
    bool usingMaster = QFileInfo(path) == QFileInfo(master);
    if (!hasHeader(file)) {
        if (usingMaster) {
            // The master list is bad: warn once, leave the tree empty.
            if (badListWarning)
                badListWarning();
            return result;
        }
        if (badListWarning)
            badListWarning();
        path = master;
        usingMaster = true;
        file = readWholeFile(path, kMaxModListBytes);
        if (!hasHeader(file))
            return result;
    }

    result.linesSkipped = parseModList(std::move(file.data), tree);
    result.path = path;
    result.source = (usingMaster && QFileInfo(filename) != QFileInfo(master))
                        ? ModListLoad::Source::MasterList
                        : ModListLoad::Source::Requested;
    return result;
}
