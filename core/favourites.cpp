#include "favourites.h"

#include "checkedfile.h"

#include "textlines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>

namespace {

// Valid UTF-8 is read as UTF-8, a byte order mark included, so that text the
// program wrote reads back as it was; anything else is read one character per
// byte as Windows-1252.
QString decodeValue(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeText(bytes);
}

QByteArray encodeValue(const QString &text, const QByteArray &readFrom)
{
    if (!readFrom.isEmpty() && decodeValue(readFrom) == text)
        return readFrom;
    return text.toUtf8();
}

// A value is one line of the file: a line break inside it would shift every
// later name and URL by one line.
QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

Favourite oneLine(const Favourite &favourite)
{
    Favourite clean = favourite;
    clean.name = oneLine(favourite.name);
    clean.url = oneLine(favourite.url);
    return clean;
}

// The first name beside path that no file takes: path.bak, path.bak.2, ...
QString freeBackupPath(const QString &path)
{
    for (int n = 1; n <= 999; ++n) {
        const QString candidate = n == 1 ? path + QStringLiteral(".bak") : path + QStringLiteral(".bak.%1").arg(n);
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            return candidate;
    }
    return QString();
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

Favourites::Favourites(QObject *parent) : QObject(parent) {}

const Favourite &Favourites::row(int i) const
{
    return m_favourites.at(i);
}

QList<Favourite> Favourites::rows() const
{
    return m_favourites;
}

QStringList Favourites::names() const
{
    QStringList out;
    out.reserve(m_favourites.size());
    for (const Favourite &favourite : m_favourites)
        out.append(favourite.name);
    return out;
}

FavouritesLoad Favourites::load(const QString &path)
{
    m_favourites.clear();
    m_backupPath.clear();
    FavouritesLoad result;
    const FileRead read = readWholeFile(path, kMaxFileBytes);
    switch (read.status) {
    case FileRead::Status::Missing:
        result.status = FavouritesLoad::Status::Missing;
        break;
    case FileRead::Status::Unreadable:
        result.status = FavouritesLoad::Status::Unreadable;
        m_backupPath = freeBackupPath(path);
        result.notice = tr("The favourites file %1 could not be read, so the program starts without favourites. "
                           "The file will be kept as %2 before it is replaced.")
                            .arg(shown(path), shown(m_backupPath));
        break;
    case FileRead::Status::TooLarge:
        result.status = FavouritesLoad::Status::TooLarge;
        m_backupPath = freeBackupPath(path);
        result.notice = tr("The favourites file %1 is too large to be a favourites file, so the program starts "
                           "without favourites. The file will be kept as %2 before it is replaced.")
                            .arg(shown(path), shown(m_backupPath));
        break;
    case FileRead::Status::Ok: {
        result.status = FavouritesLoad::Status::Ok;
        LineReader lines(read.data);
        while (const auto name = lines.next()) {
            const QByteArrayView url = lines.next().value_or(QByteArrayView());
            if (isFull()) {
                ++result.droppedPairs;
                continue;
            }
            m_favourites.append(
                Favourite{decodeValue(*name), decodeValue(url), name->toByteArray(), url.toByteArray()});
        }
        if (result.droppedPairs > 0) {
            m_backupPath = freeBackupPath(path);
            result.notice = tr("The favourites file %1 holds %2 favourites; only the first %3 are listed. "
                               "The whole file will be kept as %4 when the favourites are saved, so none is lost.")
                                .arg(shown(path))
                                .arg(kCapacity + result.droppedPairs)
                                .arg(kCapacity)
                                .arg(shown(m_backupPath));
        }
        break;
    }
    }
    Q_EMIT replaced();
    return result;
}

QByteArray Favourites::toBytes() const
{
    QByteArray bytes;
    for (const Favourite &favourite : m_favourites) {
        bytes += encodeValue(favourite.name, favourite.nameBytes);
        bytes += "\r\n";
        bytes += encodeValue(favourite.url, favourite.urlBytes);
        bytes += "\r\n";
    }
    return bytes;
}

FavouritesSave Favourites::save(const QString &path)
{
    FavouritesSave result;
    // A pipe or a device in the file's place would block the copy and the
    // write; it is no favourites file.
    if (isSpecialFile(path)) {
        result.error = tr("Cannot write %1: it exists and is not a file").arg(shown(path));
        return result;
    }
    if (!m_backupPath.isEmpty() && QFileInfo::exists(path)) {
        const QFileInfo planned(m_backupPath);
        const QString backup = (planned.exists() || planned.isSymLink()) ? freeBackupPath(path) : m_backupPath;
        QString why;
        if (backup.isEmpty())
            why = tr("no free backup name");
        if (!why.isEmpty() || !copyFileContents(path, backup, &why)) {
            result.error = tr("%1 could not be kept as a backup, so it was not replaced: %2").arg(shown(path), why);
            return result;
        }
    }
    m_backupPath.clear();

    if (!replaceFileContents(path, toBytes(), &result.error))
        return result;
    result.ok = true;
    return result;
}

bool Favourites::add(const QString &name, const QString &url)
{
    if (isFull())
        return false;
    m_favourites.append(Favourite{oneLine(name), oneLine(url), {}, {}});
    Q_EMIT added(int(m_favourites.size()) - 1);
    return true;
}

void Favourites::replaceAll(const QList<Favourite> &favourites)
{
    m_favourites.clear();
    for (const Favourite &favourite : favourites.first(std::min<qsizetype>(favourites.size(), kCapacity)))
        m_favourites.append(oneLine(favourite));
    Q_EMIT replaced();
}
