#include "pictures/jpegxldecoder.h"

#include "pictures/decodebudget.h"

#include <jxl/decode.h>

#include <memory>

namespace JpegXlDecoder {

namespace {

struct DecoderFree
{
    void operator()(JxlDecoder *decoder) const { JxlDecoderDestroy(decoder); }
};

JxlColorEncoding Srgb()
{
    JxlColorEncoding srgb{};
    srgb.color_space = JXL_COLOR_SPACE_RGB;
    srgb.white_point = JXL_WHITE_POINT_D65;
    srgb.primaries = JXL_PRIMARIES_SRGB;
    srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
    return srgb;
}

} // namespace

bool LooksLikeJxl(const QByteArray &head)
{
    return JxlSignatureCheck(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size())) >=
           JXL_SIG_CODESTREAM;
}

qint64 Cost(QSize size)
{
    // The RGBA picture and the decoder's own planes of floats.
    return qint64(size.width()) * size.height() * 16 + 4 * 1024 * 1024;
}

std::optional<QSize> NaturalSize(const QByteArray &head)
{
    const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size())) !=
            JXL_DEC_SUCCESS)
        return std::nullopt;
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info;
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO ||
        JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS || info.xsize == 0 || info.ysize == 0)
        return std::nullopt;
    return info.orientation > 4 ? QSize(int(info.ysize), int(info.xsize)) : QSize(int(info.xsize), int(info.ysize));
}

std::optional<Decoded> Decode(const QByteArray &bytes, const std::atomic<bool> *cancelled)
{
    const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())) !=
            JXL_DEC_SUCCESS)
        return std::nullopt;
    JxlDecoderCloseInput(decoder.get());
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::optional<DecodeBudget::Reservation> reservation;
    Decoded result;
    QSize size;
    for (;;) {
        if (cancelled && cancelled->load())
            return std::nullopt;
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS || info.xsize == 0 || info.ysize == 0 ||
                info.xsize > (1u << 20) || info.ysize > (1u << 20))
                return std::nullopt;
            // The pixels come out upright: orientations 5 to 8 turn the picture.
            size = info.orientation > 4 ? QSize(int(info.ysize), int(info.xsize)) : QSize(int(info.xsize), int(info.ysize));
            if (Cost(size) > DecodeBudget::Bytes)
                return std::nullopt;
            std::optional<DecodeBudget::Reservation> reserved = DecodeBudget::Reserve(Cost(size), cancelled);
            if (!reserved)
                return std::nullopt;
            reservation.emplace(std::move(*reserved));
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            // Pixels in sRGB where the decoder can give them so; else in the
            // file's own profile, converted afterwards.
            const JxlColorEncoding srgb = Srgb();
            JxlDecoderSetPreferredColorProfile(decoder.get(), &srgb);
            size_t profileSize = 0;
            if (JxlDecoderGetICCProfileSize(decoder.get(), &format, JXL_COLOR_PROFILE_TARGET_DATA, &profileSize) ==
                    JXL_DEC_SUCCESS &&
                profileSize > 0 && profileSize < 4 * 1024 * 1024) {
                QByteArray profile(qsizetype(profileSize), '\0');
                if (JxlDecoderGetColorAsICCProfile(decoder.get(), &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   reinterpret_cast<uint8_t *>(profile.data()), profileSize) == JXL_DEC_SUCCESS)
                    result.colourSpace = QColorSpace::fromIccProfile(profile);
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t needed = 0;
            if (!reservation || JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS)
                return std::nullopt;
            result.image = QImage(size, QImage::Format_RGBA8888);
            if (result.image.isNull() || size_t(result.image.sizeInBytes()) < needed ||
                result.image.bytesPerLine() != size.width() * 4)
                return std::nullopt;
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, result.image.bits(), size_t(result.image.sizeInBytes())) !=
                JXL_DEC_SUCCESS)
                return std::nullopt;
        } else if (status == JXL_DEC_FULL_IMAGE) {
            // The first frame is the picture.
            if (result.image.isNull())
                return std::nullopt;
            result.natural = result.image.size();
            return result;
        } else if (status == JXL_DEC_SUCCESS || status == JXL_DEC_ERROR || status == JXL_DEC_NEED_MORE_INPUT) {
            return std::nullopt;
        }
    }
}

} // namespace JpegXlDecoder
