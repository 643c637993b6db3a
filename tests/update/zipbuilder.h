#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QtEndian>

#include <zip.h>

#include <sys/stat.h>

#include <ctime>
#include <functional>
#include <optional>

// Archives for the tests, made by libzip itself so that names and attributes can be anything, and patched afterwards
// for what libzip will not write (sizes that lie, a broken CRC, an encryption flag).
struct ZipEntry
{
    QByteArray name;
    QByteArray data;
    zip_int32_t method = ZIP_CM_DEFLATE;
    std::optional<quint32> unixMode = {};  // st_mode, as an archiver on Unix stores it
    time_t mtime = 0;                      // 0: libzip's default (now)

    static ZipEntry file(QByteArray name, QByteArray data) { return {name, data}; }
    static ZipEntry stored(QByteArray name, QByteArray data) { return {name, data, ZIP_CM_STORE}; }
    static ZipEntry folder(QByteArray name) { return {name, {}, ZIP_CM_STORE, S_IFDIR | 0755}; }
    static ZipEntry symlink(QByteArray name, QByteArray target) { return {name, target, ZIP_CM_STORE, S_IFLNK | 0777}; }
};

// Fields of a built archive without zip64 records or an archive comment. A setter changes the local header and the
// central directory record alike.
struct ZipPatch
{
    QByteArray &zip;

    quint32 get32(qsizetype at) const { return qFromLittleEndian<quint32>(zip.constData() + at); }
    quint16 get16(qsizetype at) const { return qFromLittleEndian<quint16>(zip.constData() + at); }
    qsizetype central(int index) const
    {
        qsizetype at = qsizetype(get32(zip.size() - 22 + 16));
        for (int i = 0; i < index; ++i)
            at += 46 + get16(at + 28) + get16(at + 30) + get16(at + 32);
        return at;
    }
    qsizetype local(int index) const { return qsizetype(get32(central(index) + 42)); }
    qsizetype data(int index) const { return local(index) + 30 + get16(local(index) + 26) + get16(local(index) + 28); }
    quint32 compressedSize(int index) const { return get32(local(index) + 18); }

    template <typename Field> void set(int index, int localOffset, Field value)
    {
        qToLittleEndian(value, zip.data() + local(index) + localOffset);
        qToLittleEndian(value, zip.data() + central(index) + localOffset + 2);
    }
    void addFlags(int index, quint16 flags) { set<quint16>(index, 6, get16(local(index) + 6) | flags); }
    void setMethod(int index, quint16 method) { set<quint16>(index, 8, method); }
    void setCompressedSize(int index, quint32 size) { set<quint32>(index, 18, size); }
    void setSize(int index, quint32 size) { set<quint32>(index, 22, size); }
};

inline QByteArray buildZip(const QList<ZipEntry> &entries, const std::function<void(ZipPatch &)> &patch = {})
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("build.zip"));
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        qFatal("zip_open: %d", error);
    for (const ZipEntry &entry : entries) {
        const bool folder = entry.unixMode && S_ISDIR(*entry.unixMode) && entry.name.endsWith('/');
        const zip_int64_t index =
            folder ? zip_dir_add(archive, entry.name.chopped(1).constData(), 0)
                   : zip_file_add(archive, entry.name.constData(),
                                  zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0),
                                  ZIP_FL_ENC_RAW);
        if (index < 0)
            qFatal("zip_file_add %s: %s", entry.name.constData(), zip_strerror(archive));
        if (!folder)
            zip_set_file_compression(archive, zip_uint64_t(index), entry.method, 0);
        if (entry.unixMode)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, *entry.unixMode << 16);
        if (entry.mtime)
            zip_file_set_mtime(archive, zip_uint64_t(index), entry.mtime, 0);
    }
    QFile file(path);
    if (zip_close(archive) != 0 || !file.open(QIODevice::ReadOnly))
        qFatal("cannot build the archive");
    QByteArray zip = file.readAll();
    if (patch) {
        ZipPatch patcher{zip};
        patch(patcher);
    }
    return zip;
}
