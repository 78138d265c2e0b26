#include "pictures/jpegdecoder.h"

#include "pictures/decodebudget.h"
#include "files/nativefile.h"

#include <QDateTime>
#include <QFile>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>
#include <libexif/exif-data.h>

namespace JpegDecoder {

namespace {

constexpr int RowsBetweenCancelChecks = 16;
constexpr QRgb MissingDataGrey = 0xff808080;

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool hitEnd = false;
};

void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level)
{
    // Warnings only count; the end of the data is remembered so that the
    // rows after it are not decoded from nothing.
    auto *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        errors->hitEnd = true;
}

void OutputMessage(j_common_ptr) {}

// Asked by libjpeg between block rows, also while it reads the scans of a
// progressive file before the first output row: a decode that is no longer
// wanted leaves there like one that failed.
struct CancelWatch
{
    jpeg_progress_mgr base;
    const std::atomic<bool> *cancelled = nullptr;
    bool tripped = false;
};

void CheckCancelled(j_common_ptr cinfo)
{
    auto *watch = reinterpret_cast<CancelWatch *>(cinfo->progress);
    if (watch->cancelled && watch->cancelled->load()) {
        watch->tripped = true;
        std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
    }
}

// What a camera wrote in its EXIF block: the orientation and the small copy.
struct Exif
{
    int orientation = 1;
    QByteArray thumbnail;
};

Exif ReadExif(const jpeg_saved_marker_ptr markers)
{
    Exif exif;
    for (jpeg_saved_marker_ptr marker = markers; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 6 ||
            std::memcmp(marker->data, "Exif\0\0", 6) != 0)
            continue;
        ExifData *data = exif_data_new();
        if (!data)
            return exif;
        exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_load_data(data, marker->data, marker->data_length);
        if (ExifEntry *entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
            entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2) {
            const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
            if (value >= 1 && value <= 8)
                exif.orientation = value;
        }
        if (data->data && data->size > 0)
            exif.thumbnail = QByteArray(reinterpret_cast<const char *>(data->data), static_cast<qsizetype>(data->size));
        exif_data_unref(data);
        return exif;
    }
    return exif;
}

bool Turned(int orientation) { return orientation >= 5; }

QImage Upright(const QImage &image, int orientation)
{
    const QTransform quarter = QTransform().rotate(90);
    switch (orientation) {
    case 2: return image.mirrored(true, false);
    case 3: return image.mirrored(true, true);
    case 4: return image.mirrored(false, true);
    case 5: return image.mirrored(false, true).transformed(quarter);
    case 6: return image.transformed(quarter);
    case 7: return image.mirrored(true, false).transformed(quarter);
    case 8: return image.transformed(QTransform().rotate(270));
    default: return image;
    }
}

qint64 ScaledSide(qint64 side, int scale) { return (side * scale + 7) / 8; }

// Memory a decode at scale/8 takes: the output picture (twice while it is
// turned upright), the whole coefficient array of a progressive file, and
// the row buffers of each component.
qint64 EstimateBytes(const jpeg_decompress_struct &cinfo, int scale, int orientation)
{
    const qint64 width = ScaledSide(cinfo.image_width, scale);
    const qint64 height = ScaledSide(cinfo.image_height, scale);
    const qint64 pixelBytes = cinfo.num_components == 1 ? 1 : 4;
    qint64 bytes = width * height * pixelBytes * (orientation == 1 ? 1 : 2);
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &component = cinfo.comp_info[c];
        const qint64 across = (qint64(component.width_in_blocks) + component.h_samp_factor) * 8;
        const qint64 down = (qint64(component.height_in_blocks) + component.v_samp_factor) * 8;
        // Several scans (progressive or not) keep every coefficient.
        if (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components)
            bytes += across * down * 2;
        // Main, upsampling and colour buffers: a few block rows per component.
        bytes += across * 8 * qint64(cinfo.max_v_samp_factor) * 6;
    }
    if (cinfo.out_color_space == JCS_CMYK)
        bytes += qint64(cinfo.image_width) * 4;
    return bytes + 1024 * 1024;
}

// One decode, in a frame of its own that holds nothing with a destructor:
// libjpeg leaves it with longjmp on an error.
struct Job
{
    jpeg_decompress_struct cinfo{};
    ErrorManager errors;
    CancelWatch watch;
    FILE *file = nullptr;
    const QByteArray *bytes = nullptr;
    const Request *request = nullptr;
    std::optional<DecodeBudget::Reservation> reservation;
    Exif exif;
    QByteArray icc;
    QSize natural;
    QImage image;
    std::unique_ptr<JSAMPLE[]> cmykRow;
    int rowsDone = 0;
    bool refused = false;
    bool cancelled = false;
    bool onlyHeader = false;
    bool progressive = false;
    bool ran = false;
    int headerScale = 8;
    qint64 headerBytes = 0;
};

int ChooseScale(const jpeg_decompress_struct &cinfo, QSize wanted)
{
    if (wanted.isEmpty())
        return 8;
    for (int scale = 1; scale < 8; ++scale) {
        if (ScaledSide(cinfo.image_width, scale) >= wanted.width() &&
            ScaledSide(cinfo.image_height, scale) >= wanted.height())
            return scale;
    }
    return 8;
}

void FillMissingRows(QImage &image, int from)
{
    for (int y = from; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        if (image.format() == QImage::Format_Grayscale8)
            std::fill_n(line, image.width(), uchar(0x80));
        else
            std::fill_n(reinterpret_cast<QRgb *>(line), image.width(), MissingDataGrey);
    }
}

void ConvertCmyk(const JSAMPLE *in, QRgb *out, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// In buffered-image mode: reads scans until every component's DC has come
// (or the data ends), and starts the output pass on the scans read whole.
bool ReadDcScans(jpeg_decompress_struct &cinfo)
{
    // Nothing here may need destroying: libjpeg leaves with longjmp on an error.
    bool dc[MAX_COMPONENTS] = {};
    const auto markScan = [&] {
        if (cinfo.Ss != 0)
            return;
        for (int i = 0; i < cinfo.comps_in_scan; ++i)
            if (cinfo.cur_comp_info[i]->component_index < MAX_COMPONENTS)
                dc[cinfo.cur_comp_info[i]->component_index] = true;
    };
    const auto allDc = [&] { return std::all_of(dc, dc + std::min(cinfo.num_components, MAX_COMPONENTS), [](bool seen) { return seen; }); };
    markScan();
    int complete = 0;
    for (;;) {
        const int status = jpeg_consume_input(&cinfo);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED) {
            complete = cinfo.input_scan_number;
            break;
        }
        if (status == JPEG_REACHED_SOS) {
            // The scans before this one are read whole.
            if (allDc()) {
                complete = cinfo.input_scan_number - 1;
                break;
            }
            markScan();
        }
    }
    return jpeg_start_output(&cinfo, std::max(1, complete));
}

bool RunJob(Job &job)
{
    jpeg_decompress_struct &cinfo = job.cinfo;
    cinfo.err = jpeg_std_error(&job.errors.base);
    job.errors.base.error_exit = ErrorExit;
    job.errors.base.emit_message = EmitMessage;
    job.errors.base.output_message = OutputMessage;
    if (setjmp(job.errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (job.watch.tripped) {
            job.cancelled = true;
            return false;
        }
        // Damaged data after some rows: those rows are the picture.
        if (job.rowsDone > 0 && !job.image.isNull()) {
            FillMissingRows(job.image, job.rowsDone);
            return true;
        }
        return false;
    }
    jpeg_create_decompress(&cinfo);
    job.watch.base.progress_monitor = CheckCancelled;
    job.watch.cancelled = job.request->cancelled;
    cinfo.progress = &job.watch.base;
    cinfo.mem->max_memory_to_use = static_cast<long>(DecodeBudget::Bytes);
    if (job.file)
        jpeg_stdio_src(&cinfo, job.file);
    else
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(job.bytes->constData()),
                     static_cast<unsigned long>(job.bytes->size()));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&cinfo, TRUE);
    job.exif = ReadExif(cinfo.marker_list);
    JOCTET *profile = nullptr;
    unsigned int profileLength = 0;
    if (jpeg_read_icc_profile(&cinfo, &profile, &profileLength) && profile) {
        job.icc = QByteArray(reinterpret_cast<const char *>(profile), qsizetype(profileLength));
        std::free(profile);
    }
    const int orientation = job.exif.orientation;
    const QSize stored(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    job.natural = Turned(orientation) ? stored.transposed() : stored;

    job.progressive = cinfo.progressive_mode;
    const bool colour = cinfo.num_components != 1;
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)
        cinfo.out_color_space = JCS_CMYK;
    else
        cinfo.out_color_space = colour ? JCS_EXT_BGRX : JCS_GRAYSCALE;
    if (job.onlyHeader) {
        job.headerBytes = EstimateBytes(cinfo, job.headerScale, orientation);
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    const QSize upright = job.request->atLeast ? job.request->atLeast(job.natural) : QSize();
    const QSize wanted = Turned(orientation) ? upright.transposed() : upright;
    int scale = ChooseScale(cinfo, wanted);
    // The natural size that does not fit is decoded at the largest reduced
    // scale that does, and drawn at the natural size all the same.
    while (wanted.isEmpty() && scale > 1 && EstimateBytes(cinfo, scale, orientation) > DecodeBudget::Bytes)
        --scale;
    if (auto reserved = DecodeBudget::Reserve(EstimateBytes(cinfo, scale, orientation), job.request->cancelled))
        job.reservation.emplace(std::move(*reserved));
    if (!job.reservation) {
        job.refused = true;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = static_cast<unsigned int>(scale);
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_ISLOW;
    // At 1/8 only each block's DC coefficient counts: of a progressive
    // file, the scans up to the first one of every component's DC are read
    // and the rest of the file is left alone.
    const bool dcOnly = scale == 1 && cinfo.progressive_mode;
    cinfo.buffered_image = dcOnly;
    jpeg_start_decompress(&cinfo);
    if (dcOnly && !ReadDcScans(cinfo)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    job.image = QImage(width, height, colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
    if (job.image.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (cinfo.out_color_space == JCS_CMYK)
        job.cmykRow.reset(new JSAMPLE[static_cast<size_t>(width) * 4]);
    // A file of several sequential scans is read whole by the start above,
    // like a progressive one; only a single scan is decoded row by row.
    const bool rowByRow = !cinfo.progressive_mode && cinfo.comps_in_scan == cinfo.num_components;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        if (y % RowsBetweenCancelChecks == 0 && job.request->cancelled && job.request->cancelled->load()) {
            job.cancelled = true;
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        if (job.errors.hitEnd && rowByRow) {
            // The data ended: the rows below would only be decoded from nothing.
            FillMissingRows(job.image, y);
            break;
        }
        JSAMPROW row = job.cmykRow ? job.cmykRow.get() : job.image.scanLine(y);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            break;
        if (job.cmykRow)
            ConvertCmyk(job.cmykRow.get(), reinterpret_cast<QRgb *>(job.image.scanLine(y)), width, cinfo.saw_Adobe_marker);
        job.rowsDone = y + 1;
    }
    if (dcOnly)
        jpeg_finish_output(&cinfo);
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool ShapeMatches(QSize thumbnail, QSize natural)
{
    // Within a pixel of the picture's shape at the thumbnail's size.
    if (thumbnail.isEmpty() || natural.isEmpty())
        return false;
    const double expected = double(natural.height()) * thumbnail.width() / natural.width();
    return std::abs(expected - thumbnail.height()) <= 1.0;
}

// The camera's small copy as stored, when it has the picture's shape.
std::optional<QImage> StoredThumbnail(const Exif &exif, QSize natural, const std::atomic<bool> *cancelled)
{
    if (exif.thumbnail.isEmpty())
        return std::nullopt;
    Request small;
    small.cancelled = cancelled;
    Result stand = DecodeBytes(exif.thumbnail, small);
    if (!stand.decoded)
        return std::nullopt;
    if (!ShapeMatches(Upright(stand.decoded->image, exif.orientation).size(), natural))
        return std::nullopt;
    return std::move(stand.decoded->image);
}

// The camera's small copy, upright, when it has the picture's shape.
std::optional<QImage> CameraThumbnail(const Exif &exif, QSize natural, const std::atomic<bool> *cancelled)
{
    // The small copy is stored as the camera held it.
    std::optional<QImage> stored = StoredThumbnail(exif, natural, cancelled);
    if (!stored)
        return std::nullopt;
    return Upright(*stored, exif.orientation);
}

Result Finish(Job &job, bool ran)
{
    Result result;
    result.cancelled = job.cancelled || (job.refused && job.request->cancelled && job.request->cancelled->load());
    result.overBudget = job.refused && !result.cancelled;
    if (result.overBudget && job.request->exifThumbnailAllowed) {
        if (std::optional<QImage> stand = CameraThumbnail(job.exif, job.natural, job.request->cancelled))
            result.decoded = Decoded{std::move(*stand), job.natural, true, job.icc};
        return result;
    }
    if (!ran || job.image.isNull())
        return result;
    Decoded decoded;
    decoded.image = Upright(job.image, job.exif.orientation);
    decoded.natural = job.natural;
    decoded.iccProfile = job.icc;
    result.decoded = std::move(decoded);
    return result;
}

// One pass of libjpeg over a file: the header only, or the decode.
std::unique_ptr<Job> RunFile(const QByteArray &nativePath, const Request &request, bool onlyHeader)
{
    auto job = std::make_unique<Job>();
    job->request = &request;
    job->onlyHeader = onlyHeader;
    job->file = std::fopen(nativePath.constData(), "rbe");
    if (!job->file)
        return nullptr;
    job->ran = RunJob(*job);
    std::fclose(job->file);
    job->file = nullptr;
    return job;
}

} // namespace

bool LooksLikeJpeg(const QByteArray &head)
{
    return head.size() >= 3 && uchar(head[0]) == 0xff && uchar(head[1]) == 0xd8 && uchar(head[2]) == 0xff;
}

Result DecodeFile(const QByteArray &nativePath, const Request &request)
{
    const std::unique_ptr<Job> job = RunFile(nativePath, request, false);
    return job ? Finish(*job, job->ran) : Result();
}

Result DecodeBytes(const QByteArray &bytes, const Request &request)
{
    if (!LooksLikeJpeg(bytes))
        return Result();
    auto job = std::make_unique<Job>();
    job->bytes = &bytes;
    job->request = &request;
    const bool ran = RunJob(*job);
    return Finish(*job, ran);
}

std::optional<QSize> NaturalSize(const QByteArray &nativePath)
{
    const Request none;
    const std::unique_ptr<Job> job = RunFile(nativePath, none, true);
    if (!job || !job->ran || job->natural.isEmpty())
        return std::nullopt;
    return job->natural;
}

std::optional<QSize> NaturalSizeOfBytes(const QByteArray &bytes)
{
    if (!LooksLikeJpeg(bytes))
        return std::nullopt;
    const Request none;
    const auto job = std::make_unique<Job>();
    job->bytes = &bytes;
    job->request = &none;
    job->onlyHeader = true;
    if (!RunJob(*job) || job->natural.isEmpty())
        return std::nullopt;
    return job->natural;
}

std::optional<qint64> DateTaken(const QByteArray &nativePath)
{
    QFile file;
    if (!NativeFile::Open(file, nativePath, QIODevice::ReadOnly))
        return std::nullopt;
    // The EXIF block comes first, within its marker's 64 KB.
    const QByteArray head = file.read(128 * 1024);
    if (!LooksLikeJpeg(head))
        return std::nullopt;
    const qsizetype at = head.indexOf(QByteArray("Exif\0\0", 6));
    if (at < 0)
        return std::nullopt;
    ExifData *data = exif_data_new();
    if (!data)
        return std::nullopt;
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, reinterpret_cast<const unsigned char *>(head.constData() + at), unsigned(head.size() - at));
    std::optional<qint64> taken;
    for (const ExifTag tag : {EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_TAG_DATE_TIME_DIGITIZED}) {
        ExifEntry *entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], tag);
        if (!entry || entry->format != EXIF_FORMAT_ASCII || entry->size < 19)
            continue;
        const QString text = QString::fromLatin1(reinterpret_cast<const char *>(entry->data), 19);
        const QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        if (when.isValid()) {
            taken = QDateTime(when.date(), when.time(), Qt::UTC).toSecsSinceEpoch();
            break;
        }
    }
    exif_data_unref(data);
    return taken;
}

std::optional<qint64> WorkingMemory(const QByteArray &nativePath, int scale)
{
    const Request none;
    auto job = std::make_unique<Job>();
    job->request = &none;
    job->onlyHeader = true;
    job->headerScale = scale;
    job->file = std::fopen(nativePath.constData(), "rbe");
    if (!job->file)
        return std::nullopt;
    const bool ran = RunJob(*job);
    std::fclose(job->file);
    if (!ran)
        return std::nullopt;
    return job->headerBytes;
}

} // namespace JpegDecoder
