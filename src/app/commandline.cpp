#include "app/commandline.h"

#include "files/nativefile.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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
int QtOptionLength(const QByteArray &argument)
{
    static const QList<QByteArray> withValue = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                                "-style", "-stylesheet", "-display", "-geometry", "-qwindowgeometry",
                                                "-qwindowtitle", "-qwindowicon", "-session", "-qmljsdebugger"};
    static const QList<QByteArray> alone = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    if (withValue.contains(argument))
        return 2;
    if (alone.contains(argument) || argument.startsWith("-qmljsdebugger=") || argument.startsWith("-style="))
        return 1;
    return 0;
}

// What the work gives, or nullopt when it has not ended within the time:
// it then goes on alone (a share whose server is out of reach) and its
// answer is dropped.
template <typename T, typename Work>
std::optional<T> Within(int milliseconds, Work work)
{
    struct Answer
    {
        std::mutex lock;
        std::condition_variable given;
        std::optional<T> value;
    };
    const auto answer = std::make_shared<Answer>();
    std::thread([answer, work = std::move(work)] {
        T value = work();
        const std::lock_guard<std::mutex> guard(answer->lock);
        answer->value = std::move(value);
        answer->given.notify_all();
    }).detach();
    std::unique_lock<std::mutex> guard(answer->lock);
    answer->given.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return answer->value.has_value(); });
    return answer->value;
}

// A path for a message (its bytes need not be text).
QString Shown(const QByteArray &path) { return QString::fromLocal8Bit(path); }

} // namespace

QString CommandLine::Usage()
{
    return QStringLiteral("Usage: kuroeview [FOLDER | FILE]\n"
                          "Shows the pictures of FOLDER (or of the folder KuRoE Zuziz is started in) as thumbnails;\n"
                          "with a FILE, starts in its folder with that picture selected.\n"
                          "  --help     show this text\n"
                          "  --version  show the version\n");
}

CommandLine CommandLine::Parse(const QList<QByteArray> &arguments, int answerMilliseconds)
{
    QList<QByteArray> paths;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments[i];
        if (const int length = optionsEnded ? 0 : QtOptionLength(argument)) {
            i += length - 1;
            continue;
        }
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (!optionsEnded && (argument == "--help" || argument == "-h"))
            return Print(Usage());
        else if (!optionsEnded && argument == "--version")
            return Print(QStringLiteral("kuroeview %1.%2.%3\n")
                             .arg(KUROEVIEW_VERSION_MAJOR)
                             .arg(KUROEVIEW_VERSION_MINOR)
                             .arg(KUROEVIEW_VERSION_REVISION));
        else if (!optionsEnded && argument.startsWith('-') && argument.size() > 1)
            return Refuse(QStringLiteral("unknown option %1").arg(Shown(argument)));
        else
            paths.append(argument);
    }
    if (paths.size() > 1)
        return Refuse(QStringLiteral("one folder or file at most"));
    CommandLine line;
    if (paths.isEmpty())
        return line;
    const QByteArray given = NativeFile::Absolute(paths.first());
    const qsizetype cut = given.lastIndexOf('/');
    struct Found
    {
        NativeFile::Kind kind;
        bool readable;
    };
    const std::optional<Found> found = Within<Found>(answerMilliseconds, [given, cut] {
        const NativeFile::Kind kind = NativeFile::KindOf(given);
        const QByteArray folder = kind == NativeFile::Kind::Folder ? given : given.left(std::max<qsizetype>(cut, 1));
        return Found{kind, NativeFile::IsReadableFolder(folder)};
    });
    if (!found)
        return Refuse(QStringLiteral("%1: the folder does not answer").arg(Shown(paths.first())));
    const NativeFile::Kind kind = found->kind;
    if (kind == NativeFile::Kind::Missing)
        return Refuse(QStringLiteral("%1: no such folder or file").arg(Shown(paths.first())));
    const QByteArray folder = kind == NativeFile::Kind::Folder ? given : given.left(std::max<qsizetype>(cut, 1));
    if (!found->readable)
        return Refuse(QStringLiteral("%1: the folder cannot be read").arg(Shown(folder)));
    if (kind == NativeFile::Kind::Other)
        return Refuse(QStringLiteral("%1: neither a folder nor a file").arg(Shown(paths.first())));
    line.startFolder = folder;
    if (kind == NativeFile::Kind::File)
        line.selectedFile = given.mid(cut + 1);
    return line;
}
