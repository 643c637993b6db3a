#include "modlistloader.h"

#include "programfiles.h"
#include "textlines.h"

#include <QFileInfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A folder, a name, a URL, two "?" and a line end: "Maps?Q2DM1?http://q2.example/q2dm1.htm".
constexpr qsizetype kMinLinkLineBytes = 32;

ModTree::Span spanOf(const QByteArray &data, QByteArrayView part)
{
    return ModTree::Span{quint32(part.data() - data.constData()), quint32(part.size())};
}

// One line of the links section: where it ends and its first two "?".
struct LinkLine
{
    const char *end = nullptr;    // the line's first CR or LF, or the end of the data
    const char *first = nullptr;  // null when the line has no "?"
    const char *second = nullptr; // null when the line has fewer than two
};

void noteSeparator(LinkLine &line, const char *at)
{
    if (!line.first)
        line.first = at;
    else if (!line.second)
        line.second = at;
}

// Scans one line from `p` in a single pass; the links section is most of a
// list, and separate searches for the line end and each "?" cost twice as much.
LinkLine scanLinkLine(const char *p, const char *limit)
{
    LinkLine line;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i question = _mm_set1_epi8('?');
    for (; limit - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const auto ends = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
        auto marks = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, question)));
        if (ends)
            marks &= (ends & (0u - ends)) - 1; // only the marks before the line end
        for (; marks && !line.second; marks &= marks - 1)
            noteSeparator(line, p + __builtin_ctz(marks));
        if (ends) {
            line.end = p + __builtin_ctz(ends);
            return line;
        }
    }
#endif
    for (; p < limit; ++p) {
        if (*p == '\n' || *p == '\r') {
            line.end = p;
            return line;
        }
        if (*p == '?')
            noteSeparator(line, p);
    }
    line.end = limit;
    return line;
}

// Room for the links on the guess that a link line takes at least
// kMinLinkLineBytes: a real list's links then never move, and room they
// leave unused costs address space only. Shorter lines make the room grow.
qsizetype linkRoomFor(qsizetype bytes)
{
    return bytes / kMinLinkLineBytes + 16;
}

} // namespace

PageBuffer readModList(const QString &path)
{
    PageBuffer data;
    const auto room = [](qint64 size) { return qint64(ModTree::bytesForLinks(linkRoomFor(qsizetype(size)))); };
    if (readWholeFile(path, kMaxModListBytes, data, room) != FileRead::Status::Ok)
        return {};
    LineReader lines(QByteArrayView(data.data(), data.size()));
    const auto first = lines.next();
    if (!first || *first != kValidHeader)
        return {};
    return data;
}

namespace {

// Parses the tree's source, which passed the header check.
int parseSource(ModTree &tree)
{
    const QByteArray &src = tree.source();
    LineReader lines(src);
    lines.next(); // header

    while (const auto line = lines.next()) {
        if (*line == kLinkSectionStart)
            break;
        tree.addFolder(spanOf(src, *line));
    }
    tree.reserveLinks(linkRoomFor(src.size() - lines.position()));

    int skipped = 0;
    quint32 counter = 0;
    const char *const base = src.constData();
    const char *const limit = base + src.size();
    const auto span = [base](const char *from, const char *to) {
        return ModTree::Span{quint32(from - base), quint32(to - from)};
    };
    for (const char *p = base + lines.position(); p < limit;) {
        ++counter;
        const LinkLine line = scanLinkLine(p, limit);
        if (!line.second) {
            // Fewer than two separators: no name or URL to take. The line still counts.
            ++skipped;
        } else if (!tree.addLink(span(p, line.first), counter, span(line.first + 1, line.second),
                                 span(line.second + 1, line.end))) {
            ++skipped;
        }
        p = line.end;
        if (p < limit)
            p += (*p == '\r' && p + 1 < limit && p[1] == '\n') ? 2 : 1;
    }
    tree.indexChildren();
    return skipped;
}

} // namespace

int parseModList(QByteArray data, ModTree &tree)
{
    tree.reset(std::move(data));
    return parseSource(tree);
}

int parseModList(PageBuffer data, ModTree &tree)
{
    tree.reset(std::move(data));
    return parseSource(tree);
}

ModListLoad loadModList(const QString &filename, const QString &programFolder, ModTree &tree,
                        const std::function<void()> &badListWarning)
{
    tree.clear();
    const QString master = ProgramFiles::inFolder(programFolder, ProgramFiles::kMasterList);

    ModListLoad result;
    QString path = filename;
    if (!QFileInfo::exists(path))
        path = master;

    PageBuffer file = readModList(path);
    bool usingMaster = QFileInfo(path) == QFileInfo(master);
    if (file.isNull()) {
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
        file = readModList(path);
        if (file.isNull())
            return result;
    }

    result.linesSkipped = parseModList(std::move(file), tree);
    result.path = path;
    result.source = (usingMaster && QFileInfo(filename) != QFileInfo(master)) ? ModListLoad::Source::MasterList
                                                                              : ModListLoad::Source::Requested;
    return result;
}
