#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Replaces a file so that no failure can empty it or leave half of it: the new
// bytes go to a file beside it that has no name yet (or a hidden one where the
// file system cannot do that), every write is checked, the file is flushed to
// the disk and checked again, and only then is it renamed over the old one; the
// folder is flushed after the rename. A full disk, a read-only folder or a cut
// write leaves the old file byte for byte, and the error says why. (QSaveFile
// cannot be trusted with this on Qt 6.4: its commit() reports success when the
// flush of its last buffered bytes fails, and renames the short file into place.)
//
//     CheckedFileWriter file(path);
//     if (!file.open() || !file.write(bytes) || !file.commit())
//         report(file.errorString());
//
// A symbolic link at the path is followed: the file it names is replaced, as
// the program's files have always been. Anything else that is no regular file
// (a folder, a pipe, a device) is refused without being opened, so a pipe in a
// file's place cannot block the program. A new file gets the usual permissions;
// a replaced one keeps its own.
class CheckedFileWriter final
{
public:
    explicit CheckedFileWriter(QString path);
    // A file inside an open folder, named by `name`. No link is followed here:
    // a link of that name is replaced, never written through.
    CheckedFileWriter(int folderFd, QByteArray name);
    ~CheckedFileWriter();
    CheckedFileWriter(const CheckedFileWriter &) = delete;
    CheckedFileWriter &operator=(const CheckedFileWriter &) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Flushes, syncs and renames. False leaves the old file as it was.
    bool commit();
    // Drops what was written; the old file stays. Done by the destructor too.
    void cancel();

    bool isOpen() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }

private:
    bool fail(int error, const QString &what);
    void closeAll();

    QString m_path;      // as given, for messages
    int m_folderFd = -1; // the folder the file is in
    bool m_ownsFolderFd = false;
    QByteArray m_name;     // the file's name in that folder
    QByteArray m_tempName; // a named temporary file; empty while the file has no name
    int m_fd = -1;
    QString m_error;
};

// Replaces the file at `path` with `bytes` through a CheckedFileWriter. On
// failure `error`, when given, says why in words fit to show.
bool replaceFileContents(const QString &path, QByteArrayView bytes, QString *error);
bool replaceFileContentsAt(int folderFd, const QByteArray &name, QByteArrayView bytes, QString *error);

// Copies the file at `from` to `to` through a CheckedFileWriter, in blocks, so
// that a file of any size is copied whole or not at all.
bool copyFileContents(const QString &from, const QString &to, QString *error);

// True when `path` names something other than a regular file or a link to one
// (a pipe, a socket, a device, a folder): such a thing must not be opened as a
// data file, where an open could block. False also when nothing is there.
bool isSpecialFile(const QString &path);

// What the system says of an errno value, for a person; a full disk is named
// plainly.
QString errnoText(int error);
