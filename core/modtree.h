#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <vector>

// The mod tree: folder nodes at the root, link nodes under them. Nodes are
// numbered from 0 in order of addition (all folders first, then the links as
// read), so node n is the tree's item n + 1.
//
// Texts are kept as spans of the mod list file's bytes and decoded only when
// asked for: a list of a million links costs the file's size plus a few dozen
// bytes per link, and loading it makes no string at all.
class ModTree final
{
public:
    struct Span
    {
        quint32 offset = 0;
        quint32 length = 0;
    };

    static constexpr int kNoNode = -1;

    // Removes every node and takes the bytes that later spans point into.
    void reset(QByteArray source);
    void clear() { reset({}); }
    const QByteArray &source() const { return m_source; }

    // Adds a root folder whose key and text are the span's bytes. Fails, adding
    // nothing, when the key is in use.
    bool addFolder(Span line);
    // Adds a link with key "a<counter>" as last child of the folder whose key is
    // the parent span's text. Fails, adding nothing, when no folder has that key
    // or the link's key is in use.
    bool addLink(Span parent, quint32 counter, Span name, Span url);

    int count() const { return int(m_folders.size() + m_links.size()); }
    int folderCount() const { return int(m_folders.size()); }
    int linkCount() const { return int(m_links.size()); }

    bool isValid(int node) const { return node >= 0 && node < count(); }
    bool isLink(int node) const { return node >= folderCount() && node < count(); }
    // The parent folder node of a link, kNoNode for a folder.
    int parent(int node) const;
    QString text(int node) const;
    QString key(int node) const;
    QString tag(int node) const;

    int childCount(int folder) const;
    int child(int folder, int row) const;
    // Position of a node among its siblings.
    int row(int node) const;

    // Raw bytes of a node's text, for fast searching.
    QByteArrayView textBytes(int node) const;

private:
    struct Folder
    {
        Span line;
        std::vector<quint32> children; // link indices
    };
    struct Link
    {
        Span name;
        Span url;
        quint32 counter;
        quint32 folder;
        quint32 row;
    };

    QByteArrayView bytes(Span s) const { return QByteArrayView(m_source.constData() + s.offset, s.length); }
    int findFolder(QByteArrayView parentBytes) const;

    QByteArray m_source;
    std::vector<Folder> m_folders;
    std::vector<Link> m_links;
    QHash<QByteArrayView, quint32> m_folderByBytes;
    QHash<QString, quint32> m_folderByText;
    // Folders whose name reads like a link key ("a17") would clash with a link.
    QHash<quint32, bool> m_linkKeysTakenByFolders;
    quint32 m_lastCounter = 0;
    bool m_anyLink = false;
};
