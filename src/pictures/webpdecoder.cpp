#include "pictures/webpdecoder.h"

#include "pictures/decodebudget.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace WebpDecoder {

namespace {

QColorSpace ProfileOf(const QByteArray &bytes)
{
    const WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer *)> demux(WebPDemux(&data), WebPDemuxDelete);
    if (!demux || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG))
        return QColorSpace();
    WebPChunkIterator chunk;
    QColorSpace space;
    if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
        space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(chunk.chunk.bytes), qsizetype(chunk.chunk.size)));
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return space;
}

std::optional<QImage> FirstFrame(const QByteArray &bytes, QSize size)
{
    const WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return std::nullopt;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder *)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                                  WebPAnimDecoderDelete);
    uint8_t *pixels = nullptr;
    int timestamp = 0;
    if (!decoder || !WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp) || !pixels)
        return std::nullopt;
    QImage image(size, QImage::Format_RGBA8888);
    if (image.isNull())
        return std::nullopt;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), pixels + qsizetype(y) * size.width() * 4, size_t(size.width()) * 4);
    return image;
}

} // namespace

bool LooksLikeWebp(const QByteArray &head) { return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP"; }

std::optional<QSize> NaturalSize(const QByteArray &head)
{
    int width = 0;
    int height = 0;
    if (!WebPGetInfo(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()), &width, &height) ||
        width <= 0 || height <= 0)
        return std::nullopt;
    return QSize(width, height);
}

std::optional<Decoded> Decode(const QByteArray &bytes, const std::function<QSize(QSize natural)> &atLeast,
                              const std::atomic<bool> *cancelled)
{
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size_t(bytes.size()), &features) != VP8_STATUS_OK || features.width <= 0 ||
        features.height <= 0)
        return std::nullopt;
    Decoded result;
    result.natural = QSize(features.width, features.height);
    // The output, and the decoder's own planes of the whole picture.
    const qint64 cost = qint64(features.width) * features.height * (features.has_animation ? 12 : 6) + 1024 * 1024;
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(cost, cancelled);
    if (!reservation)
        return std::nullopt;
    result.colourSpace = ProfileOf(bytes);
    if (features.has_animation) {
        std::optional<QImage> first = FirstFrame(bytes, result.natural);
        if (!first)
            return std::nullopt;
        result.image = std::move(*first);
        return result;
    }
    QSize size = result.natural;
    if (atLeast) {
        const QSize wanted = atLeast(result.natural);
        if (!wanted.isEmpty() && wanted.width() < size.width() && wanted.height() < size.height())
            size = result.natural.scaled(wanted, Qt::KeepAspectRatioByExpanding).boundedTo(result.natural);
    }
    result.image = QImage(size, QImage::Format_RGBA8888);
    if (result.image.isNull())
        return std::nullopt;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return std::nullopt;
    config.options.use_scaling = size != result.natural;
    config.options.scaled_width = size.width();
    config.options.scaled_height = size.height();
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = result.image.bits();
    config.output.u.RGBA.stride = int(result.image.bytesPerLine());
    config.output.u.RGBA.size = size_t(result.image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return std::nullopt;
    return result;
}

} // namespace WebpDecoder
