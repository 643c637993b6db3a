#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "printers.h"

// A scratch program folder that a test fills with files.
class TempFolder
{
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        const QString full = file(name);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write test file %s", qPrintable(full));
    }
    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString &name) const { return QFile::exists(file(name)); }

private:
    QTemporaryDir m_dir;
};

// Joins lines with CR LF after each, as the program's files are written.
inline QByteArray crlfLines(std::initializer_list<const char *> lines)
{
    QByteArray out;
    for (const char *line : lines)
        out += QByteArray(line) + "\r\n";
    return out;
}

// favs.dat with `count` favourites: "Mod 0" at http://m/0, ...
inline QByteArray favouritesFile(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "Mod " + QByteArray::number(i) + "\r\nhttp://m/" + QByteArray::number(i) + "\r\n";
    return out;
}
