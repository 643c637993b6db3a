// libFuzzer target: loading favs.dat, and writing what was loaded. The bytes
// written for a loaded table, loaded and written again, must not change.
#include "core/favourites.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// Loads `bytes` as favs.dat into the table; returns what the table writes.
QByteArray loadAndWrite(Favourites &table, const QByteArray &bytes)
{
    static QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("favs.dat")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        std::abort();
    table.load(file.fileName());
    if (table.count() > Favourites::kCapacity)
        std::abort();
    return table.toBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Favourites table, again;
    const QByteArray first = loadAndWrite(table, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (loadAndWrite(again, first) != first || again.count() != table.count())
        std::abort();
    return 0;
}
