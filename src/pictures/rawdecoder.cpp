#include "pictures/rawdecoder.h"

#include "pictures/decodebudget.h"
#include "pictures/jpegdecoder.h"

#include <libraw/libraw.h>

#include <QTransform>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RawDecoder {

namespace {

// What LibRaw may allocate for a development's raw data, in megabytes.
constexpr unsigned RawMemoryMegabytes = unsigned(DecodeBudget::Bytes / (1024 * 1024));

// LibRaw with a look at the directories it read. A camera stores several
// previews (a thumbnail of 160 or 256 pixels beside the full-size JPEG), and
// LibRaw 0.20 unpacks only the largest; a small cell is made from the
// smallest that covers it.
class RawFile : public LibRaw
{
public:
    using LibRaw::LibRaw;

    struct Stored
    {
        QSize size;
        qint64 offset = 0;
        qint64 length = 0;
        bool jpeg = false;
    };

    // The previews whose place and size the directories state: baseline
    // JPEGs, and 8-bit RGB bitmaps stored in one piece.
    std::vector<Stored> previews() const
    {
        std::vector<Stored> found;
        const unsigned count = std::min<unsigned>(libraw_internal_data.identify_data.tiff_nifds, LIBRAW_IFD_MAXCOUNT);
        for (unsigned i = 0; i < count; ++i) {
            const tiff_ifd_t &ifd = tiff_ifd[i];
            if (ifd.t_width <= 0 || ifd.t_height <= 0 || ifd.t_width > 65535 || ifd.t_height > 65535 ||
                ifd.offset <= 0 || ifd.bytes <= 0 || ifd.phint == 32803 || ifd.phint == 34892)
                continue;
            Stored stored{QSize(ifd.t_width, ifd.t_height), ifd.offset, ifd.bytes, false};
            if ((ifd.comp == 6 || ifd.comp == 7) && ifd.bps == 8 && (ifd.samples == 3 || ifd.phint == 6)) {
                stored.jpeg = true;
                found.push_back(stored);
            } else if (ifd.comp == 1 && ifd.bps == 8 && ifd.samples == 3 && ifd.phint == 2 &&
                       (ifd.strip_offsets_count <= 1 || ifd.rows_per_strip >= ifd.t_height) &&
                       qint64(ifd.bytes) >= qint64(ifd.t_width) * ifd.t_height * 3) {
                stored.length = qint64(ifd.t_width) * ifd.t_height * 3;
                found.push_back(stored);
            }
        }
        return found;
    }
};

struct Opened
{
    std::unique_ptr<RawFile> raw;
    qint64 fileSize = 0;
};

int Progress(void *data, LibRaw_progress, int, int)
{
    const auto *cancelled = static_cast<const std::atomic<bool> *>(data);
    return cancelled && cancelled->load() ? 1 : 0;
}

// LibRaw on the file, its header read; nullopt when it is no RAW LibRaw knows.
std::optional<Opened> Open(const QByteArray &nativePath, const std::atomic<bool> *cancelled)
{
    Opened opened;
    // By the name's very bytes, whatever they are.
    struct stat facts{};
    if (::stat(nativePath.constData(), &facts) != 0 || !S_ISREG(facts.st_mode) || facts.st_size <= 0)
        return std::nullopt;
    opened.fileSize = facts.st_size;
    try {
        opened.raw = std::make_unique<RawFile>(LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
        opened.raw->imgdata.params.max_raw_memory_mb = RawMemoryMegabytes;
        opened.raw->set_progress_handler(Progress, const_cast<std::atomic<bool> *>(cancelled));
        if (opened.raw->open_file(nativePath.constData()) != LIBRAW_SUCCESS)
            return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    const libraw_image_sizes_t &sizes = opened.raw->imgdata.sizes;
    if (sizes.width == 0 || sizes.height == 0)
        return std::nullopt;
    return opened;
}

// The RAW's orientation: 0, or 3 (half a turn), 5 (a quarter to the left), 6 (a quarter to the right).
int Flip(const LibRaw &raw)
{
    const int flip = raw.imgdata.sizes.flip;
    return flip == 3 || flip == 5 || flip == 6 ? flip : 0;
}

bool Turned(int flip) { return flip == 5 || flip == 6; }

QSize SensorSize(const LibRaw &raw)
{
    const QSize stored(raw.imgdata.sizes.width, raw.imgdata.sizes.height);
    return Turned(Flip(raw)) ? stored.transposed() : stored;
}

QImage Upright(const QImage &image, int flip)
{
    if (flip == 0)
        return image;
    return image.transformed(QTransform().rotate(flip == 3 ? 180 : flip == 5 ? 270 : 90));
}

// A bitmap preview's pixels: rows of 8-bit samples, grey or RGB.
std::optional<QImage> Bitmap(const char *data, qint64 length, int width, int height, int colours)
{
    if (width <= 0 || height <= 0 || (colours != 1 && colours != 3) || !data ||
        length < qint64(width) * height * colours)
        return std::nullopt;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(data);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const uchar *from = bytes + qint64(y) * width * colours;
        for (int x = 0; x < width; ++x, from += colours)
            line[x] = colours == 3 ? qRgb(from[0], from[1], from[2]) : qRgb(from[0], from[0], from[0]);
    }
    return image;
}

std::optional<QImage> BitmapPreview(const libraw_thumbnail_t &thumbnail)
{
    return Bitmap(thumbnail.thumb, qint64(thumbnail.tlength), thumbnail.twidth, thumbnail.theight, thumbnail.tcolors);
}

// Whether a preview of the stored size needs the RAW's turn (some cameras
// turn their previews themselves): when it has the sensor's stored shape.
bool PreviewTurned(QSize stored, const RawFile &raw)
{
    const QSize sensor = SensorSize(raw);
    return Turned(Flip(raw)) && (stored.width() > stored.height()) != (sensor.width() > sensor.height());
}

// A smaller preview than the largest that still covers the size wanted, of
// the largest's shape (a camera's 160 x 120 thumbnail of a 3:2 photo has
// black bars), decoded; nullopt when there is none or it fails.
std::optional<Decoded> SmallerPreview(const RawFile &raw, const QByteArray &nativePath, qint64 fileSize,
                                      const std::function<QSize(QSize)> &atLeast, const std::atomic<bool> *cancelled)
{
    const QSize largest(raw.imgdata.thumbnail.twidth, raw.imgdata.thumbnail.theight);
    if (!atLeast || largest.isEmpty())
        return std::nullopt;
    const bool turned = PreviewTurned(largest, raw);
    const QSize upright = turned ? largest.transposed() : largest;
    const QSize wanted = turned ? atLeast(upright).transposed() : atLeast(upright);
    std::optional<RawFile::Stored> best;
    for (const RawFile::Stored &stored : raw.previews()) {
        const qint64 area = qint64(stored.size.width()) * stored.size.height();
        const qint64 across = qint64(stored.size.width()) * largest.height();
        const qint64 down = qint64(stored.size.height()) * largest.width();
        if (area >= qint64(largest.width()) * largest.height() || stored.size.width() < wanted.width() ||
            stored.size.height() < wanted.height() || std::abs(across - down) * 50 > std::max(across, down) ||
            stored.offset + stored.length > fileSize || stored.length > DecodeBudget::Bytes / 8)
            continue;
        if (!best || area < qint64(best->size.width()) * best->size.height())
            best = stored;
    }
    if (!best)
        return std::nullopt;
    std::optional<DecodeBudget::Reservation> reservation =
        DecodeBudget::Reserve(best->length + qint64(best->size.width()) * best->size.height() * 4, cancelled);
    if (!reservation)
        return std::nullopt;
    QByteArray bytes(qsizetype(best->length), Qt::Uninitialized);
    const int file = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    const ssize_t read = ::pread(file, bytes.data(), size_t(bytes.size()), off_t(best->offset));
    ::close(file);
    if (read != ssize_t(bytes.size()))
        return std::nullopt;
    std::optional<QImage> image;
    if (best->jpeg) {
        JpegDecoder::Request request;
        request.cancelled = cancelled;
        request.atLeast = [wanted](QSize) { return wanted; };
        JpegDecoder::Result result = JpegDecoder::DecodeBytes(bytes, request);
        // What the directory claims is only believed when the JPEG agrees.
        if (result.decoded && result.decoded->natural == best->size)
            image = result.decoded->image;
    } else {
        image = Bitmap(bytes.constData(), bytes.size(), best->size.width(), best->size.height(), 3);
    }
    if (!image)
        return std::nullopt;
    Decoded decoded;
    decoded.image = Upright(*image, turned ? Flip(raw) : 0);
    decoded.natural = upright;
    decoded.sensor = SensorSize(raw);
    return decoded;
}

// The embedded preview, upright; refused set when the answer is final without one.
std::optional<Decoded> Preview(RawFile &raw, qint64 fileSize, const std::function<QSize(QSize)> &atLeast,
                               const std::atomic<bool> *cancelled, bool &refused)
{
    const libraw_thumbnail_t &thumbnail = raw.imgdata.thumbnail;
    // LibRaw reads no preview larger than the file; a bitmap is turned into an image of its own.
    const qint64 bitmap = qint64(thumbnail.twidth) * thumbnail.theight * 4;
    std::optional<DecodeBudget::Reservation> reservation =
        DecodeBudget::Reserve(std::min<qint64>(fileSize, std::max<qint64>(thumbnail.tlength, 1)) + bitmap, cancelled);
    if (!reservation) {
        refused = true;
        return std::nullopt;
    }
    try {
        if (raw.unpack_thumb() != LIBRAW_SUCCESS)
            return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    const int flip = Flip(raw);
    const QSize sensor = SensorSize(raw);
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
        if (!thumbnail.thumb || thumbnail.tlength == 0)
            return std::nullopt;
        // A copy LibRaw's buffer stays the owner of.
        const QByteArray bytes = QByteArray::fromRawData(thumbnail.thumb, qsizetype(thumbnail.tlength));
        // Some cameras turn the preview themselves (its EXIF orientation); it is
        // turned again only when it still has the sensor's stored shape.
        JpegDecoder::Request request;
        request.cancelled = cancelled;
        bool turnAgain = Turned(flip);
        if (std::optional<QSize> stored = JpegDecoder::NaturalSizeOfBytes(bytes))
            turnAgain = PreviewTurned(*stored, raw);
        const int applied = Turned(flip) && !turnAgain ? 0 : flip;
        if (atLeast)
            request.atLeast = [&](QSize natural) {
                return Turned(applied) ? atLeast(natural.transposed()).transposed() : atLeast(natural);
            };
        JpegDecoder::Result result = JpegDecoder::DecodeBytes(bytes, request);
        if (!result.decoded) {
            refused = result.overBudget || result.cancelled;
            return std::nullopt;
        }
        Decoded decoded;
        decoded.image = Upright(result.decoded->image, applied);
        decoded.natural = Turned(applied) ? result.decoded->natural.transposed() : result.decoded->natural;
        decoded.sensor = sensor;
        return decoded;
    }
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_BITMAP) {
        std::optional<QImage> image = BitmapPreview(thumbnail);
        if (!image)
            return std::nullopt;
        Decoded decoded;
        decoded.image = Upright(*image, flip);
        decoded.natural = decoded.image.size();
        decoded.sensor = sensor;
        return decoded;
    }
    return std::nullopt;
}

// What developing the RAW costs: its raw data, LibRaw's working picture and the picture made.
qint64 DevelopmentCost(const LibRaw &raw, bool half)
{
    const libraw_image_sizes_t &sizes = raw.imgdata.sizes;
    const qint64 samples = raw.imgdata.idata.filters ? 2 : 8;
    const qint64 rawData = qint64(sizes.raw_width) * sizes.raw_height * samples;
    const qint64 pixels = qint64(sizes.width) * sizes.height / (half ? 4 : 1);
    return rawData + pixels * 8 + pixels * 3 + pixels * 4;
}

std::optional<Decoded> Develop(LibRaw &raw, const std::function<QSize(QSize)> &atLeast,
                               const std::atomic<bool> *cancelled, bool &refused)
{
    const QSize sensor = SensorSize(raw);
    bool half = false;
    if (atLeast) {
        const QSize wanted = atLeast(sensor);
        half = wanted.width() * 2 <= sensor.width() && wanted.height() * 2 <= sensor.height();
    }
    // A sensor too large to develop whole within the budget is developed at half size.
    half = half || DevelopmentCost(raw, false) > DecodeBudget::Bytes;
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(DevelopmentCost(raw, half), cancelled);
    if (!reservation) {
        refused = true;
        return std::nullopt;
    }
    libraw_output_params_t &params = raw.imgdata.params;
    params.half_size = half ? 1 : 0;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    libraw_processed_image_t *made = nullptr;
    try {
        if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS) {
            refused = cancelled && cancelled->load();
            return std::nullopt;
        }
        int error = 0;
        made = raw.dcraw_make_mem_image(&error);
    } catch (...) {
        return std::nullopt;
    }
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t *)> owned(made, LibRaw::dcraw_clear_mem);
    if (!made || made->type != LIBRAW_IMAGE_BITMAP || made->bits != 8 || made->colors != 3 || made->width == 0 ||
        made->height == 0 || qint64(made->data_size) < qint64(made->width) * made->height * 3)
        return std::nullopt;
    QImage rows(made->data, made->width, made->height, qsizetype(made->width) * 3, QImage::Format_RGB888);
    Decoded decoded;
    decoded.image = rows.convertToFormat(QImage::Format_RGB32);
    if (decoded.image.isNull())
        return std::nullopt;
    // The development comes out turned already.
    decoded.natural = half ? sensor : decoded.image.size();
    decoded.sensor = sensor;
    decoded.developed = true;
    return decoded;
}

} // namespace

bool LooksLikeRaw(const QByteArray &head)
{
    const auto at = [&](int offset, const char *bytes, int length) {
        return head.size() >= offset + length && std::memcmp(head.constData() + offset, bytes, size_t(length)) == 0;
    };
    return at(0, "FUJIFILMCCD-RAW", 15) || at(6, "HEAPCCDR", 8) || at(4, "ftypcrx ", 8) || at(0, "\0MRM", 4) ||
           at(0, "IIRO", 4) || at(0, "IIRS", 4) || at(0, "MMOR", 4) || at(0, "IIU\0", 4) || at(0, "FOVb", 4) ||
           (at(0, "II*\0", 4) && at(8, "CR", 2));
}

Result Decode(const QByteArray &nativePath, const std::function<QSize(QSize natural)> &atLeast,
              const std::atomic<bool> *cancelled)
{
    Result result;
    std::optional<Opened> opened = Open(nativePath, cancelled);
    if (!opened)
        return result;
    result.decoded = SmallerPreview(*opened->raw, nativePath, opened->fileSize, atLeast, cancelled);
    if (result.decoded)
        return result;
    result.decoded = Preview(*opened->raw, opened->fileSize, atLeast, cancelled, result.refused);
    if (result.decoded || result.refused)
        return result;
    // Without a preview: a development. LibRaw is opened afresh, as after a failed step.
    opened = Open(nativePath, cancelled);
    if (opened)
        result.decoded = Develop(*opened->raw, atLeast, cancelled, result.refused);
    return result;
}

std::optional<QSize> NaturalSize(const QByteArray &nativePath)
{
    std::optional<Opened> opened = Open(nativePath, nullptr);
    if (!opened)
        return std::nullopt;
    // A preview's size is known once it is read (at a pixel, a JPEG's header
    // is all that is decoded whole); without one, the sensor's is developed.
    bool refused = false;
    const std::optional<Decoded> preview =
        Preview(*opened->raw, opened->fileSize, [](QSize) { return QSize(1, 1); }, nullptr, refused);
    if (preview)
        return preview->natural;
    if (refused)
        return std::nullopt;
    return SensorSize(*opened->raw);
}

std::optional<qint64> DateTaken(const QByteArray &nativePath)
{
    const std::optional<Opened> opened = Open(nativePath, nullptr);
    if (!opened || opened->raw->imgdata.other.timestamp <= 0)
        return std::nullopt;
    // LibRaw reads the camera's date as local time; it is the date as written, taken as UTC.
    const std::time_t stamp = opened->raw->imgdata.other.timestamp;
    std::tm parts{};
    if (!localtime_r(&stamp, &parts))
        return std::nullopt;
    return qint64(timegm(&parts));
}

QString Version() { return QString::fromLatin1(LibRaw::version()); }

} // namespace RawDecoder
