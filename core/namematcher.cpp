#include "namematcher.h"

#include "textlines.h"

#include <array>

namespace {

constexpr std::array<char, 256> makeLowerTable()
{
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = char((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
    return table;
}

constexpr std::array<char, 256> kLower = makeLowerTable();

inline char lower(char c)
{
    return kLower[static_cast<unsigned char>(c)];
}

// Whether lower-cased ASCII `needle` occurs in ASCII `haystack` once that is lower-cased.
bool containsFolded(QByteArrayView haystack, QByteArrayView needle)
{
    const qsizetype n = needle.size();
    const char first = needle[0];
    const char *h = haystack.data();
    for (qsizetype i = 0, last = haystack.size() - n; i <= last; ++i) {
        if (lower(h[i]) != first)
            continue;
        qsizetype j = 1;
        while (j < n && lower(h[i + j]) == needle[j])
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

} // namespace

NameMatcher::NameMatcher(const QString &text) : m_text(text)
{
    const QString folded = text.toCaseFolded();
    m_asciiText = true;
    for (QChar c : folded) {
        if (c.unicode() >= 0x80) {
            m_asciiText = false;
            break;
        }
    }
    if (m_asciiText)
        m_folded = folded.toLatin1();
}

bool NameMatcher::matches(QByteArrayView name) const
{
    if (m_text.isEmpty())
        return true;
    // ASCII bytes stand for the same characters in UTF-8 and in Windows-1252,
    // so a match among them is a match in the decoded name too.
    if (m_asciiText && containsFolded(name, m_folded))
        return true;
    if (isAscii(name))
        return false;
    return decodeText(name).contains(m_text, Qt::CaseInsensitive);
}
