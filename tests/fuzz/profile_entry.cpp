// The settings file's fuzz entry: the input is a settings file; every key
// the program uses is read, one is written, and must read back as written.
#include "platform/profilestore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {
QTemporaryDir *folder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static QTemporaryDir dir;
    folder = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = folder->filePath(QStringLiteral("VoDaRadezu.INI"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    const ProfileStore store(path);
    const char *sections[] = {"FAV", "FAV2", "PATT", "SET", "CHKBOX"};
    const char *keys[] = {"FAV0", "CNT", "TYPE", "HD_DRV", "TYPE5"};
    for (const char *section : sections)
        for (const char *key : keys)
            store.read(QLatin1String(section), QLatin1String(key), QStringLiteral("default"));
    const unsigned pick = size > 0 ? data[0] : 0;
    const QString section = QLatin1String(sections[pick % 5]);
    const QString key = QLatin1String(keys[(pick / 5) % 5]);
    const QString value = QStringLiteral("C:\\fuzz\\値");
    if (store.write(section, key, value) && store.read(section, key, QString()) != value)
        __builtin_trap();
    QFile::remove(path);
    return 0;
}
