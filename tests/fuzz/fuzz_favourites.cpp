// libFuzzer target: loading favs.dat, and writing what was loaded. The bytes
// written for a loaded table, loaded and written again, must not change.
#include "core/favourites.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
}

QByteArray written(const Favourites &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!table.writeTo(buffer, &error))
        std::abort();
    return buffer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("favs.dat"));
    writeFile(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    Favourites table;
    table.load(path);
    if (table.count() < 0 || table.count() > Favourites::kCapacity)
        std::abort();
    const QByteArray first = written(table);

    writeFile(path, first);
    Favourites again;
    again.load(path);
    if (again.count() != table.count() || written(again) != first)
        std::abort();
    return 0;
}
