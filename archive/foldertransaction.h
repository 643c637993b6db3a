#pragma once

#include <QString>

#include <functional>

// Replaces files of a folder as one transaction: either every staged file is
// in place afterwards, or the folder keeps its old files, byte for byte. Also
// when the process is killed at any instant: the next recover() finishes or
// removes what it left.
//
//     FolderTransaction transaction(folder);
//     transaction.begin(&error);
//     ... write the new files below transaction.stagingPath() ...
//     const FolderTransaction::Result result = transaction.commit();
//
// Everything lives in a work folder inside the folder (kWorkFolderName), which
// no archive may name: the staged files mirror the paths they go to, and the
// files they replace wait under the same paths in a backup tree. A commit first
// lists its moves in a journal, written whole or not at all once every staged
// file is complete; then it moves them. A staged folder that the folder lacks
// moves whole. Should a move fail, the moves made so far are undone. recover()
// finishes a commit whose journal exists (every staged file was complete by
// then), or undoes it when a move cannot be made, and removes a work folder
// without a journal: its run never reached the commit.
//
// Only one process may use a folder's transactions at a time (the program's
// single-instance lock sees to that).
class FolderTransaction final
{
public:
    static const QString kWorkFolderName;

    struct Result
    {
        enum class Status {
            Ok,
            Conflict,    // a link or a file where a staged folder goes, or a folder where a staged file goes
            WriteFailed, // the disk said no; the folder is as it was
            Unfinished,  // the disk said no, and undoing the moves failed too: the
                         // journal stays, and the next recover() finishes the commit
        };
        Status status = Status::Ok;
        QString message;
        int moved = 0; // files and folders moved into place

        bool ok() const { return status == Status::Ok; }
    };

    enum class Recovery {
        Nothing,   // no work folder
        Discarded, // a work folder without a journal was removed
        Finished,  // a commit that was cut off is complete now
        Undone,    // a commit that was cut off could not be finished and was undone
        Failed,    // it could be neither: the work folder stays for the next try
    };

    explicit FolderTransaction(QString folder);
    ~FolderTransaction();
    FolderTransaction(const FolderTransaction &) = delete;
    FolderTransaction &operator=(const FolderTransaction &) = delete;

    // Deals with what an earlier run left in `folder`; message says what was done.
    static Recovery recover(const QString &folder, QString *message = nullptr);

    // Recovers, then makes an empty staging folder. False when the work folder
    // cannot be made, or an earlier commit could not be recovered.
    bool begin(QString *error);
    bool isOpen() const { return m_open; }
    QString stagingPath() const;

    // Moves the staged files and folders into place; `progress` hears of each
    // move. The work folder is gone afterwards, unless undoing a failed commit
    // failed too: then recover() takes it up.
    Result commit(const std::function<void(int done, int total)> &progress = {});

    // Removes the work folder of a transaction that is not to be committed.
    void discard();

private:
    QString m_folder;
    bool m_open = false;
};
