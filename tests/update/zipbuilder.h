#pragma once

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>
#include <QFile>

#include <zip.h>

#include <sys/stat.h>

#include <cstring>
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
    std::optional<quint32> unixMode;  // st_mode, as an archiver on Unix stores it
    time_t mtime = 0;                 // 0: libzip's default (now)
    const char *aesPassword = nullptr;

    static ZipEntry file(QByteArray name, QByteArray data)
    {
        ZipEntry entry;
        entry.name = std::move(name);
        entry.data = std::move(data);
        return entry;
    }
    static ZipEntry stored(QByteArray name, QByteArray data)
    {
        ZipEntry entry = file(std::move(name), std::move(data));
        entry.method = ZIP_CM_STORE;
        return entry;
    }
    static ZipEntry folder(QByteArray name)
    {
        ZipEntry entry = stored(std::move(name), {});
        entry.unixMode = S_IFDIR | 0755;
        return entry;
    }
    static ZipEntry symlink(QByteArray name, QByteArray target)
    {
        ZipEntry entry = stored(std::move(name), std::move(target));
        entry.unixMode = S_IFLNK | 0777;
        return entry;
    }
};

inline QByteArray buildZip(const QList<ZipEntry> &entries)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("build.zip")));
    int error = 0;
    zip_t *archive = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        qFatal("zip_open: %d", error);
    for (const ZipEntry &entry : entries) {
        zip_source_t *source = zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        const bool folder = entry.unixMode && S_ISDIR(*entry.unixMode) && entry.name.endsWith('/');
        const zip_int64_t index = folder ? zip_dir_add(archive, entry.name.left(entry.name.size() - 1).constData(), 0)
                                         : zip_file_add(archive, entry.name.constData(), source, ZIP_FL_ENC_RAW);
        if (folder)
            zip_source_free(source);
        if (index < 0)
            qFatal("zip_file_add %s: %s", entry.name.constData(), zip_strerror(archive));
        if (!folder)
            zip_set_file_compression(archive, zip_uint64_t(index), entry.method, 0);
        if (entry.unixMode)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, *entry.unixMode << 16);
        if (entry.mtime)
            zip_file_set_mtime(archive, zip_uint64_t(index), entry.mtime, 0);
        if (entry.aesPassword)
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, entry.aesPassword);
    }
    if (zip_close(archive) != 0)
        qFatal("zip_close: %s", zip_strerror(archive));
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the built archive");
    return file.readAll();
}

// Field access to a built archive without zip64 records or an archive comment.
class ZipPatch
{
public:
    explicit ZipPatch(QByteArray &zip) : m_zip(zip) {}

    quint32 get32(qsizetype at) const
    {
        quint32 v;
        std::memcpy(&v, m_zip.constData() + at, 4);
        return v;
    }
    quint16 get16(qsizetype at) const
    {
        quint16 v;
        std::memcpy(&v, m_zip.constData() + at, 2);
        return v;
    }
    void set32(qsizetype at, quint32 v) { std::memcpy(m_zip.data() + at, &v, 4); }
    void set16(qsizetype at, quint16 v) { std::memcpy(m_zip.data() + at, &v, 2); }

    // Offset of the central directory record of entry `index`.
    qsizetype central(int index) const
    {
        const qsizetype eocd = m_zip.size() - 22;
        qsizetype at = qsizetype(get32(eocd + 16));
        for (int i = 0; i < index; ++i)
            at += 46 + get16(at + 28) + get16(at + 30) + get16(at + 32);
        return at;
    }
    qsizetype local(int index) const { return qsizetype(get32(central(index) + 42)); }
    qsizetype data(int index) const
    {
        const qsizetype at = local(index);
        return at + 30 + get16(at + 26) + get16(at + 28);
    }

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
