#include "listcheck.h"

#include "modlistloader.h"
#include "modtree.h"
#include "textlines.h"

#include <QSet>
#include <QTextStream>

namespace {

// Why a link line added no node, told from the line and the folders.
QString linkSkipReason(QByteArrayView line, quint32 counter, const QSet<QString> &folders)
{
    const qsizetype first = line.indexOf('?');
    if (first < 0 || line.indexOf('?', first + 1) < 0)
        return QStringLiteral("no folder, name and address: a link reads folder?name?address");
    const QString parent = decodeText(line.first(first));
    if (!folders.contains(parent))
        return QStringLiteral("no folder named \"%1\"").arg(parent);
    const QString key = QStringLiteral("a%1").arg(counter);
    if (folders.contains(key))
        return QStringLiteral("its key %1 is a folder's name").arg(key);
    return QStringLiteral("not added");
}

} // namespace

int checkModList(const QString &path, QTextStream &out, QTextStream &err)
{
    const FileRead file = readWholeFile(path, kMaxModListBytes);
    if (file.status != FileRead::Status::Ok) {
        const char *why = file.status == FileRead::Status::Missing    ? "no such file"
                          : file.status == FileRead::Status::TooLarge ? "too large"
                                                                      : "cannot be read";
        err << path << ": " << why << '\n';
        return 1;
    }
    {
        LineReader lines(file.data);
        const auto first = lines.next();
        if (!first || *first != kValidHeader) {
            err << path << ":1: the first line is not " << kValidHeader << '\n';
            return 1;
        }
    }
    ModTree tree;
    parseModList(file.data, tree);

    for (int node = 0; node < tree.count(); ++node) {
        const int parent = tree.parent(node);
        out << tree.key(node) << '\t' << tree.text(node) << '\t'
            << (parent == ModTree::kNoNode ? QStringLiteral("-") : tree.key(parent)) << '\t' << tree.url(node) << '\n';
    }

    // The lines again, beside the nodes they made: spans of a folder's text
    // point at its line, a link's key counts the lines of the link section.
    QSet<QString> folders;
    for (int node = 0; node < tree.folderCount(); ++node)
        folders.insert(tree.text(node));
    const QByteArray &source = tree.source();
    LineReader lines(source);
    lines.next();
    int number = 1;
    int folder = 0;
    bool inLinks = false;
    quint32 counter = 0;
    int link = tree.folderCount();
    while (const auto line = lines.next()) {
        ++number;
        if (!inLinks) {
            if (*line == kLinkSectionStart) {
                inLinks = true;
            } else if (folder < tree.folderCount() && tree.textBytes(folder).data() == line->data()) {
                ++folder;
            } else {
                err << path << ':' << number << ": the folder \"" << decodeText(*line) << "\" is there already\n";
            }
            continue;
        }
        ++counter;
        if (link < tree.count() && tree.key(link) == QStringLiteral("a%1").arg(counter))
            ++link;
        else
            err << path << ':' << number << ": " << linkSkipReason(*line, counter, folders) << '\n';
    }
    return 0;
}
