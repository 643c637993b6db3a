#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

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

// Result of reading a whole file with a size cap.
struct FileRead
{
    enum class Status { Ok, Missing, Unreadable, TooLarge };
    Status status = Status::Missing;
    QByteArray data;
};

FileRead readWholeFile(const QString &path, qint64 maxBytes);
