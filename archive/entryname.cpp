#include "entryname.h"

namespace {

EntryName refused(const char *reason)
{
    EntryName result;
    result.reason = QString::fromLatin1(reason);
    return result;
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

EntryName checkEntryName(QByteArrayView name)
{
    if (name.isEmpty())
        return refused("empty name");
    if (name.size() > kMaxEntryNameBytes)
        return refused("name too long");
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f)
            return refused("control character in name");
        if (c == '\\')
            return refused("backslash in name");
    }
    if (name.front() == '/')
        return refused("absolute path");
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':')
        return refused("drive letter in name");

    EntryName result;
    QByteArrayView rest = name;
    if (rest.back() == '/') {
        result.directory = true;
        rest.chop(1);
    }
    qsizetype start = 0;
    while (start <= rest.size()) {
        qsizetype end = rest.indexOf('/', start);
        if (end < 0)
            end = rest.size();
        const QByteArrayView part = rest.sliced(start, end - start);
        if (part.isEmpty())
            return refused("empty folder name in path");
        if (part == ".." || part == ".")
            return refused("relative step in path");
        if (part.size() > kMaxEntryNamePartBytes)
            return refused("path part too long");
        result.parts.append(part.toByteArray());
        start = end + 1;
    }
    result.ok = true;
    return result;
}
