#pragma once

#include <QString>

class QTextStream;

// For list publishers ("kestrelmoor-modlist --check FILE"): reads a mod list
// file with the program's own loader and tells what it makes of it. `out` gets
// one line per node in order of addition,
//     KEY <tab> TEXT <tab> PARENT-KEY or "-" <tab> URL
// (a folder has no URL), and `err` every line that added no node, with its
// number and the reason. Returns the exit status: 1 when the file cannot be
// read or its first line is not the header, else 0. There is no falling back
// to the master list here: the file is judged on its own.
int checkModList(const QString &path, QTextStream &out, QTextStream &err);
