#include "pictures/frames.h"

#include "pictures/decodebudget.h"
#include "files/nativefile.h"

#include <avif/avif.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

#include <utility>
#include <vector>

namespace Frames {

namespace {

// The largest animated file read whole (APNG, AVIF).
constexpr qint64 WholeFileLimitBytes = 256LL * 1024 * 1024;

bool FitsBudget(QSize size)
{
    // The canvas and the frame being made, four bytes a pixel each.
    return !size.isEmpty() && qint64(size.width()) * size.height() * 4 * 2 <= DecodeBudget::Bytes / 2;
}

std::optional<QByteArray> ReadWhole(const QByteArray &nativePath)
{
    QFile file;
    if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File || !NativeFile::Open(file, nativePath, QIODevice::ReadOnly) ||
        file.size() > WholeFileLimitBytes)
        return std::nullopt;
    return file.readAll();
}

// GIF and WebP through Qt's readers, which draw each frame onto the canvas themselves.
class QtSource : public Source
{
public:
    static std::unique_ptr<Source> Open(const QByteArray &nativePath)
    {
        auto source = std::unique_ptr<QtSource>(new QtSource);
        if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File ||
            !NativeFile::Open(source->m_file, nativePath, QIODevice::ReadOnly) || !source->restart())
            return nullptr;
        QImageReader &reader = *source->m_reader;
        if (!reader.supportsAnimation() || reader.imageCount() == 1 || !FitsBudget(reader.size()))
            return nullptr;
        source->m_count = std::max(0, reader.imageCount());
        // Qt counts the repeats: -1 for ever, 0 played once.
        const int loops = reader.loopCount();
        source->m_playsLeft = loops < 0 ? -1 : loops + 1;
        // The canvas is the size the reader draws the frames at (a GIF's screen), known from the first.
        source->m_first = source->next();
        if (!source->m_first || !FitsBudget(source->m_size))
            return nullptr;
        return source;
    }

    QSize size() const override { return m_size; }
    int frameCount() const override { return m_count; }

    std::optional<Frame> next() override
    {
        if (m_first)
            return std::exchange(m_first, std::nullopt);
        QImage image;
        if (!m_reader->read(&image)) {
            if (m_framesThisPlay == 0 || (m_playsLeft > 0 && --m_playsLeft == 0) || !restart() || !m_reader->read(&image))
                return std::nullopt;
            m_framesThisPlay = 0;
        }
        ++m_framesThisPlay;
        if (m_size.isEmpty())
            m_size = image.size();
        if (image.isNull() || image.size() != m_size)
            return std::nullopt;
        return Frame{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), ClampedDelay(m_reader->nextImageDelay())};
    }

private:
    bool restart()
    {
        if (!m_file.seek(0))
            return false;
        m_reader = std::make_unique<QImageReader>(&m_file);
        m_reader->setDecideFormatFromContent(true);
        const QByteArray format = m_reader->format();
        return format == "gif" || format == "webp";
    }

    QFile m_file;
    std::unique_ptr<QImageReader> m_reader;
    QSize m_size;
    std::optional<Frame> m_first;
    int m_count = 0;
    int m_playsLeft = -1;
    int m_framesThisPlay = 0;
};

quint32 Crc32(const char *bytes, qsizetype length, quint32 crc = 0xFFFFFFFFu)
{
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= quint8(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

void AppendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    char length[4];
    qToBigEndian(quint32(data.size()), length);
    png.append(length, 4);
    const qsizetype start = png.size();
    png.append(type, 4);
    png.append(data);
    char crc[4];
    qToBigEndian(~Crc32(png.constData() + start, png.size() - start), crc);
    png.append(crc, 4);
}

// APNG, which Qt reads as a still: each frame is made into a PNG of its own
// (the file's header with the frame's size, its palette and transparency,
// the frame's data) and drawn onto the canvas as its frame control says.
class ApngSource : public Source
{
public:
    static std::unique_ptr<Source> Open(const QByteArray &nativePath)
    {
        std::optional<QByteArray> bytes = ReadWhole(nativePath);
        if (!bytes || !bytes->startsWith("\x89PNG\r\n\x1a\n"))
            return nullptr;
        auto source = std::unique_ptr<ApngSource>(new ApngSource);
        source->m_bytes = std::move(*bytes);
        if (!source->index() || source->m_frames.size() < 2 || !FitsBudget(source->m_size))
            return nullptr;
        source->m_canvas = QImage(source->m_size, QImage::Format_ARGB32_Premultiplied);
        if (source->m_canvas.isNull())
            return nullptr;
        source->m_canvas.fill(Qt::transparent);
        return source;
    }

    QSize size() const override { return m_size; }
    int frameCount() const override { return int(m_frames.size()); }

    std::optional<Frame> next() override
    {
        if (m_next == m_frames.size()) {
            if (m_playsLeft > 0 && --m_playsLeft == 0)
                return std::nullopt;
            m_next = 0;
        }
        if (m_next == 0)
            m_canvas.fill(Qt::transparent);
        const Control &frame = m_frames[m_next++];
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        QByteArray header = m_header;
        qToBigEndian(quint32(frame.area.width()), header.data());
        qToBigEndian(quint32(frame.area.height()), header.data() + 4);
        AppendChunk(png, "IHDR", header);
        png.append(m_beforeData);
        for (const QByteArray &data : frame.data)
            AppendChunk(png, "IDAT", data);
        AppendChunk(png, "IEND", QByteArray());
        QImage pixels;
        if (!pixels.loadFromData(png, "PNG") || pixels.size() != frame.area.size())
            return std::nullopt;
        const QImage before = frame.dispose == 2 ? m_canvas.copy(frame.area) : QImage();
        {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(frame.blend == 0 ? QPainter::CompositionMode_Source
                                                        : QPainter::CompositionMode_SourceOver);
            painter.drawImage(frame.area.topLeft(), pixels);
        }
        Frame shown{m_canvas.copy(), ClampedDelay(frame.delayMs)};
        // What the frame leaves for the next one.
        if (frame.dispose == 1) {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(frame.area, Qt::transparent);
        } else if (frame.dispose == 2 && !before.isNull()) {
            QPainter painter(&m_canvas);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(frame.area.topLeft(), before);
        }
        return shown;
    }

private:
    struct Control
    {
        QRect area;
        int delayMs = 100;
        int dispose = 0;
        int blend = 0;
        std::vector<QByteArray> data;
    };

    // Reads the chunks' layout; false when the file is no animation this can play.
    bool index()
    {
        qsizetype at = 8;
        bool animated = false;
        bool seenData = false;
        Control *current = nullptr;
        while (at + 12 <= m_bytes.size()) {
            const quint32 length = qFromBigEndian<quint32>(m_bytes.constData() + at);
            const QByteArray type = m_bytes.mid(at + 4, 4);
            if (length > quint32(m_bytes.size() - at - 12))
                break;
            const QByteArray data = m_bytes.mid(at + 8, qsizetype(length));
            const QByteArray whole = m_bytes.mid(at, qsizetype(length) + 12);
            at += qsizetype(length) + 12;
            if (type == "IHDR" && data.size() == 13) {
                m_size = QSize(int(qFromBigEndian<quint32>(data.constData())), int(qFromBigEndian<quint32>(data.constData() + 4)));
                m_header = data;
            } else if (type == "acTL" && data.size() == 8) {
                animated = true;
                const quint32 plays = qFromBigEndian<quint32>(data.constData() + 4);
                m_playsLeft = plays == 0 ? -1 : int(std::min<quint32>(plays, 1000000));
            } else if (type == "fcTL" && data.size() == 26) {
                Control control;
                const auto number = [&](int offset) { return qFromBigEndian<quint32>(data.constData() + offset); };
                control.area = QRect(int(number(12)), int(number(16)), int(number(4)), int(number(8)));
                const quint16 numerator = qFromBigEndian<quint16>(data.constData() + 20);
                quint16 denominator = qFromBigEndian<quint16>(data.constData() + 22);
                if (denominator == 0)
                    denominator = 100;
                control.delayMs = int(qint64(numerator) * 1000 / denominator);
                control.dispose = quint8(data[24]);
                control.blend = quint8(data[25]);
                if (control.area.isEmpty() || !QRect(QPoint(0, 0), m_size).contains(control.area) || control.dispose > 2 ||
                    control.blend > 1)
                    return false;
                m_frames.push_back(std::move(control));
                current = &m_frames.back();
            } else if (type == "IDAT") {
                seenData = true;
                // The default image is the first frame only when a frame control comes before it.
                if (current)
                    current->data.push_back(data);
            } else if (type == "fdAT" && data.size() > 4) {
                if (!current || !seenData)
                    return false;
                current->data.push_back(data.mid(4));
            } else if (!seenData && type != "IHDR" && type != "acTL" && type != "fcTL") {
                // Palette, transparency, colour space: every frame's PNG carries them.
                m_beforeData.append(whole);
            } else if (type == "IEND") {
                break;
            }
        }
        std::erase_if(m_frames, [](const Control &control) { return control.data.empty(); });
        return animated && m_header.size() == 13;
    }

    QByteArray m_bytes;
    QByteArray m_header;
    QByteArray m_beforeData;
    std::vector<Control> m_frames;
    QSize m_size;
    QImage m_canvas;
    std::size_t m_next = 0;
    int m_playsLeft = -1;
};

// An AVIF picture sequence through libavif; it plays for ever.
class AvifSource : public Source
{
public:
    static std::unique_ptr<Source> Open(const QByteArray &nativePath)
    {
        std::optional<QByteArray> bytes = ReadWhole(nativePath);
        if (!bytes || bytes->mid(8, 4) != "avis")
            return nullptr;
        auto source = std::unique_ptr<AvifSource>(new AvifSource);
        source->m_bytes = std::move(*bytes);
        avifDecoder *decoder = source->m_decoder.get();
        if (!decoder)
            return nullptr;
        decoder->maxThreads = 1;
        decoder->imageDimensionLimit = 1 << 16;
        decoder->imageSizeLimit = uint32_t(DecodeBudget::Bytes / 12);
        if (avifDecoderSetIOMemory(decoder, reinterpret_cast<const uint8_t *>(source->m_bytes.constData()),
                                   size_t(source->m_bytes.size())) != AVIF_RESULT_OK ||
            avifDecoderParse(decoder) != AVIF_RESULT_OK || decoder->imageCount < 2)
            return nullptr;
        source->m_size = QSize(int(decoder->image->width), int(decoder->image->height));
        if (!FitsBudget(source->m_size))
            return nullptr;
        return source;
    }

    QSize size() const override { return m_size; }
    int frameCount() const override { return m_decoder->imageCount; }

    std::optional<Frame> next() override
    {
        avifDecoder *decoder = m_decoder.get();
        if (decoder->imageIndex + 1 >= decoder->imageCount && avifDecoderReset(decoder) != AVIF_RESULT_OK)
            return std::nullopt;
        if (avifDecoderNextImage(decoder) != AVIF_RESULT_OK ||
            QSize(int(decoder->image->width), int(decoder->image->height)) != m_size)
            return std::nullopt;
        QImage image(m_size, QImage::Format_RGBA8888_Premultiplied);
        if (image.isNull())
            return std::nullopt;
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, decoder->image);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.depth = 8;
        rgb.alphaPremultiplied = AVIF_TRUE;
        rgb.pixels = image.bits();
        rgb.rowBytes = uint32_t(image.bytesPerLine());
        if (avifImageYUVToRGB(decoder->image, &rgb) != AVIF_RESULT_OK)
            return std::nullopt;
        return Frame{image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     ClampedDelay(int(decoder->imageTiming.duration * 1000.0 + 0.5))};
    }

private:
    QByteArray m_bytes;
    std::unique_ptr<avifDecoder, void (*)(avifDecoder *)> m_decoder{avifDecoderCreate(), avifDecoderDestroy};
    QSize m_size;
};

} // namespace

bool MayAnimate(const QByteArray &head)
{
    if (head.startsWith("GIF8"))
        return true;
    if (head.startsWith("RIFF") && head.mid(8, 8) == "WEBPVP8X")
        return head.size() > 20 && (quint8(head[20]) & 0x02);
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        const qsizetype control = head.indexOf("acTL");
        const qsizetype data = head.indexOf("IDAT");
        return control > 0 && (data < 0 || control < data);
    }
    return head.mid(4, 4) == "ftyp" && head.mid(8, 4) == "avis";
}

int ClampedDelay(int milliseconds) { return milliseconds <= 10 ? 100 : milliseconds; }

std::unique_ptr<Source> Open(const QByteArray &nativePath)
{
    QFile file;
    if (NativeFile::KindOf(nativePath) != NativeFile::Kind::File || !NativeFile::Open(file, nativePath, QIODevice::ReadOnly))
        return nullptr;
    const QByteArray head = file.peek(4096);
    file.close();
    if (!MayAnimate(head))
        return nullptr;
    if (head.startsWith("GIF8") || (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP"))
        return QtSource::Open(nativePath);
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return ApngSource::Open(nativePath);
    if (head.mid(4, 4) == "ftyp" && head.mid(8, 4) == "avis")
        return AvifSource::Open(nativePath);
    return nullptr;
}

} // namespace Frames
