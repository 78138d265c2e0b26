#pragma once

#include <QByteArray>
#include <QIODevice>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFile;

// Files and folders by their native path, as the bytes the system knows
// them by: no name is ever turned into text and back on the way (a name in
// Shift_JIS bytes would not survive that).
namespace NativeFile {

enum class Kind { Missing, File, Folder, Other };

// What the path leads to, following links.
Kind KindOf(const QByteArray &path);
bool Exists(const QByteArray &path);
std::optional<qint64> Length(const QByteArray &path);
// Last modification, in whole seconds since 1970.
std::optional<qint64> ModifiedSeconds(const QByteArray &path);
// The last change of the file's contents or of its state (permissions,
// owner, links), in nanoseconds since 1970.
std::optional<qint64> ChangedNanoseconds(const QByteArray &path);
// The file's URI from the bytes of its absolute path, percent-encoded.
QByteArray UriOf(const QByteArray &path);
// A file this user may read.
bool IsReadable(const QByteArray &path);
// A folder the program may list and enter.
bool IsReadableFolder(const QByteArray &path);

// Opens a file by its bytes: for reading, or for writing (made or emptied).
bool Open(QFile &file, const QByteArray &path, QIODevice::OpenMode mode);

struct Entry
{
    QByteArray name;
    Kind kind;
};
// The entries of a folder in the order the system gives them, without "."
// and ".." (links followed, broken links as Missing); nullopt when the
// folder cannot be read.
std::optional<std::vector<Entry>> List(const QByteArray &folder);

// The process's working folder as its bytes; empty when it cannot be told.
QByteArray CurrentFolder();
// A path made absolute from the working folder, with "." and ".." and
// doubled "/" taken out by its text (links are not followed).
QByteArray Absolute(const QByteArray &path);

QByteArray Join(const QByteArray &folder, const QByteArray &name);

// Called with the path before each call above asks the system about it, on
// the thread that asks: tests make some paths slow, or never answer, as a
// share whose server is out of reach does. None by default.
enum class Asked { Look, List, Open };
using Observer = std::function<void(const QByteArray &path, Asked asked)>;
void SetObserver(std::shared_ptr<const Observer> observer);

} // namespace NativeFile
