#include "unzipmod.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

constexpr int kListingWidth = 80;
constexpr int kNameColumns = 50;
constexpr int kSizeColumns = 7;

QByteArrayView upToNul(QByteArrayView bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}

// A size that fits seven columns, in K, M or G when the bytes do not.
QString sizeText(quint64 size)
{
    static const char units[] = {'K', 'M', 'G', 'T', 'P'};
    QString text = QString::number(size);
    for (int u = 0; text.size() > kSizeColumns && u < int(sizeof units); ++u) {
        size /= 1024;
        text = QString::number(size) + QLatin1Char(units[u]);
    }
    return text;
}

QStringList patterns(const QStringList &slots, qint32 count)
{
    QStringList out;
    for (qint32 i = 0; i < count && i < slots.size(); ++i) {
        if (!slots.at(i).isNull())
            out.append(slots.at(i));
    }
    return out;
}

} // namespace

unzipmod::unzipmod(ExtractionLimits limits)
    : m_extractor(limits), m_include(kNameSlots), m_exclude(kNameSlots)
{
}

ExtractionResult unzipmod::unzip_data(const QString &filename, const QString &destination)
{
    m_newline = QStringLiteral("\r\n");
    m_log.clear();
    m_listingCount = 0;
    m_include[0] = QString();
    m_exclude[0] = QString();
    const ExtractionResult result = unzip_run(filename, destination, 0, 1, 0, 1, 0, 0);
    const QFileInfo archive(filename);
    if ((archive.exists() || archive.isSymLink()) && !QFile::remove(filename))
        m_log += QStringLiteral("warning:  cannot delete %1\n").arg(filename);
    return result;
}

ExtractionResult unzipmod::unzip_run(const QString &zipPath, const QString &extractDir, qint16 promptOverwrite,
                                     qint16 overwrite, qint16 listOnly, qint16 keepPaths, qint32 includeCount,
                                     qint32 excludeCount)
{
    ExtractionOptions options;
    options.promptOverwrite = promptOverwrite != 0;
    options.overwrite = overwrite != 0;
    options.listOnly = listOnly != 0;
    options.keepPaths = keepPaths != 0;
    options.include = patterns(m_include, includeCount);
    options.exclude = patterns(m_exclude, excludeCount);
    options.protectedNames = m_protectedNames;
    return m_extractor.run(zipPath, extractDir, options, *this);
}

qint32 unzipmod::uz_print(QByteArrayView buffer, qint32 count)
{
    m_log += QString::fromUtf8(upToNul(buffer.first(std::clamp<qsizetype>(count, 0, buffer.size()))));
    return 0;
}

qint32 unzipmod::uz_replace(QByteArrayView name)
{
    const QString file = QString::fromUtf8(upToNul(name));
    const Answer answer = m_question
                              ? m_question(QStringLiteral("Packwell - File already exists"),
                                           QStringLiteral("Overwrite ") + file + QLatin1Char('?'))
                              : Answer::No;
    switch (answer) {
    case Answer::Yes:
        return ExtractionCallbacks::kReplaceYes;
    case Answer::Cancel:
        return ExtractionCallbacks::kReplaceNone;
    case Answer::No:
        break;
    }
    return ExtractionCallbacks::kReplaceNo;
}

qint32 unzipmod::uz_password(QByteArray &password, qint32, QByteArrayView, QByteArrayView)
{
    password.clear();
    return 1;
}

void unzipmod::uz_listing(const ListingEntry &entry)
{
    if (m_listingCount == 0) {
        QString header(kListingWidth, QLatin1Char(' '));
        header.replace(0, 9, QStringLiteral("Filename:"));
        header.replace(52, 4, QStringLiteral("Size"));
        header.replace(61, 4, QStringLiteral("Date"));
        header.replace(70, 4, QStringLiteral("Time"));
        m_listingText = header + m_newline;
    }
    QString name = QString::fromUtf8(upToNul(entry.name)).left(kNameColumns);
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    QString line = name.leftJustified(kNameColumns, QLatin1Char(' '), true);
    line += sizeText(entry.size).rightJustified(kSizeColumns, QLatin1Char(' '));
    line += QStringLiteral("  ");
    if (entry.modified.isValid()) {
        const QDate date = entry.modified.date();
        const QTime time = entry.modified.time();
        line += QStringLiteral("%1/%2/%3")
                    .arg(date.day(), 2, 10, QLatin1Char(' '))
                    .arg(date.month(), 2, 10, QLatin1Char('0'))
                    .arg(date.year() % 100, 2, 10, QLatin1Char('0'));
        line += QStringLiteral("  ");
        line += QStringLiteral("%1:%2").arg(time.hour(), 2, 10, QLatin1Char(' ')).arg(time.minute(), 2, 10, QLatin1Char('0'));
    }
    m_listingText += line.leftJustified(kListingWidth, QLatin1Char(' ')) + m_newline;
    ++m_listingCount;
}

void unzipmod::print(QByteArrayView text)
{
    uz_print(text, qint32(std::min<qsizetype>(text.size(), std::numeric_limits<qint32>::max())));
}

int unzipmod::replace(QByteArrayView name)
{
    return uz_replace(name);
}

QByteArray unzipmod::password(QByteArrayView prompt, QByteArrayView name)
{
    QByteArray answer;
    uz_password(answer, 256, prompt, name);
    return answer;
}

void unzipmod::listing(const ListingEntry &entry)
{
    uz_listing(entry);
}
