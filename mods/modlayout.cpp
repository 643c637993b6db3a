#include "modlayout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <zip.h>

namespace {

// Folders the game itself reads inside a mod's folder: a single top folder of
// one of these names is part of the mod, not the mod.
const QSet<QString> kGameFolders{QStringLiteral("maps"),     QStringLiteral("pics"),    QStringLiteral("sound"),
                                 QStringLiteral("models"),   QStringLiteral("sprites"), QStringLiteral("env"),
                                 QStringLiteral("textures"), QStringLiteral("players"), QStringLiteral("demos"),
                                 QStringLiteral("music"),    QStringLiteral("video"),   QStringLiteral("scrnshot"),
                                 QStringLiteral("save"),     QStringLiteral("baseq2")};
// Files that may sit beside a mod's top folder and go into it.
const QSet<QString> kDocumentSuffixes{QStringLiteral("txt"), QStringLiteral("doc"),  QStringLiteral("rtf"),
                                      QStringLiteral("htm"), QStringLiteral("html"), QStringLiteral("md"),
                                      QStringLiteral("nfo"), QStringLiteral("diz"),  QStringLiteral("pdf"),
                                      QStringLiteral("jpg"), QStringLiteral("png"),  QStringLiteral("gif")};

QString lower(const QByteArray &utf8)
{
    return QString::fromUtf8(utf8).toLower();
}

bool isDocument(const QByteArray &name)
{
    return kDocumentSuffixes.contains(QFileInfo(lower(name)).suffix()) || lower(name).startsWith(u"readme");
}

} // namespace

ModLayout ModLayout::of(const QList<QByteArray> &archivePaths)
{
    ModLayout layout;
    QSet<QByteArray> topFolders;
    bool onlyDocumentsLoose = true;
    for (const QByteArray &path : archivePaths) {
        const qsizetype slash = path.indexOf('/');
        if (slash < 0)
            onlyDocumentsLoose = onlyDocumentsLoose && isDocument(path);
        else
            topFolders.insert(path.left(slash));
    }
    QByteArray strip;
    if (topFolders.size() == 1 && onlyDocumentsLoose && !kGameFolders.contains(lower(*topFolders.cbegin()))) {
        strip = *topFolders.cbegin() + '/';
        layout.topFolder = QString::fromUtf8(*topFolders.cbegin());
    }
    QHash<QByteArray, QByteArray> seen; // target -> source
    for (const QByteArray &path : archivePaths) {
        const QByteArray kept = !strip.isEmpty() && path.startsWith(strip) ? path.mid(strip.size()) : path;
        const QByteArray target = lower(kept).toUtf8();
        if (target.startsWith(".kml-")) {
            layout.error = QCoreApplication::translate("ModLayout", "%1 has a name the program keeps for itself")
                               .arg(QString::fromUtf8(path));
            layout.files.clear();
            return layout;
        }
        if (const auto other = seen.constFind(target); other != seen.cend()) {
            layout.error =
                QCoreApplication::translate(
                    "ModLayout", "%1 and %2 differ only in letter case, and the game reads names in lower case")
                    .arg(QString::fromUtf8(*other), QString::fromUtf8(path));
            layout.files.clear();
            return layout;
        }
        seen.insert(target, path);
        layout.files.push_back({path, target});
    }
    return layout;
}

QString gameNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QCoreApplication::translate("ModLayout", "The game folder needs a name.");
    if (name.compare(u"baseq2", Qt::CaseInsensitive) == 0)
        return QCoreApplication::translate("ModLayout",
                                           "baseq2 holds the game itself; a mod needs a folder of its own.");
    if (name.size() > 64)
        return QCoreApplication::translate("ModLayout", "The game folder's name is longer than 64 characters.");
    for (const QChar c : name) {
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-'))
            return QStringLiteral(
                       "The game folder \"%1\" may hold only lower-case letters, digits, _ and - (the engine "
                       "falls back to the base game for a name with a slash, \"..\" or a space).")
                .arg(name);
    }
    return {};
}

QString gameNameFrom(const QString &text)
{
    QString out;
    for (const QChar c : text.toLower()) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_')
            out += c;
        else if (!out.isEmpty() && !out.endsWith(u'-'))
            out += u'-';
    }
    while (out.endsWith(u'-'))
        out.chop(1);
    out.truncate(64);
    return gameNameProblem(out).isEmpty() ? out : QString();
}

ModArchiveSummary ModArchiveSummary::of(const QString &zipPath, const QString &modName)
{
    ModArchiveSummary summary;
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &error);
    if (!archive) {
        summary.error = error == ZIP_ER_NOZIP
                            ? QCoreApplication::translate("ModLayout", "%1 is no zip archive.").arg(zipPath)
                            : QCoreApplication::translate("ModLayout", "%1 cannot be read.").arg(zipPath);
        return summary;
    }
    QList<QByteArray> paths;
    QHash<QByteArray, qint64> sizes;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !st.name || QByteArray(st.name).endsWith('/'))
            continue;
        paths.push_back(st.name);
        sizes.insert(st.name, qint64(st.size));
    }
    zip_close(archive);

    const ModLayout layout = ModLayout::of(paths);
    if (!layout.error.isEmpty()) {
        summary.error = layout.error;
        return summary;
    }
    if (layout.files.isEmpty()) {
        summary.error = QCoreApplication::translate("ModLayout", "%1 holds no files.").arg(zipPath);
        return summary;
    }
    summary.suggestedGame = gameNameFrom(layout.topFolder);
    if (summary.suggestedGame.isEmpty())
        summary.suggestedGame = gameNameFrom(modName);
    if (summary.suggestedGame.isEmpty())
        summary.suggestedGame = gameNameFrom(QFileInfo(zipPath).completeBaseName());

    bool gameLibrary = false, windowsLibrary = false, otherLibrary = false, mapsOnly = true;
    QStringList archives;
    const QLocale locale;
    for (const auto &[source, target] : layout.files) {
        const qint64 size = sizes.value(source);
        ++summary.fileCount;
        summary.totalSize += size;
        summary.files << QStringLiteral("%1  (%2)").arg(QString::fromUtf8(target), locale.formattedDataSize(size));
        const QString name = QString::fromUtf8(target);
        gameLibrary = gameLibrary || name == u"game.so";
        windowsLibrary = windowsLibrary || name.endsWith(u".dll");
        otherLibrary = otherLibrary || (name.endsWith(u".so") && name != u"game.so");
        if (name.endsWith(u".zip"))
            archives << name;
        if (!name.startsWith(u"maps/") && !isDocument(target))
            mapsOnly = false;
    }
    if (!gameLibrary && windowsLibrary)
        summary.warnings << QStringLiteral(
            "This mod carries no Linux game library, only a Windows one "
            "(gamex86.dll): the engine runs it with the stock game code, so whatever the "
            "mod changes in the rules will be missing.");
    else if (!gameLibrary && otherLibrary)
        summary.warnings << QStringLiteral("This mod's game library is not named game.so (a 32-bit gamei386.so, "
                                           "perhaps): the engine runs it with the stock game code.");
    if (mapsOnly)
        summary.warnings << QStringLiteral("This looks like a map pack: its maps go into a game folder of their own. "
                                           "Start one with +map NAME in the extra arguments.");
    if (!archives.isEmpty())
        summary.warnings << QCoreApplication::translate("ModLayout",
                                                        "It holds another archive (%1), which is unpacked on install.")
                                .arg(archives.join(QStringLiteral(", ")));
    return summary;
}
