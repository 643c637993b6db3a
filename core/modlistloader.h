#pragma once

#include "modtree.h"

#include <QString>

#include <functional>

// Largest mod list file the loader reads; a bigger file counts as unreadable.
inline constexpr qint64 kMaxModListBytes = qint64(1) << 30;

// The line that ends a mod list's folders; the links follow it.
inline const QByteArray kLinkSectionStart = QByteArrayLiteral("---");

struct ModListLoad
{
    enum class Source {
        Requested,  // the file that was asked for
        MasterList, // the requested file was missing or bad, the master list stood in
        Nothing,    // the master list itself is missing or bad: the tree stays empty
    };
    Source source = Source::Nothing;
    QString path;         // the file the tree was built from, if any
    int linesSkipped = 0; // link lines that added no node
};

// Builds the mod tree from a mod list file. A missing file is replaced by the
// master list "defmodlist.dat" in programFolder silently; an unreadable file or
// one whose first line is not "[ValidHeader]" calls badListWarning once and then
// loads the master list. When the master list is bad too, the warning is not
// repeated and the tree is left empty.
ModListLoad loadModList(const QString &filename, const QString &programFolder, ModTree &tree,
                        const std::function<void()> &badListWarning);

// Reads a mod list file as loadModList does: a null buffer unless it was read
// and starts with "[ValidHeader]". The buffer keeps room for the links after
// the file's bytes. Exposed for the benchmark.
PageBuffer readModList(const QString &path);

// Parses mod list bytes that already passed the header check into the tree.
// Exposed for the tests and the benchmark. Returns the number of link lines
// that added no node.
int parseModList(QByteArray data, ModTree &tree);
int parseModList(PageBuffer data, ModTree &tree);
