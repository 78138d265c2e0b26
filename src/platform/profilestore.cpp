#include "platform/profilestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes a folder and the missing ones above it with mode 0700; true when it
// exists afterwards.
bool MakePrivateFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder && !MakePrivateFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || QFileInfo(folder).isDir();
}

// A settings file larger than this is not one of ours; it is read up to here.
constexpr qint64 MaximumFileBytes = 16 * 1024 * 1024;

struct Line
{
    QByteArray text;   // without its line ending
    QByteArray ending; // "\n", "\r\n" or empty for a last line without one
};

QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        Line line;
        if (end < 0) {
            line.text = data.mid(start);
            start = data.size();
        } else {
            line.text = data.mid(start, end - start);
            line.ending = "\n";
            start = end + 1;
        }
        if (line.text.endsWith('\r')) {
            line.text.chop(1);
            line.ending.prepend('\r');
        }
        lines.append(line);
    }
    return lines;
}

bool sameName(const QByteArray &a, const QString &b)
{
    return QString::fromUtf8(a.trimmed()).compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Section name of a header line, or nothing when the line is not a header.
std::optional<QByteArray> sectionName(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(']');
    return close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1);
}

struct Found
{
    qsizetype sectionLine = -1;     // header line of the first matching section
    qsizetype keyLine = -1;         // first matching key line inside it
    qsizetype lastContentLine = -1; // last non-blank line of that section
};

Found locate(const QList<Line> &lines, const QString &section, const QString &key)
{
    Found found;
    bool inside = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &text = lines[i].text;
        if (const auto name = sectionName(text)) {
            if (inside)
                break; // the first matching section ends here
            if (sameName(*name, section)) {
                inside = true;
                found.sectionLine = i;
                found.lastContentLine = i;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!text.trimmed().isEmpty())
            found.lastContentLine = i;
        const qsizetype equals = text.indexOf('=');
        if (found.keyLine < 0 && equals >= 0 && sameName(text.left(equals), key))
            found.keyLine = i;
    }
    return found;
}

QByteArray readAllBounded(const QString &path, bool *exists)
{
    QFile file(path);
    *exists = file.exists();
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // Read what is there, not a buffer of the largest size.
    return file.read(std::min(file.size(), MaximumFileBytes));
}

// Holds an advisory lock on a sibling lock file while it lives.
class FileLock
{
public:
    explicit FileLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
        }
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd = -1;
};

QByteArray singleLine(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n' || bytes[i] == '\0') {
            bytes.truncate(i);
            break;
        }
    }
    return bytes;
}

} // namespace

ProfileStore::ProfileStore(QString filePath) : m_filePath(std::move(filePath)) {}

QByteArray ProfileStore::cutUtf8(const QByteArray &text, int maxBytes)
{
    if (maxBytes <= 0)
        return QByteArray();
    if (text.size() <= maxBytes)
        return text;
    qsizetype end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.left(end);
}

namespace {

QString readFrom(const QByteArray &data, const QString &section, const QString &key, const QString &defaultValue,
                 int bufferSize)
{
    QByteArray value;
    bool found = false;
    if (!data.isEmpty()) {
        const QList<Line> lines = splitLines(data);
        const Found where = locate(lines, section, key);
        if (where.keyLine >= 0) {
            const QByteArray &text = lines[where.keyLine].text;
            value = text.mid(text.indexOf('=') + 1).trimmed();
            found = true;
        }
    }
    if (!found) {
        value = defaultValue.toUtf8();
        while (!value.isEmpty() && (value.endsWith(' ') || value.endsWith('\t')))
            value.chop(1);
    }
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value.truncate(nul);
    return QString::fromUtf8(ProfileStore::cutUtf8(value, bufferSize - 1));
}

void writeInto(QByteArray &data, const QString &section, const QString &key, const QString &value)
{
    QList<Line> lines = splitLines(data);
    QByteArray ending = "\r\n";
    if (!lines.isEmpty() && lines.first().ending == "\n")
        ending = "\n";
    const QByteArray entry = singleLine(key) + '=' + singleLine(value);
    const Found where = locate(lines, section, key);
    if (where.keyLine >= 0) {
        lines[where.keyLine].text = entry;
    } else if (where.sectionLine >= 0) {
        lines.insert(where.lastContentLine + 1, Line{entry, ending});
        if (!lines[where.lastContentLine].ending.endsWith('\n'))
            lines[where.lastContentLine].ending = ending;
    } else {
        // A last line without a line feed (a bare carriage return is none
        // either) gets one, so that the new section starts a line of its own.
        if (!lines.isEmpty() && !lines.last().ending.endsWith('\n'))
            lines.last().ending = ending;
        lines.append(Line{'[' + singleLine(section) + ']', ending});
        lines.append(Line{entry, ending});
    }
    data.clear();
    for (const Line &line : lines)
        data += line.text + line.ending;
}

} // namespace

QString ProfileStore::read(const QString &section, const QString &key, const QString &defaultValue,
                           int bufferSize) const
{
    bool exists = false;
    return readFrom(readAllBounded(m_filePath, &exists), section, key, defaultValue, bufferSize);
}

QString ProfileStore::Transaction::read(const QString &section, const QString &key, const QString &defaultValue,
                                        int bufferSize) const
{
    return readFrom(m_data, section, key, defaultValue, bufferSize);
}

void ProfileStore::Transaction::write(const QString &section, const QString &key, const QString &value)
{
    writeInto(m_data, section, key, value);
    m_changed = true;
}

bool ProfileStore::write(const QString &section, const QString &key, const QString &value) const
{
    return update([&](Transaction &transaction) {
        transaction.write(section, key, value);
        return true;
    });
}

bool ProfileStore::update(const std::function<bool(Transaction &)> &edit) const
{
    if (m_filePath.isEmpty())
        return false;
    // The first write on a fresh account makes the settings folder, private
    // to the user as configuration folders are.
    if (!MakePrivateFolder(QFileInfo(m_filePath).absolutePath()))
        return false;
    FileLock lock(m_filePath + QStringLiteral(".lock"));
    bool exists = false;
    Transaction transaction;
    transaction.m_data = readAllBounded(m_filePath, &exists);
    // A file without write permission is read-only, also for a user whom the
    // system would let write it anyway.
    const QFileInfo current(m_filePath);
    constexpr auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const bool writable = !exists || (current.isFile() && current.isWritable() && (current.permissions() & writeBits));
    const qint64 size = current.size();
    // A file that could not be read whole is left alone.
    const bool readWhole = !exists || (size <= MaximumFileBytes && !(transaction.m_data.isEmpty() && size > 0));
    if (!edit(transaction) || !transaction.m_changed || !writable || !readWhole)
        return false;

    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (exists)
        file.setPermissions(QFileInfo(m_filePath).permissions());
    // A full disk may take the write and refuse the flush: only a sibling
    // that holds every byte replaces the file.
    if (file.write(transaction.m_data) != transaction.m_data.size() || !file.flush() ||
        file.size() != transaction.m_data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
