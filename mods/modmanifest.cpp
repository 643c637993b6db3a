#include "modmanifest.h"

#include "archive/entryname.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

const QString ModManifest::kFileName = QStringLiteral(".kml-manifest");

namespace {

const QByteArray kHeader = QByteArrayLiteral("kestrelmoor-modlist mod 1");
const QByteArray kEnd = QByteArrayLiteral("end");
// A mod of a million files has a manifest of about a hundred megabytes.
constexpr qint64 kMaxManifestBytes = qint64(128) << 20;

bool isHash(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool isSafePath(const QByteArray &path)
{
    const EntryName name = checkEntryName(path);
    return name.ok && !name.directory && !name.parts.first().startsWith(".kml-");
}

// Values are written without tabs and line ends; text fields are percent-encoded.
QByteArray field(const QString &text)
{
    return text.toUtf8().toPercentEncoding(" /:?&=#~!$'()*+,;@");
}

QString unfield(const QByteArray &bytes)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

} // namespace

qint64 ModManifest::totalSize() const
{
    qint64 sum = 0;
    for (const File &file : files)
        sum += file.size;
    return sum;
}

QByteArray ModManifest::serialized() const
{
    QByteArray out = kHeader + '\n';
    out += "game\t" + field(game) + '\n';
    out += "archive\t" + field(archiveName) + '\t' + archiveSha256 + '\n';
    out += "source\t" + field(sourcePage) + '\n';
    for (const auto &[kind, list] : {std::pair{"file\t", &files}, {"leftover\t", &leftovers}}) {
        for (const File &file : *list)
            out += kind + QByteArray::number(file.size) + '\t' + QByteArray::number(file.modified) + '\t' +
                   file.sha256 + '\t' + file.path.toPercentEncoding("/") + '\n';
    }
    out += kEnd + '\n';
    return out;
}

bool ModManifest::parse(const QByteArray &bytes, ModManifest *out, QString *error)
{
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 6 || lines.first() != kHeader || lines.at(lines.size() - 2) != kEnd || !lines.last().isEmpty())
        return refuse(QCoreApplication::translate("ModManifest", "it is not whole"));
    ModManifest manifest;
    bool sawGame = false, sawArchive = false, sawSource = false;
    for (qsizetype i = 1; i < lines.size() - 2; ++i) {
        const QList<QByteArray> parts = lines.at(i).split('\t');
        const QByteArray &kind = parts.first();
        if (kind == "game" && parts.size() == 2 && !sawGame) {
            manifest.game = unfield(parts.at(1));
            sawGame = true;
        } else if (kind == "archive" && parts.size() == 3 && !sawArchive &&
                   (parts.at(2).isEmpty() || isHash(parts.at(2)))) {
            manifest.archiveName = unfield(parts.at(1));
            manifest.archiveSha256 = parts.at(2);
            sawArchive = true;
        } else if (kind == "source" && parts.size() == 2 && !sawSource) {
            manifest.sourcePage = unfield(parts.at(1));
            sawSource = true;
        } else if ((kind == "file" || kind == "leftover") && parts.size() == 5) {
            bool sized = false, timed = false;
            File file{QByteArray::fromPercentEncoding(parts.at(4)), parts.at(1).toLongLong(&sized),
                      parts.at(2).toLongLong(&timed), parts.at(3)};
            if (!sized || !timed || file.size < 0 || !isHash(file.sha256))
                return refuse(QCoreApplication::translate("ModManifest", "line %1 is damaged").arg(i + 1));
            if (!isSafePath(file.path))
                return refuse(
                    QCoreApplication::translate("ModManifest", "line %1 names a file outside the mod's folder")
                        .arg(i + 1));
            (kind == "file" ? manifest.files : manifest.leftovers).push_back(std::move(file));
        } else {
            return refuse(QCoreApplication::translate("ModManifest", "line %1 is damaged").arg(i + 1));
        }
    }
    if (!sawGame || !sawArchive || !sawSource)
        return refuse(QCoreApplication::translate("ModManifest", "it is not whole"));
    *out = std::move(manifest);
    return true;
}

bool ModManifest::read(const QString &folder, ModManifest *out, QString *error)
{
    QFile file(folder + u'/' + kFileName);
    const QFileInfo info(file.fileName());
    if (info.exists() && (info.isSymLink() || !info.isFile())) {
        if (error)
            *error = QCoreApplication::translate("ModManifest", "it is no plain file");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.exists() ? file.errorString() : QCoreApplication::translate("ModManifest", "it is missing");
        return false;
    }
    if (file.size() > kMaxManifestBytes) {
        if (error)
            *error = QCoreApplication::translate("ModManifest", "it is too large");
        return false;
    }
    return parse(file.readAll(), out, error);
}
