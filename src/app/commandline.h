#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The program's command line: "kuroeview [FOLDER | FILE]", "--version",
// "--help". A folder is the start folder, as starting in it as the working
// directory is; a file starts in its folder with that picture selected.
// Bad arguments give a message for standard error and exit code 2, before
// any window opens.
struct CommandLine
{
    enum class Action { Start, PrintAndExit };

    Action action = Action::Start;
    // Native folder to start in (absolute, as its bytes); empty: the
    // working directory.
    QByteArray startFolder;
    // Name (bytes) of the picture to select in it; empty: none.
    QByteArray selectedFile;
    // For PrintAndExit: the text and where it goes.
    QString text;
    bool toStandardError = false;
    int exitCode = 0;

    // arguments without the program name, as the bytes the system gave.
    // A path on a share that does not answer within answerMilliseconds is
    // refused as such, rather than keeping the program from starting.
    static CommandLine Parse(const QList<QByteArray> &arguments, int answerMilliseconds = 5000);
    static QString Usage();
};
