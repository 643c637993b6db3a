#pragma once

#include "textlines.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

// The mod tree: folder nodes at the root, link nodes under them. Nodes are
// numbered from 0 in order of addition (all folders first, then the links as
// read), so node n is the tree's item n + 1.
//
// Texts are kept as spans of the mod list file's bytes and decoded only when
// asked for, and the links live in one flat block with the folders' child lists
// after them, in the room the file's buffer keeps past the file when it has
// enough: a list of a million links costs the file's size plus 28 bytes per
// link, and loading it makes no string and no allocation per link.
//
// A tree is used from one thread at a time: child() and row() file links added
// since the last indexChildren() under their folders on first use.
class ModTree final
{
public:
    struct Span
    {
        quint32 offset = 0;
        quint32 length = 0;
    };

    static constexpr int kNoNode = -1;

    ModTree() = default;
    ModTree(ModTree &&other) noexcept;
    ModTree &operator=(ModTree &&other) noexcept;
    ModTree(const ModTree &) = delete;
    ModTree &operator=(const ModTree &) = delete;
    ~ModTree() = default;

    // Removes every node and takes the bytes that later spans point into. A
    // PageBuffer's room past its bytes (capacity() - size()) may hold the links.
    void reset(QByteArray source);
    void reset(PageBuffer source);
    void clear() { reset(QByteArray()); }
    // The bytes spans point into; it shares the tree's memory and lives as long
    // as the tree does (or until the next reset).
    const QByteArray &source() const { return m_source; }

    // Makes room for this many links in one block, so that adding up to that
    // many moves nothing. Room reserved but never used costs address space only.
    void reserveLinks(qsizetype links);
    // The room in bytes that many links take, with what aligns them.
    static qsizetype bytesForLinks(qsizetype links) { return links * kBytesPerLink + qsizetype(alignof(Link)); }

    // Adds a root folder whose key and text are the span's bytes. Fails, adding
    // nothing, when the key is in use.
    bool addFolder(Span line);
    // Adds a link with key "a<counter>" as last child of the folder whose key is
    // the parent span's text. Fails, adding nothing, when no folder has that key,
    // the link's key is in use, or there is no memory for it.
    bool addLink(Span parent, quint32 counter, Span name, Span url);
    // Files the links added so far under their folders now rather than on the
    // next child() or row(), so that a loader does all the work while loading.
    void indexChildren() { ensureIndexed(); }

    int count() const { return folderCount() + linkCount(); }
    int folderCount() const { return int(m_folders.size()); }
    int linkCount() const { return int(m_linkCount); }

    bool isValid(int node) const { return node >= 0 && node < count(); }
    bool isLink(int node) const { return node >= folderCount() && node < count(); }
    // The parent folder node of a link, kNoNode for a folder.
    int parent(int node) const { return isLink(node) ? int(link(node - folderCount()).folder) : kNoNode; }
    QString text(int node) const;
    QString key(int node) const;
    QString url(int node) const;

    int childCount(int folder) const
    {
        return folder >= 0 && folder < folderCount() ? int(m_folders[size_t(folder)].childCount) : 0;
    }
    int child(int folder, int row) const
    {
        if (row < 0 || row >= childCount(folder))
            return kNoNode;
        ensureIndexed();
        return folderCount() + int(children()[m_firstChild[size_t(folder)] + quint32(row)]);
    }
    // Position of a node among its siblings.
    int row(int node) const;

    // Raw bytes of a node's text, for fast searching.
    QByteArrayView textBytes(int node) const
    {
        if (isLink(node))
            return bytes(link(node - folderCount()).name);
        return isValid(node) ? bytes(m_folders[size_t(node)].line) : QByteArrayView();
    }

private:
    struct Folder
    {
        Span line;
        quint32 childCount = 0;
    };
    struct Link
    {
        Span name;
        Span url;
        quint32 counter;
        quint32 folder;
    };
    // Bytes per link in the link block: the record and its entry in the child lists.
    static constexpr qsizetype kBytesPerLink = qsizetype(sizeof(Link) + sizeof(quint32));

    QByteArrayView bytes(Span s) const { return QByteArrayView(m_source.constData() + s.offset, s.length); }
    int findFolder(QByteArrayView parentBytes) const;
    bool hasLinkWithCounter(quint32 counter) const;
    // Moves the links to a new block with room for this many; false when there
    // is no memory for it, leaving the tree as it was.
    bool moveLinksToBlockFor(qsizetype links);
    const Link &link(qsizetype index) const { return reinterpret_cast<const Link *>(m_links)[index]; }
    // The child lists: each folder's links in order of addition, folder by folder.
    // They follow the link records and are valid only while m_indexed is set.
    const quint32 *children() const
    {
        return reinterpret_cast<const quint32 *>(m_links + m_linkCount * qsizetype(sizeof(Link)));
    }
    void ensureIndexed() const
    {
        if (!m_indexed)
            fileLinksUnderFolders();
    }
    void fileLinksUnderFolders() const;

    QByteArray m_source;
    PageBuffer m_sourceBuffer; // owns m_source's bytes when the tree was reset with a PageBuffer
    std::vector<Folder> m_folders;
    // Owns the links' block, unless they live in m_sourceBuffer's room.
    PageBuffer m_linkBlock;
    char *m_links = nullptr;
    qsizetype m_linkCapacity = 0;
    qsizetype m_linkCount = 0;
    // Where each folder's child list starts; built with the child lists.
    mutable std::vector<quint32> m_firstChild;
    mutable bool m_indexed = true;

    QHash<QByteArrayView, quint32> m_folderByBytes;
    QHash<QString, quint32> m_folderByText;
    // Folders whose name reads like a link key ("a17") would clash with a link.
    QHash<quint32, bool> m_linkKeysTakenByFolders;
    quint32 m_lastCounter = 0;
    bool m_anyLink = false;
    // The last parent a link named, and its folder: lists name one folder for
    // many links in a row, and comparing bytes beats a hash lookup.
    Span m_lastParent;
    int m_lastParentFolder = kNoNode;
};
