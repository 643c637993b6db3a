#pragma once

#include "tempfolder.h"

#include <QFile>

#include <sys/mount.h>
#include <unistd.h>

// A folder on a file system of its own, a tmpfs of `bytes`, that a test can
// fill to the last byte: a real full disk. Mounting needs root (as CI runs);
// elsewhere mounted() is false and the test skips.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes);
        m_mounted = geteuid() == 0 &&
                    ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    const TempFolder &folder() const { return m_dir; }
    QString file(const QString &name) const { return m_dir.file(name); }

    // Takes every free byte, in a file named "filler".
    void fill() const
    {
        QFile filler(file(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            qFatal("cannot open the filler");
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
    }

private:
    TempFolder m_dir;
    bool m_mounted = false;
};
