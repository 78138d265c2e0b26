// The metafile reader's fuzz entry: parse, then draw whole and in part.
// Built into the libFuzzer target and into the replay test.
#include "metafile/metafile.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (const auto metafile = Metafile::Parse(bytes)) {
        metafile->Render(QSize(48, 48));
        metafile->Render(QSize(400, 300), QRect(100, 80, 64, 64));
    }
    return 0;
}
