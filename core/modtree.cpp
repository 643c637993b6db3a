#include "modtree.h"

#include "textlines.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The number N when text is exactly "a" followed by N in canonical decimal.
bool linkKeyNumber(QByteArrayView text, quint32 *number)
{
    if (text.size() < 2 || text.size() > 11 || text[0] != 'a' || text[1] == '0')
        return false;
    quint64 n = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + quint64(c - '0');
    }
    if (n > 0xFFFFFFFFu)
        return false;
    *number = quint32(n);
    return true;
}

} // namespace

ModTree::ModTree(ModTree &&other) noexcept
{
    *this = std::move(other);
}

ModTree &ModTree::operator=(ModTree &&other) noexcept
{
    if (this == &other)
        return *this;
    m_source = std::exchange(other.m_source, QByteArray());
    m_sourceBuffer = std::move(other.m_sourceBuffer);
    m_folders = std::exchange(other.m_folders, {});
    m_linkBlock = std::move(other.m_linkBlock);
    // The blocks keep their addresses when they change hands.
    m_links = std::exchange(other.m_links, nullptr);
    m_linkCapacity = std::exchange(other.m_linkCapacity, 0);
    m_linkCount = std::exchange(other.m_linkCount, 0);
    m_firstChild = std::exchange(other.m_firstChild, {});
    m_indexed = std::exchange(other.m_indexed, true);
    m_folderByBytes = std::exchange(other.m_folderByBytes, {});
    m_folderByText = std::exchange(other.m_folderByText, {});
    m_linkKeysTakenByFolders = std::exchange(other.m_linkKeysTakenByFolders, {});
    m_lastCounter = std::exchange(other.m_lastCounter, 0);
    m_anyLink = std::exchange(other.m_anyLink, false);
    m_lastParent = std::exchange(other.m_lastParent, Span());
    m_lastParentFolder = std::exchange(other.m_lastParentFolder, kNoNode);
    return *this;
}

void ModTree::reset(QByteArray source)
{
    m_folderByBytes.clear();
    m_folderByText.clear();
    m_linkKeysTakenByFolders.clear();
    m_folders.clear();
    m_linkBlock = PageBuffer();
    m_links = nullptr;
    m_linkCapacity = 0;
    m_linkCount = 0;
    m_firstChild.clear();
    m_indexed = true;
    m_source = std::move(source);
    m_sourceBuffer = PageBuffer();
    m_lastCounter = 0;
    m_anyLink = false;
    m_lastParent = Span();
    m_lastParentFolder = kNoNode;
}

void ModTree::reset(PageBuffer source)
{
    reset(QByteArray());
    m_sourceBuffer = std::move(source);
    if (!m_sourceBuffer.isNull())
        m_source = QByteArray::fromRawData(m_sourceBuffer.data(), m_sourceBuffer.size());
}

void ModTree::reserveLinks(qsizetype links)
{
    if (links <= m_linkCapacity)
        return;
    // In the source's room, right after its bytes, when the links have not
    // started elsewhere: the block's last huge page is then shared by both.
    if (m_linkCount == 0 && !m_sourceBuffer.isNull()) {
        const qsizetype start = (m_sourceBuffer.size() + qsizetype(alignof(Link)) - 1) / qsizetype(alignof(Link)) *
                                qsizetype(alignof(Link));
        if ((m_sourceBuffer.capacity() - start) / kBytesPerLink >= links) {
            m_links = m_sourceBuffer.data() + start;
            m_linkCapacity = (m_sourceBuffer.capacity() - start) / kBytesPerLink;
            m_indexed = false;
            return;
        }
    }
    moveLinksToBlockFor(links); // on failure addLink grows the block step by step
}

bool ModTree::moveLinksToBlockFor(qsizetype links)
{
    PageBuffer block = PageBuffer::allocate(links * kBytesPerLink);
    if (block.isNull())
        return false;
    if (m_linkCount > 0)
        std::memcpy(block.data(), m_links, size_t(m_linkCount) * sizeof(Link));
    m_linkBlock = std::move(block);
    m_links = m_linkBlock.data();
    m_linkCapacity = m_linkBlock.capacity() / kBytesPerLink;
    m_indexed = false;
    return true;
}

bool ModTree::hasLinkWithCounter(quint32 counter) const
{
    for (qsizetype i = 0; i < m_linkCount; ++i) {
        if (link(i).counter == counter)
            return true;
    }
    return false;
}

bool ModTree::addFolder(Span line)
{
    const QByteArrayView key = bytes(line);
    if (findFolder(key) != kNoNode)
        return false;
    quint32 number = 0;
    if (linkKeyNumber(key, &number)) {
        // A link with that key already exists: the folder's key is in use.
        if (hasLinkWithCounter(number))
            return false;
        m_linkKeysTakenByFolders.insert(number, true);
    }
    const auto index = quint32(m_folders.size());
    m_folders.push_back(Folder{line, 0});
    m_folderByBytes.insert(key, index);
    if (!isAscii(key))
        m_folderByText.insert(decodeText(key), index);
    m_indexed = false;
    return true;
}

int ModTree::findFolder(QByteArrayView parentBytes) const
{
    const auto it = m_folderByBytes.constFind(parentBytes);
    if (it != m_folderByBytes.constEnd())
        return int(*it);
    // The same text may be spelt in UTF-8 in one line and in Windows-1252 in another.
    if (!m_folderByText.isEmpty() && !isAscii(parentBytes)) {
        const auto textIt = m_folderByText.constFind(decodeText(parentBytes));
        if (textIt != m_folderByText.constEnd())
            return int(*textIt);
    }
    return kNoNode;
}

bool ModTree::addLink(Span parent, quint32 counter, Span name, Span url)
{
    const QByteArrayView parentBytes = bytes(parent);
    int folder = m_lastParentFolder;
    // A folder once found stays the answer for the same bytes: a later folder
    // with the same key or text is refused.
    if (folder == kNoNode || parent.length != m_lastParent.length ||
        std::memcmp(parentBytes.data(), m_source.constData() + m_lastParent.offset, parent.length) != 0) {
        folder = findFolder(parentBytes);
        if (folder == kNoNode)
            return false;
        m_lastParent = parent;
        m_lastParentFolder = folder;
    }
    if (m_linkKeysTakenByFolders.contains(counter))
        return false;
    // Counters normally only grow; anything else must be checked for reuse.
    if (m_anyLink && counter <= m_lastCounter && hasLinkWithCounter(counter))
        return false;
    if (m_linkCount == m_linkCapacity && !moveLinksToBlockFor(std::max<qsizetype>(16, m_linkCount * 2)))
        return false;
    new (m_links + m_linkCount * qsizetype(sizeof(Link))) Link{name, url, counter, quint32(folder)};
    ++m_linkCount;
    ++m_folders[size_t(folder)].childCount;
    m_indexed = false;
    m_lastCounter = std::max(m_lastCounter, counter);
    m_anyLink = true;
    return true;
}

void ModTree::fileLinksUnderFolders() const
{
    // A counting sort: each folder's list starts where the lists before it end,
    // and the links, taken in order, fill their folder's list from its start.
    m_firstChild.resize(m_folders.size());
    quint32 start = 0;
    for (size_t f = 0; f < m_folders.size(); ++f) {
        m_firstChild[f] = start;
        start += m_folders[f].childCount;
    }
    if (m_linkCount > 0) {
        std::vector<quint32> next = m_firstChild;
        auto *lists = reinterpret_cast<quint32 *>(m_links + m_linkCount * qsizetype(sizeof(Link)));
        for (qsizetype i = 0; i < m_linkCount; ++i)
            lists[next[link(i).folder]++] = quint32(i);
    }
    m_indexed = true;
}

QString ModTree::text(int node) const
{
    return decodeText(textBytes(node));
}

QString ModTree::key(int node) const
{
    if (!isValid(node))
        return {};
    if (isLink(node))
        return QStringLiteral("a") + QString::number(link(node - folderCount()).counter);
    return text(node);
}

QString ModTree::url(int node) const
{
    if (!isLink(node))
        return {};
    return decodeText(bytes(link(node - folderCount()).url));
}

int ModTree::row(int node) const
{
    if (!isValid(node))
        return -1;
    if (!isLink(node))
        return node;
    // A folder's list holds its links in order of addition, so a search finds one.
    ensureIndexed();
    const quint32 index = quint32(node - folderCount());
    const quint32 folder = link(index).folder;
    const quint32 *first = children() + m_firstChild[folder];
    const quint32 *last = first + m_folders[folder].childCount;
    return int(std::lower_bound(first, last, index) - first);
}
