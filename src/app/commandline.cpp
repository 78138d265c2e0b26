#include "app/commandline.h"

#include <QDir>
#include <QFileInfo>

namespace {

CommandLine Refuse(const QString &message)
{
    CommandLine line;
    line.action = CommandLine::Action::PrintAndExit;
    line.text = QStringLiteral("kuroeview: %1\n%2").arg(message, CommandLine::Usage());
    line.toStandardError = true;
    line.exitCode = 2;
    return line;
}

CommandLine Print(const QString &text)
{
    CommandLine line;
    line.action = CommandLine::Action::PrintAndExit;
    line.text = text;
    return line;
}

// Qt's own options, which the toolkit takes (with their value where they have one).
int QtOptionLength(const QString &argument)
{
    static const QStringList withValue = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                          "-style", "-stylesheet", "-display", "-geometry", "-qwindowgeometry",
                                          "-qwindowtitle", "-qwindowicon", "-session", "-qmljsdebugger"};
    static const QStringList alone = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    if (withValue.contains(argument))
        return 2;
    if (alone.contains(argument) || argument.startsWith(QLatin1String("-qmljsdebugger=")) ||
        argument.startsWith(QLatin1String("-style=")))
        return 1;
    return 0;
}

} // namespace

QString CommandLine::Usage()
{
    return QStringLiteral("Usage: kuroeview [FOLDER | FILE]\n"
                          "Shows the pictures of FOLDER (or of the folder KuRoE Zuziz is started in) as thumbnails;\n"
                          "with a FILE, starts in its folder with that picture selected.\n"
                          "  --help     show this text\n"
                          "  --version  show the version\n");
}

CommandLine CommandLine::Parse(const QStringList &arguments)
{
    QStringList paths;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (const int length = optionsEnded ? 0 : QtOptionLength(argument)) {
            i += length - 1;
            continue;
        }
        if (!optionsEnded && argument == QLatin1String("--"))
            optionsEnded = true;
        else if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h")))
            return Print(Usage());
        else if (!optionsEnded && argument == QLatin1String("--version"))
            return Print(QStringLiteral("kuroeview %1.%2.%3\n")
                             .arg(KUROEVIEW_VERSION_MAJOR)
                             .arg(KUROEVIEW_VERSION_MINOR)
                             .arg(KUROEVIEW_VERSION_REVISION));
        else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return Refuse(QStringLiteral("unknown option %1").arg(argument));
        else
            paths.append(argument);
    }
    if (paths.size() > 1)
        return Refuse(QStringLiteral("one folder or file at most"));
    CommandLine line;
    if (paths.isEmpty())
        return line;
    const QFileInfo given(paths.first());
    if (!given.exists())
        return Refuse(QStringLiteral("%1: no such folder or file").arg(paths.first()));
    const QFileInfo folder = given.isDir() ? given : QFileInfo(given.absolutePath());
    if (!folder.isReadable() || !folder.isExecutable())
        return Refuse(QStringLiteral("%1: the folder cannot be read").arg(folder.filePath()));
    if (!given.isDir() && !given.isFile())
        return Refuse(QStringLiteral("%1: neither a folder nor a file").arg(paths.first()));
    line.startFolder = folder.absoluteFilePath();
    if (given.isFile())
        line.selectedFile = given.fileName();
    return line;
}
