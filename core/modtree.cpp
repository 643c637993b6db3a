#include "modtree.h"

#include "textlines.h"

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

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

void ModTree::reset(QByteArray source)
{
    m_folderByBytes.clear();
    m_folderByText.clear();
    m_linkKeysTakenByFolders.clear();
    m_folders.clear();
    m_links.clear();
    m_source = std::move(source);
    m_lastCounter = 0;
    m_anyLink = false;
}

bool ModTree::addFolder(Span line)
{
    const QByteArrayView key = bytes(line);
    if (findFolder(key) != kNoNode)
        return false;
    quint32 number = 0;
    if (linkKeyNumber(key, &number)) {
        // A link with that key already exists: the folder's key is in use.
        for (const Link &link : m_links) {
            if (link.counter == number)
                return false;
        }
        m_linkKeysTakenByFolders.insert(number, true);
    }
    const auto index = quint32(m_folders.size());
    m_folders.push_back(Folder{line, {}});
    m_folderByBytes.insert(key, index);
    if (!isAscii(key))
        m_folderByText.insert(decodeText(key), index);
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
    const int folder = findFolder(bytes(parent));
    if (folder == kNoNode)
        return false;
    if (m_linkKeysTakenByFolders.contains(counter))
        return false;
    if (m_anyLink && counter <= m_lastCounter) {
        // Counters normally only grow; anything else must be checked for reuse.
        for (const Link &link : m_links) {
            if (link.counter == counter)
                return false;
        }
    }
    Folder &f = m_folders[size_t(folder)];
    m_links.push_back(Link{name, url, counter, quint32(folder), quint32(f.children.size())});
    f.children.push_back(quint32(m_links.size() - 1));
    m_lastCounter = std::max(m_lastCounter, counter);
    m_anyLink = true;
    return true;
}

int ModTree::parent(int node) const
{
    return isLink(node) ? int(m_links[size_t(node - folderCount())].folder) : kNoNode;
}

QByteArrayView ModTree::textBytes(int node) const
{
    if (!isValid(node))
        return {};
    if (isLink(node))
        return bytes(m_links[size_t(node - folderCount())].name);
    return bytes(m_folders[size_t(node)].line);
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
        return QStringLiteral("a") + QString::number(m_links[size_t(node - folderCount())].counter);
    return text(node);
}

QString ModTree::tag(int node) const
{
    if (!isLink(node))
        return {};
    return decodeText(bytes(m_links[size_t(node - folderCount())].url));
}

int ModTree::childCount(int folder) const
{
    if (folder < 0 || folder >= folderCount())
        return 0;
    return int(m_folders[size_t(folder)].children.size());
}

int ModTree::child(int folder, int row) const
{
    if (folder < 0 || folder >= folderCount())
        return kNoNode;
    const auto &children = m_folders[size_t(folder)].children;
    if (row < 0 || size_t(row) >= children.size())
        return kNoNode;
    return folderCount() + int(children[size_t(row)]);
}

int ModTree::row(int node) const
{
    if (!isValid(node))
        return -1;
    return isLink(node) ? int(m_links[size_t(node - folderCount())].row) : node;
}
