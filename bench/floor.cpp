// The decode floor of a folder of pictures, for thumbnails of 40 pixels, or
// of P pixels: kuroeview-floor FOLDER [THREADS] [--small] [--pixels P]. For
// each JPEG, the least libjpeg-turbo work that gives such a thumbnail of the
// picture itself (never the EXIF copy, which an edit may have left behind):
// of a progressive file, only its DC scans at 1/8 scale (buffered-image mode),
// else the whole file at the smallest of 1/8, 1/4, 1/2 and 1/1 that still
// covers the thumbnail. Every other picture through the
// program's own readers at the size wanted (a HEIC's thumbnail, a WebP decode
// at its size), with no window; of a camera RAW, the preview LibRaw finds,
// a JPEG decoded as above. Nothing is drawn or kept. With --small (the
// floor of a folder of small files), every file is made into its thumbnail
// as the load's workers make it (the same readers, drawn into the cell, no
// shared cache), with no window. Prints the wall time over THREADS threads
// (default: one per core).
#include "catalogue/thumbnailprefetch.h"
#include "pictures/pictureloader.h"
#include "core/picturetypes.h"

#include <QDir>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <libraw/libraw.h>

namespace {

struct Errors
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void Leave(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Errors *>(cinfo->err)->jump, 1); }
void Quiet(j_common_ptr) {}

// Decodes from a file, or from memory when file is null, at 1/8; of a
// progressive file only the scans that carry the DC of every component.
bool DecodeSmall(FILE *file, const unsigned char *bytes, unsigned long length, int pixels)
{
    jpeg_decompress_struct cinfo{};
    Errors errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = Leave;
    errors.base.output_message = Quiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (file)
        jpeg_stdio_src(&cinfo, file);
    else
        jpeg_mem_src(&cinfo, bytes, length);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    const JDIMENSION longer = std::max(cinfo.image_width, cinfo.image_height);
    while (cinfo.scale_denom > 1 && longer / cinfo.scale_denom < JDIMENSION(pixels))
        cinfo.scale_denom /= 2;
    cinfo.buffered_image = cinfo.progressive_mode && cinfo.scale_denom == 8;
    jpeg_start_decompress(&cinfo);
    if (cinfo.buffered_image) {
        bool dc[MAX_COMPONENTS] = {};
        int complete = 0;
        const auto mark = [&] {
            if (cinfo.Ss == 0)
                for (int i = 0; i < cinfo.comps_in_scan; ++i)
                    dc[cinfo.cur_comp_info[i]->component_index] = true;
        };
        const auto all = [&] {
            for (int i = 0; i < cinfo.num_components; ++i)
                if (!dc[i])
                    return false;
            return true;
        };
        mark();
        for (;;) {
            const int status = jpeg_consume_input(&cinfo);
            if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED) {
                complete = cinfo.input_scan_number;
                break;
            }
            if (status == JPEG_REACHED_SOS) {
                if (all()) {
                    complete = cinfo.input_scan_number - 1;
                    break;
                }
                mark();
            }
        }
        jpeg_start_output(&cinfo, complete > 0 ? complete : 1);
    }
    std::vector<unsigned char> row(cinfo.output_width * static_cast<size_t>(cinfo.output_components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW line = row.data();
        jpeg_read_scanlines(&cinfo, &line, 1);
    }
    if (cinfo.buffered_image)
        jpeg_finish_output(&cinfo);
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// A camera RAW's embedded preview as LibRaw finds it, a JPEG decoded as above.
bool RawFloor(const QString &path, int pixels)
{
    const auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS || raw->unpack_thumb() != LIBRAW_SUCCESS)
        return false;
    const libraw_thumbnail_t &thumbnail = raw->imgdata.thumbnail;
    if (thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG)
        return thumbnail.tformat == LIBRAW_THUMBNAIL_BITMAP;
    return DecodeSmall(nullptr, reinterpret_cast<const unsigned char *>(thumbnail.thumb), thumbnail.tlength, pixels);
}

bool Floor(const QString &path, int pixels)
{
    if (PictureTypes::ReaderForName(QFile::encodeName(path)) == PictureTypes::Reader::raw)
        return RawFloor(path, pixels);
    if (!path.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) &&
        !path.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive)) {
        const PictureLoader::SizeWanted wanted = [pixels](double, double) { return QSize(pixels, pixels); };
        return PictureLoader::LoadReduced(QFile::encodeName(path), 15, 15, wanted).has_value();
    }
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return false;
    const bool decoded = DecodeSmall(file, nullptr, 0, pixels);
    std::fclose(file);
    return decoded;
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt's readers (WebP, TIFF) are plugins, and SVG text needs fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kuroeview-floor FOLDER [THREADS] [--small] [--pixels P]\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    int threads = std::max(1, QThread::idealThreadCount());
    bool small = false;
    int pixels = 40;
    for (int i = 2; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--small")
            small = true;
        else if (QByteArray(argv[i]) == "--pixels" && i + 1 < argc)
            pixels = std::max(1, std::atoi(argv[++i]));
        else
            threads = std::max(1, std::atoi(argv[i]));
    }
    // Cells as drawn at 96 dots per inch (15 twips a pixel).
    const ThumbnailDrawing::Scale scale{15, 15, 1.0, pixels == 40 ? ThumbnailDrawing::LargestSide : pixels * 15.0};
    const auto floor = [&](const QString &name) {
        if (!small)
            return Floor(folder.filePath(name), pixels);
        return ThumbnailPrefetch::Make(QFile::encodeName(folder.filePath(name)), name, scale).decoded;
    };
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < names.size(); i = next++)
                if (!floor(names[i]))
                    ++failed;
        });
    for (std::thread &worker : workers)
        worker.join();
    std::printf("floor %.3f s for %lld files on %d threads (%d not decoded)\n", clock.nsecsElapsed() / 1e9,
                static_cast<long long>(names.size()), threads, failed.load());
    return 0;
}
