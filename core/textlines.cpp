#include "textlines.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>
#include <cstring>

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
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QString decodeText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
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

FileRead readWholeFile(const QString &path, qint64 maxBytes)
{
    FileRead result;
    QFileInfo info(path);
    if (!info.exists()) {
        result.status = FileRead::Status::Missing;
        return result;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        result.status = FileRead::Status::Unreadable;
        return result;
    }
    if (file.size() > maxBytes) {
        result.status = FileRead::Status::TooLarge;
        return result;
    }
    // read() with a cap also guards against a file that grows while we read it.
    result.data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.data.clear();
        result.status = FileRead::Status::Unreadable;
    } else if (result.data.size() > maxBytes) {
        result.data.clear();
        result.status = FileRead::Status::TooLarge;
    } else {
        result.status = FileRead::Status::Ok;
    }
    return result;
}
