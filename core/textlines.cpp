#include "textlines.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr qsizetype kHugePage = qsizetype(2) << 20;

constexpr qsizetype roundUp(qsizetype n, qsizetype to)
{
    return (n + to - 1) / to * to;
}

} // namespace

PageBuffer::PageBuffer(PageBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_mapped(std::exchange(other.m_mapped, 0))
{}

PageBuffer &PageBuffer::operator=(PageBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

PageBuffer::~PageBuffer()
{
    release();
}

void PageBuffer::release()
{
#ifdef Q_OS_UNIX
    if (m_mapped > 0)
        munmap(m_data, size_t(m_mapped));
    else
        std::free(m_data);
#else
    std::free(m_data);
#endif
    m_data = nullptr;
    m_size = m_capacity = m_mapped = 0;
}

PageBuffer PageBuffer::allocate(qsizetype size)
{
    PageBuffer block;
    if (size < 0 || size > (std::numeric_limits<qsizetype>::max() >> 2))
        return block;
#ifdef Q_OS_UNIX
    if (size >= kHugePage) {
        // Whole huge pages when that wastes little; otherwise the tail past the
        // last whole huge page falls back to small pages.
        const qsizetype pageSize = qsizetype(sysconf(_SC_PAGESIZE));
        qsizetype length = roundUp(size, pageSize > 0 ? pageSize : 4096);
        if (roundUp(size, kHugePage) - size <= size / 4)
            length = roundUp(size, kHugePage);
        // Map one huge page more than needed and trim it to a 2 MB boundary.
        void *mapped =
            mmap(nullptr, size_t(length + kHugePage), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped != MAP_FAILED) {
            auto *raw = static_cast<char *>(mapped);
            const auto misalignment = qsizetype(reinterpret_cast<std::uintptr_t>(raw) % std::uintptr_t(kHugePage));
            const qsizetype head = misalignment == 0 ? 0 : kHugePage - misalignment;
            if (head > 0)
                munmap(raw, size_t(head));
            munmap(raw + head + length, size_t(kHugePage - head));
#ifdef MADV_HUGEPAGE
            // Advice only: without huge pages the memory still works, just slower.
            madvise(raw + head, size_t(length), MADV_HUGEPAGE);
#endif
            block.m_data = raw + head;
            block.m_size = size;
            block.m_capacity = length;
            block.m_mapped = length;
            return block;
        }
    }
#endif
    block.m_data = static_cast<char *>(std::malloc(size_t(std::max<qsizetype>(size, 1))));
    if (block.m_data) {
        block.m_size = size;
        block.m_capacity = size;
    }
    return block;
}

bool PageBuffer::resize(qsizetype size)
{
    if (size < 0)
        return false;
    if (m_data && size <= m_capacity) {
        m_size = size;
        return true;
    }
    PageBuffer bigger = allocate(size);
    if (bigger.isNull())
        return false;
    if (m_size > 0)
        std::memcpy(bigger.m_data, m_data, size_t(m_size));
    *this = std::move(bigger);
    return true;
}

std::optional<QByteArrayView> LineReader::next()
{
    if (m_pos >= m_data.size())
        return std::nullopt;
    const char *begin = m_data.data() + m_pos;
    const qsizetype rest = m_data.size() - m_pos;
    // Find the first CR or LF; memchr twice beats a byte loop on long files.
    const char *lf = static_cast<const char *>(std::memchr(begin, '\n', size_t(rest)));
    const qsizetype lfLen = lf ? lf - begin : rest;
    const char *cr = static_cast<const char *>(std::memchr(begin, '\r', size_t(lfLen)));
    qsizetype len;
    qsizetype skip;
    if (cr) {
        len = cr - begin;
        skip = (len + 1 < rest && begin[len + 1] == '\n') ? 2 : 1;
    } else if (lf) {
        len = lfLen;
        skip = 1;
    } else {
        len = rest;
        skip = 0;
    }
    m_pos += len + skip;
    return QByteArrayView(begin, len);
}

namespace {

// The 0x80..0x9F block of Windows-1252; the bytes it leaves undefined keep
// their C1 control code points so that they still round-trip.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

bool isAscii(QByteArrayView bytes)
{
    // OR-ing the bytes lets the compiler vectorise the loop.
    unsigned char any = 0;
    for (char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

QString decodeText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    // A byte order mark is a character like any other here: dropping it would
    // give two different folder lines one text.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.resize(bytes.size());
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

namespace {

// Reads the file into storage that resize(n) provides: it keeps the bytes so
// far and returns where they start, or null when the memory is not to be had.
template<typename Resize>
FileRead::Status readInto(const QString &path, qint64 maxBytes, Resize &&resize)
{
    const QFileInfo info(path);
    if (!info.exists())
        return FileRead::Status::Missing;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return FileRead::Status::Unreadable;
    const qint64 size = file.size();
    if (size > maxBytes)
        return FileRead::Status::TooLarge;
    // One byte more than the file holds, so that the read that finds the end
    // needs no other buffer; a file that grows meanwhile is read on.
    qint64 capacity = size + 1;
    char *data = resize(capacity);
    if (!data)
        return FileRead::Status::TooLarge;
    qint64 got = 0;
    for (;;) {
        if (got == capacity) {
            if (got > maxBytes)
                return FileRead::Status::TooLarge;
            capacity = std::min(std::max(capacity * 2, qint64(64) << 10), maxBytes + 1);
            data = resize(capacity);
            if (!data)
                return FileRead::Status::TooLarge;
        }
        const qint64 n = file.read(data + got, capacity - got);
        if (n < 0)
            return FileRead::Status::Unreadable;
        if (n == 0)
            break;
        got += n;
    }
    if (got > maxBytes)
        return FileRead::Status::TooLarge;
    resize(got);
    return FileRead::Status::Ok;
}

} // namespace

FileRead readWholeFile(const QString &path, qint64 maxBytes)
{
    FileRead result;
    result.status = readInto(path, maxBytes, [&result](qint64 n) {
        result.data.resize(qsizetype(n));
        return result.data.data();
    });
    if (result.status != FileRead::Status::Ok)
        result.data.clear();
    return result;
}

FileRead::Status readWholeFile(const QString &path, qint64 maxBytes, PageBuffer &out,
                               const std::function<qint64(qint64)> &roomAfter)
{
    out = PageBuffer();
    const FileRead::Status status = readInto(path, maxBytes, [&out, &roomAfter](qint64 n) -> char * {
        if (out.isNull()) {
            // The size first asked for is the file's, plus the byte that finds its end.
            const qint64 room = roomAfter ? std::max<qint64>(0, roomAfter(n - 1)) : 0;
            out = PageBuffer::allocate(qsizetype(n + room));
            if (out.isNull() || !out.resize(qsizetype(n)))
                return nullptr;
        } else if (!out.resize(qsizetype(n))) {
            return nullptr;
        }
        return out.data();
    });
    if (status != FileRead::Status::Ok)
        out = PageBuffer();
    return status;
}
