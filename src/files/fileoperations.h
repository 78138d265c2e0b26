#pragma once

#include <QByteArray>
#include <QString>

// What the program does to files besides the trash, by the bytes of their
// names: none of it ever writes over a file that is there.
namespace FileOperations {

// Why a name typed for a file cannot be one (empty when it can): empty,
// "." or "..", with "/" or NUL, longer than a folder entry may be.
QString NameProblem(const QString &name);

// What a failed call's error number says to the user; a name taken says so in the program's words.
QString SystemError(int code);

struct Outcome
{
    bool done = false;
    QString error;
};

// Gives the file at nativePath the name newName in its folder, never over
// a file of that name (also on file systems without an atomic way to ask it).
Outcome Rename(const QByteArray &nativePath, const QByteArray &newName);

} // namespace FileOperations
