#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QtEndian>

#include <zip.h>

#include <sys/stat.h>

#include <ctime>
#include <optional>

// Archives for the tests, made by libzip itself so that names and attributes
// can be anything, and patched afterwards for what libzip will not write
// (sizes that lie, a broken CRC, an encryption flag).
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

inline QByteArray buildZip(const QList<ZipEntry> &entries)
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
    if (zip_close(archive) != 0)
        qFatal("zip_close: %s", zip_strerror(archive));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the built archive");
    return file.readAll();
}

// Field access to a built archive without zip64 records or an archive comment.
class ZipPatch
{
public:
    explicit ZipPatch(QByteArray &zip) : m_zip(zip) {}

    quint32 get32(qsizetype at) const { return qFromLittleEndian<quint32>(m_zip.constData() + at); }
    quint16 get16(qsizetype at) const { return qFromLittleEndian<quint16>(m_zip.constData() + at); }
    void set32(qsizetype at, quint32 v) { qToLittleEndian(v, m_zip.data() + at); }
    void set16(qsizetype at, quint16 v) { qToLittleEndian(v, m_zip.data() + at); }

    // Offset of the central directory record of entry `index`.
    qsizetype central(int index) const
    {
        qsizetype at = qsizetype(get32(m_zip.size() - 22 + 16));
        for (int i = 0; i < index; ++i)
            at += 46 + get16(at + 28) + get16(at + 30) + get16(at + 32);
        return at;
    }
    qsizetype local(int index) const { return qsizetype(get32(central(index) + 42)); }
    qsizetype data(int index) const { return local(index) + 30 + get16(local(index) + 26) + get16(local(index) + 28); }

    // The same field in both headers: offsets are the local header's.
    void setBoth32(int index, int localOffset, quint32 v)
    {
        set32(local(index) + localOffset, v);
        set32(central(index) + localOffset + 2, v);
    }
    void setBoth16(int index, int localOffset, quint16 v)
    {
        set16(local(index) + localOffset, v);
        set16(central(index) + localOffset + 2, v);
    }
    void addFlags(int index, quint16 flags) { setBoth16(index, 6, get16(local(index) + 6) | flags); }
    void setMethod(int index, quint16 method) { setBoth16(index, 8, method); }
    void setCrc(int index, quint32 crc) { setBoth32(index, 14, crc); }
    void setCompressedSize(int index, quint32 size) { setBoth32(index, 18, size); }
    void setSize(int index, quint32 size) { setBoth32(index, 22, size); }
    quint32 compressedSize(int index) const { return get32(local(index) + 18); }

private:
    QByteArray &m_zip;
};
