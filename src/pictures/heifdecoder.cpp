#include "pictures/heifdecoder.h"

#include "pictures/decodebudget.h"

#include <avif/avif.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace HeifDecoder {

namespace {

struct ContextFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleFree
{
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageFree
{
    void operator()(heif_image *image) const { heif_image_release(image); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;
using Image = std::unique_ptr<heif_image, ImageFree>;

QSize SizeOf(const heif_image_handle *handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

bool SameShape(QSize a, QSize b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    return std::abs(double(a.width()) / a.height() - double(b.width()) / b.height()) <=
           0.02 * double(a.width()) / a.height();
}

QColorSpace ColourSpaceOf(const heif_image_handle *handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
        if (size == 0 || size > 4 * 1024 * 1024)
            return QColorSpace();
        QByteArray profile(qsizetype(size), '\0');
        if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
            return QColorSpace();
        return QColorSpace::fromIccProfile(profile);
    }
    if (type == heif_color_profile_type_nclx) {
        heif_color_profile_nclx *nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
            return QColorSpace();
        // Display P3, as phones write it.
        const bool p3 = nclx->color_primaries == heif_color_primaries_SMPTE_EG_432_1;
        heif_nclx_color_profile_free(nclx);
        if (p3)
            return QColorSpace(QColorSpace::Primaries::DciP3D65, QColorSpace::TransferFunction::SRgb);
    }
    return QColorSpace();
}

std::optional<QImage> DecodeHandle(heif_image_handle *handle)
{
    heif_decoding_options *options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    const heif_error error =
        heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
    heif_decoding_options_free(options);
    const Image image(decoded);
    if (error.code != heif_error_Ok || !image)
        return std::nullopt;
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0 || stride < width * 4)
        return std::nullopt;
    QImage result(width, height, QImage::Format_RGBA8888);
    if (result.isNull())
        return std::nullopt;
    for (int y = 0; y < height; ++y)
        std::memcpy(result.scanLine(y), pixels + qsizetype(y) * stride, size_t(width) * 4);
    return result;
}

// The thumbnail of the same shape that is the smallest at least min in
// size (any size when min is empty); none when there is none.
Handle ThumbnailFor(heif_image_handle *primary, QSize min)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || count > 64)
        return Handle();
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (const heif_item_id id : ids) {
        heif_image_handle *thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok || !thumbnail)
            continue;
        Handle candidate(thumbnail);
        const QSize size = SizeOf(thumbnail);
        if (!SameShape(size, SizeOf(primary)) || (!min.isEmpty() && (size.width() < min.width() || size.height() < min.height())))
            continue;
        if (!best || qint64(size.width()) * size.height() < qint64(SizeOf(best.get()).width()) * SizeOf(best.get()).height())
            best = std::move(candidate);
    }
    return best;
}

// An AVIF picture sequence (animated AVIF), which libheif does not read:
// its first frame through libavif.
std::optional<Decoded> DecodeAvifSequence(const QByteArray &bytes, const std::atomic<bool> *cancelled)
{
    const std::unique_ptr<avifDecoder, void (*)(avifDecoder *)> decoder(avifDecoderCreate(), avifDecoderDestroy);
    if (!decoder)
        return std::nullopt;
    decoder->maxThreads = 1;
    decoder->imageDimensionLimit = 1 << 16;
    decoder->imageSizeLimit = uint32_t(DecodeBudget::Bytes / 12);
    if (avifDecoderSetIOMemory(decoder.get(), reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())) !=
            AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK)
        return std::nullopt;
    const QSize size(int(decoder->image->width), int(decoder->image->height));
    if (size.isEmpty() || Cost(size) > DecodeBudget::Bytes)
        return std::nullopt;
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(Cost(size), cancelled);
    if (!reservation || avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK)
        return std::nullopt;
    Decoded result;
    result.natural = size;
    result.image = QImage(size, QImage::Format_RGBA8888);
    if (result.image.isNull())
        return std::nullopt;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, decoder->image);
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.depth = 8;
    rgb.pixels = result.image.bits();
    rgb.rowBytes = uint32_t(result.image.bytesPerLine());
    if (avifImageYUVToRGB(decoder->image, &rgb) != AVIF_RESULT_OK)
        return std::nullopt;
    if (decoder->image->icc.size > 0 && decoder->image->icc.size < 4 * 1024 * 1024)
        result.colourSpace = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(decoder->image->icc.data), qsizetype(decoder->image->icc.size)));
    return result;
}


bool IsAvif(const QByteArray &head) { return head.mid(8, 4) == "avif" || head.mid(8, 4) == "avis"; }

} // namespace

bool LooksLikeHeif(const QByteArray &head)
{
    if (head.size() < 12 || head.mid(4, 4) != "ftyp")
        return false;
    const auto type = heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    return type == heif_filetype_yes_supported || type == heif_filetype_maybe || IsAvif(head);
}

qint64 Cost(QSize size)
{
    // The RGBA picture, the decoded planes (up to 16 bits per sample) and the codec's own frames.
    return qint64(size.width()) * size.height() * 12 + 1024 * 1024;
}

namespace {

std::optional<Decoded> DecodeWithLibheif(const QByteArray &bytes, const std::function<QSize(QSize natural)> &atLeast,
                                         const std::atomic<bool> *cancelled)
{
    const Context context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 16);
    heif_image_handle *primaryHandle = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok || !primaryHandle)
        return std::nullopt;
    const Handle primary(primaryHandle);
    Decoded result;
    result.natural = SizeOf(primary.get());
    if (result.natural.isEmpty())
        return std::nullopt;
    result.colourSpace = ColourSpaceOf(primary.get());

    // A thumbnail large enough for the size wanted, else the picture within
    // the budget, else any thumbnail of its shape.
    Handle chosen;
    if (atLeast) {
        const QSize wanted = atLeast(result.natural);
        if (!wanted.isEmpty() && wanted.width() < result.natural.width())
            chosen = ThumbnailFor(primary.get(), wanted);
    }
    const heif_image_handle *decoding = chosen ? chosen.get() : primary.get();
    if (!chosen && Cost(result.natural) > DecodeBudget::Bytes) {
        chosen = ThumbnailFor(primary.get(), QSize());
        if (!chosen)
            return std::nullopt;
        decoding = chosen.get();
    }
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(Cost(SizeOf(decoding)), cancelled);
    if (!reservation || (cancelled && cancelled->load()))
        return std::nullopt;
    std::optional<QImage> image = DecodeHandle(const_cast<heif_image_handle *>(decoding));
    if (!image)
        return std::nullopt;
    result.image = std::move(*image);
    result.fromThumbnail = decoding != primary.get();
    return result;
}

} // namespace

std::optional<QSize> NaturalSize(const QByteArray &bytes)
{
    const Context context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 16);
    heif_image_handle *primaryHandle = nullptr;
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok || !primaryHandle)
        return std::nullopt;
    const Handle primary(primaryHandle);
    const QSize natural = SizeOf(primary.get());
    return natural.isEmpty() ? std::nullopt : std::optional<QSize>(natural);
}

std::optional<Decoded> Decode(const QByteArray &bytes, const std::function<QSize(QSize natural)> &atLeast,
                              const std::atomic<bool> *cancelled)
{
    std::optional<Decoded> decoded = DecodeWithLibheif(bytes, atLeast, cancelled);
    if (!decoded && IsAvif(bytes) && !(cancelled && cancelled->load()))
        decoded = DecodeAvifSequence(bytes, cancelled);
    return decoded;
}

} // namespace HeifDecoder
