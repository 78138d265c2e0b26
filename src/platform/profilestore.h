#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// An INI file read and written one key at a time, the way the Windows
// profile-string functions do it: sections and keys match without regard to
// case, the first of duplicated sections or keys wins, every other line and
// comment stays as it was, and a missing file reads as if every key were
// missing.
//
// A write re-reads the file under an advisory lock, writes a sibling file and
// renames it over the original, so two running copies never lose each other's
// keys and a crash never leaves half a file. A file that cannot be written
// (read-only, its folder gone, disk full) is left untouched.
class ProfileStore
{
public:
    explicit ProfileStore(QString filePath = QString());

    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &filePath) { m_filePath = filePath; }

    // GetPrivateProfileStringA into a buffer of bufferSize bytes: the value,
    // or the default with its trailing blanks removed, cut to bufferSize - 1
    // bytes without splitting a UTF-8 sequence.
    QString read(const QString &section, const QString &key, const QString &defaultValue,
                 int bufferSize = 256) const;

    // WritePrivateProfileStringA; false when nothing was written.
    bool write(const QString &section, const QString &key, const QString &value) const;

    // The file as read under the lock, changed key by key in memory.
    class Transaction
    {
    public:
        QString read(const QString &section, const QString &key, const QString &defaultValue,
                     int bufferSize = 256) const;
        void write(const QString &section, const QString &key, const QString &value);

    private:
        friend class ProfileStore;
        QByteArray m_data;
        bool m_changed = false;
    };

    // Reads the file under the lock, lets edit read and change it, and
    // replaces the file with the result in one step when edit returns true;
    // no other copy of the program writes in between. False when nothing
    // was written.
    bool update(const std::function<bool(Transaction &)> &edit) const;

    // Longest prefix of text of at most maxBytes UTF-8 bytes that ends on a
    // character boundary.
    static QByteArray cutUtf8(const QByteArray &text, int maxBytes);

private:
    QString m_filePath;
};
