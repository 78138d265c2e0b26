#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// How a file or folder name on disk (bytes) shows in the program, which
// speaks Windows-form paths with "\" between names:
//   - valid UTF-8 shows as it is;
//   - otherwise, bytes that are valid CP932 (Shift_JIS as Japanese Windows
//     writes it, and giving back exactly the same bytes) show as that text;
//   - otherwise each byte that does not decode shows as "%XX" (its hex value)
//     and the rest as UTF-8;
//   - in every case a "\" shows as "＼" and a control character as its
//     picture (␀ to ␟, ␡), so that a name never splits a path or hides.
// Every operation goes back to the exact bytes: FileSystem keeps, for each
// folder listed, which shown name stands for which bytes. Names of one
// folder that would show alike are told apart (UniqueShownNames).
namespace NativeNames {

QString Shown(const QByteArray &name);

// The name shows exactly as its bytes read in UTF-8 (no other name could
// show the same unless it holds the same bytes).
bool ShowsAsItIs(const QByteArray &name);

// The bytes a shown name stands for when no folder listing says otherwise:
// its UTF-8, with "＼" and the control pictures turned back.
QByteArray Bytes(const QString &shown);

struct Listed
{
    QString shown;
    QByteArray native;
    // The name shows as it is (shown is native's UTF-8).
    bool asItIs = false;
};

// The names of one folder as they show, each shown name unique: of names
// that would show alike, one that shows as it is keeps its text, and the
// others (in byte order) get " (2)", " (3)" ... before their extension.
std::vector<Listed> UniqueShownNames(std::vector<QByteArray> names);

} // namespace NativeNames
