#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

// An owned block of bytes for large data that is written once and then read:
// a whole file, or the index built over it. A block of a couple of megabytes or
// more lives in anonymous memory aligned to 2 MB and marked for transparent huge
// pages, where the system offers them: touching fresh memory a 4 KB page at a
// time costs far more than the bytes themselves. Smaller blocks, and systems
// without that, use plain allocation. Fresh contents are unspecified.
class PageBuffer final
{
public:
    PageBuffer() = default;
    PageBuffer(PageBuffer &&other) noexcept;
    PageBuffer &operator=(PageBuffer &&other) noexcept;
    PageBuffer(const PageBuffer &) = delete;
    PageBuffer &operator=(const PageBuffer &) = delete;
    ~PageBuffer();

    // A block of `size` bytes, or a null block when the memory is not to be had.
    static PageBuffer allocate(qsizetype size);

    // Changes the size, keeping the bytes up to the smaller of the two sizes.
    // Shrinking never moves the bytes; growing may. Returns false, leaving the
    // block as it was, when the memory is not to be had.
    bool resize(qsizetype size);

    bool isNull() const { return m_data == nullptr; }
    char *data() { return m_data; }
    const char *data() const { return m_data; }
    qsizetype size() const { return m_size; }
    // Bytes that can be used without moving the block.
    qsizetype capacity() const { return m_capacity; }

private:
    void release();

    char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    // Length of the mapping behind m_data, 0 when m_data came from malloc.
    qsizetype m_mapped = 0;
};

// The first line of a mod list file and of the catalogue.
inline const QByteArray kValidHeader = QByteArrayLiteral("[ValidHeader]");

// Line-wise reading of the program's text files. A line ends at CR LF, at a lone
// LF or at a lone CR; the last line may lack its terminator. The reader works on
// a byte buffer and hands out views into it, so a large file is never copied.
class LineReader final
{
public:
    explicit LineReader(QByteArrayView data) : m_data(data) {}

    // The next line without its terminator, or nothing at the end of the data.
    std::optional<QByteArrayView> next();
    // Offset of the next unread byte in the data.
    qsizetype position() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

// Text of a line or field. Valid UTF-8 is read as UTF-8; anything else is read as
// Windows-1252 (every byte becomes one character), so that no byte is lost.
QString decodeText(QByteArrayView bytes);

// True when no byte is above 0x7F.
bool isAscii(QByteArrayView bytes);

// Result of reading a whole file with a size cap.
struct FileRead
{
    enum class Status {
        Ok,
        Missing,
        Unreadable,
        TooLarge
    };
    Status status = Status::Missing;
    QByteArray data;
};

// Reads a whole file that is at most maxBytes long. A file that grows while it
// is read is read to its new end, and counts as too large past maxBytes.
FileRead readWholeFile(const QString &path, qint64 maxBytes);
// The same into a PageBuffer sized to the file, for files that may be large,
// with capacity for `roomAfter(file size)` bytes more: what is made from the
// file can follow its bytes in the same block. Memory that cannot be had makes
// the file TooLarge; `out` is null unless Ok.
FileRead::Status readWholeFile(const QString &path, qint64 maxBytes, PageBuffer &out,
                               const std::function<qint64(qint64)> &roomAfter = {});
