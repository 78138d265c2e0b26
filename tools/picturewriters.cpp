#include "picturewriters.h"

#include <QDataStream>
#include <QFile>

#include <algorithm>
#include <vector>

namespace PictureWriters {

namespace {

class LittleEndian
{
public:
    void u8(int value) { m_bytes.append(static_cast<char>(value & 0xFF)); }
    void u16(int value) { u8(value); u8(value >> 8); }
    void u32(quint32 value) { u16(static_cast<int>(value & 0xFFFF)); u16(static_cast<int>(value >> 16)); }
    void bytes(const QByteArray &data) { m_bytes.append(data); }
    const QByteArray &data() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// A device-independent bitmap as icon entries hold it: 32-bit BGRA rows
// bottom-up, twice the height, followed by the 1-bit AND mask.
QByteArray iconDib(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    LittleEndian out;
    out.u32(40);
    out.u32(image.width());
    out.u32(image.height() * 2);
    out.u16(1);
    out.u16(32);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            out.u8(qBlue(pixel));
            out.u8(qGreen(pixel));
            out.u8(qRed(pixel));
            out.u8(qAlpha(pixel));
        }
    }
    const int maskStride = ((image.width() + 31) / 32) * 4;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) < 128)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out.bytes(row);
    }
    return out.data();
}

QByteArray iconFile(const QImage &image, int type, int field1, int field2)
{
    const QByteArray dib = iconDib(image);
    LittleEndian out;
    out.u16(0);
    out.u16(type);
    out.u16(1);
    out.u8(image.width() >= 256 ? 0 : image.width());
    out.u8(image.height() >= 256 ? 0 : image.height());
    out.u8(0);
    out.u8(0);
    out.u16(field1);
    out.u16(field2);
    out.u32(static_cast<quint32>(dib.size()));
    out.u32(22);
    out.bytes(dib);
    return out.data();
}

} // namespace

namespace {

// A frame's image descriptor and pixels: every pixel its own 9-bit code (a
// clear code before the table would need 10 bits keeps the code size fixed),
// with the frame's own colour table when local is set.
void GifFrame(LittleEndian &out, const QImage &source, bool local)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QList<QRgb> table = image.colorTable();
    table.resize(256, qRgb(0, 0, 0));
    const auto colours = [&] {
        for (QRgb colour : table) {
            out.u8(qRed(colour));
            out.u8(qGreen(colour));
            out.u8(qBlue(colour));
        }
    };
    if (!local)
        colours();
    out.u8(0x2C);
    out.u16(0);
    out.u16(0);
    out.u16(image.width());
    out.u16(image.height());
    out.u8(local ? 0x87 : 0); // a local colour table of 256 entries
    if (local)
        colours();
    out.u8(8); // minimum code size

    QByteArray codes;
    quint32 buffer = 0;
    int bits = 0;
    auto put = [&](int code) {
        buffer |= static_cast<quint32>(code) << bits;
        bits += 9;
        while (bits >= 8) {
            codes.append(static_cast<char>(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    };
    int sinceClear = 0;
    put(256);
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (sinceClear == 250) {
                put(256);
                sinceClear = 0;
            }
            put(line[x]);
            ++sinceClear;
        }
    }
    put(257);
    if (bits > 0)
        codes.append(static_cast<char>(buffer & 0xFF));
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        out.u8(static_cast<int>(block.size()));
        out.bytes(block);
    }
    out.u8(0);
}

void GifHeader(LittleEndian &out, QSize size, bool globalTable)
{
    out.bytes("GIF89a");
    out.u16(size.width());
    out.u16(size.height());
    out.u8(globalTable ? 0xF7 : 0); // a global colour table of 256 entries
    out.u8(0);
    out.u8(0);
}

} // namespace

QByteArray gif(const QImage &image)
{
    LittleEndian out;
    GifHeader(out, image.size(), true);
    GifFrame(out, image, false);
    out.u8(0x3B);
    return out.data();
}

QByteArray animatedGif(const QList<QImage> &frames, int delayMilliseconds)
{
    LittleEndian out;
    GifHeader(out, frames.isEmpty() ? QSize() : frames.first().size(), false);
    // Loops for ever.
    out.u8(0x21);
    out.u8(0xFF);
    out.u8(11);
    out.bytes("NETSCAPE2.0");
    out.u8(3);
    out.u8(1);
    out.u16(0);
    out.u8(0);
    for (const QImage &frame : frames) {
        out.u8(0x21);
        out.u8(0xF9);
        out.u8(4);
        out.u8(0x04); // each frame left in place for the next
        out.u16(delayMilliseconds / 10);
        out.u8(0);
        out.u8(0);
        GifFrame(out, frame, true);
    }
    out.u8(0x3B);
    return out.data();
}

QByteArray icon(const QImage &image) { return iconFile(image, 1, 1, 32); }

QByteArray cursor(const QImage &image, int hotspotX, int hotspotY)
{
    return iconFile(image, 2, hotspotX, hotspotY);
}

QByteArray metafileRectangle(int width, int height, int unitsPerInch, QRgb colour)
{
    LittleEndian records;
    auto record = [&](int function, std::initializer_list<int> words) {
        records.u32(static_cast<quint32>(3 + words.size()));
        records.u16(function);
        for (int word : words)
            records.u16(word);
    };
    record(0x020B, {0, 0});           // SetWindowOrg
    record(0x020C, {height, width});  // SetWindowExt
    record(0x02FA, {5, 0, 0, 0, 0});  // CreatePenIndirect: null pen
    record(0x012D, {0});              // SelectObject
    record(0x02FC, {0, 0xFFFF, 0x00FF, 0}); // CreateBrushIndirect: white
    record(0x012D, {1});
    record(0x041B, {height, width, 0, 0}); // Rectangle
    record(0x01F0, {1});              // DeleteObject of the white brush frees its slot
    record(0x02FC, {0, static_cast<int>((qGreen(colour) << 8) | qRed(colour)), qBlue(colour), 0});
    record(0x012D, {1});
    record(0x041B, {height * 3 / 4, width * 3 / 4, height / 4, width / 4});
    record(0x0000, {});               // end of file

    LittleEndian out;
    const int header[10] = {static_cast<int>(0xCDD7), 0x9AC6, 0, 0, 0, width, height, unitsPerInch, 0, 0};
    int checksum = 0;
    for (int word : header)
        checksum ^= word;
    for (int word : header)
        out.u16(word);
    out.u16(checksum);
    const quint32 words = 9 + static_cast<quint32>(records.data().size() / 2);
    out.u16(1);
    out.u16(9);
    out.u16(0x0300);
    out.u32(words);
    out.u16(2);
    out.u32(5);
    out.u16(0);
    out.bytes(records.data());
    return out.data();
}

namespace {

// A TIFF directory of little-endian entries, values of more than four bytes
// stored after it.
class TiffDirectory
{
public:
    enum Type { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SRational = 10 };

    void add(int tag, Type type, quint32 count, const QByteArray &value)
    {
        m_entries.push_back({quint16(tag), quint16(type), count, value});
    }
    void shorts(int tag, std::initializer_list<int> values)
    {
        LittleEndian out;
        for (int value : values)
            out.u16(value);
        add(tag, Short, quint32(values.size()), out.data());
    }
    void longs(int tag, std::initializer_list<quint32> values)
    {
        LittleEndian out;
        for (quint32 value : values)
            out.u32(value);
        add(tag, Long, quint32(values.size()), out.data());
    }
    void bytes(int tag, const QByteArray &values) { add(tag, Byte, quint32(values.size()), values); }
    void ascii(int tag, const QByteArray &text) { add(tag, Ascii, quint32(text.size() + 1), text + '\0'); }
    void rationals(int tag, Type type, std::initializer_list<std::pair<qint32, qint32>> values)
    {
        LittleEndian out;
        for (const auto &[numerator, denominator] : values) {
            out.u32(quint32(numerator));
            out.u32(quint32(denominator));
        }
        add(tag, type, quint32(values.size()), out.data());
    }
    // Replaces the value of a tag of LONGs once the file's layout is known.
    void setLongs(int tag, std::initializer_list<quint32> values)
    {
        for (Entry &entry : m_entries)
            if (entry.tag == tag) {
                LittleEndian out;
                for (quint32 value : values)
                    out.u32(value);
                entry.value = out.data();
            }
    }
    quint32 size() const
    {
        quint32 size = 2 + 12 * quint32(m_entries.size()) + 4;
        for (const Entry &entry : m_entries)
            if (entry.value.size() > 4)
                size += quint32(entry.value.size() + entry.value.size() % 2);
        return size;
    }
    // The directory as stored at offset at, followed by the one at next (0: none).
    QByteArray write(quint32 at, quint32 next) const
    {
        std::vector<Entry> sorted = m_entries;
        std::sort(sorted.begin(), sorted.end(), [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
        LittleEndian out;
        QByteArray extra;
        quint32 extraAt = at + 2 + 12 * quint32(sorted.size()) + 4;
        out.u16(int(sorted.size()));
        for (const Entry &entry : sorted) {
            out.u16(entry.tag);
            out.u16(entry.type);
            out.u32(entry.count);
            if (entry.value.size() <= 4) {
                out.bytes(entry.value + QByteArray(4 - entry.value.size(), '\0'));
                continue;
            }
            out.u32(extraAt + quint32(extra.size()));
            extra += entry.value;
            if (entry.value.size() % 2)
                extra += '\0';
        }
        out.u32(next);
        out.bytes(extra);
        return out.data();
    }

private:
    struct Entry
    {
        quint16 tag;
        quint16 type;
        quint32 count;
        QByteArray value;
    };
    std::vector<Entry> m_entries;
};

} // namespace

QByteArray dng(const Dng &picture)
{
    enum Tag {
        NewSubFileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259,
        Photometric = 262, Make = 271, Model = 272, StripOffsets = 273, Orientation = 274, SamplesPerPixel = 277,
        RowsPerStrip = 278, StripByteCounts = 279, PlanarConfiguration = 284, SubIfds = 330,
        CfaRepeatPatternDim = 33421, CfaPattern = 33422, DngVersion = 50706, DngBackwardVersion = 50707,
        UniqueCameraModel = 50708, WhiteLevel = 50717, ColorMatrix1 = 50721, AsShotNeutral = 50728,
        CalibrationIlluminant1 = 50778
    };
    const QImage thumbnail = picture.thumbnail.isNull() ? QImage(16, 16, QImage::Format_RGB888)
                                                        : picture.thumbnail.convertToFormat(QImage::Format_RGB888);
    const quint32 thumbnailBytes = quint32(thumbnail.width() * thumbnail.height() * 3);
    const quint32 rawBytes = quint32(picture.width) * quint32(picture.height) * 2;
    const bool preview = !picture.previewJpeg.isEmpty();

    TiffDirectory first;
    first.longs(NewSubFileType, {1});
    first.longs(ImageWidth, {quint32(thumbnail.width())});
    first.longs(ImageLength, {quint32(thumbnail.height())});
    first.shorts(BitsPerSample, {8, 8, 8});
    first.shorts(Compression, {1});
    first.shorts(Photometric, {2});
    first.ascii(Make, "KuRoE");
    first.ascii(Model, picture.model);
    first.longs(StripOffsets, {0});
    first.shorts(Orientation, {picture.orientation});
    first.shorts(SamplesPerPixel, {3});
    first.longs(RowsPerStrip, {quint32(thumbnail.height())});
    first.longs(StripByteCounts, {thumbnailBytes});
    first.shorts(PlanarConfiguration, {1});
    if (preview)
        first.longs(SubIfds, {0, 0});
    else
        first.longs(SubIfds, {0});
    first.bytes(DngVersion, QByteArray("\x01\x04\x00\x00", 4));
    first.bytes(DngBackwardVersion, QByteArray("\x01\x01\x00\x00", 4));
    first.ascii(UniqueCameraModel, "KuRoE " + picture.model);
    // sRGB's matrix from XYZ (D65), as a camera that sees as the screen shows.
    first.rationals(ColorMatrix1, TiffDirectory::SRational,
                    {{32406, 10000}, {-15372, 10000}, {-4986, 10000}, {-9689, 10000}, {18758, 10000},
                     {415, 10000}, {557, 10000}, {-2040, 10000}, {10570, 10000}});
    first.rationals(AsShotNeutral, TiffDirectory::Rational, {{1, 1}, {1, 1}, {1, 1}});
    first.shorts(CalibrationIlluminant1, {21});

    TiffDirectory raw;
    raw.longs(NewSubFileType, {0});
    raw.longs(ImageWidth, {quint32(picture.width)});
    raw.longs(ImageLength, {quint32(picture.height)});
    raw.shorts(BitsPerSample, {16});
    raw.shorts(Compression, {1});
    raw.shorts(Photometric, {32803});
    raw.longs(StripOffsets, {0});
    raw.shorts(SamplesPerPixel, {1});
    raw.longs(RowsPerStrip, {quint32(picture.height)});
    raw.longs(StripByteCounts, {rawBytes});
    raw.shorts(PlanarConfiguration, {1});
    raw.shorts(CfaRepeatPatternDim, {2, 2});
    raw.bytes(CfaPattern, QByteArray("\x00\x01\x01\x02", 4));
    raw.longs(WhiteLevel, {4095});

    TiffDirectory full;
    full.longs(NewSubFileType, {1});
    full.longs(ImageWidth, {quint32(picture.previewSize.width())});
    full.longs(ImageLength, {quint32(picture.previewSize.height())});
    full.shorts(BitsPerSample, {8, 8, 8});
    full.shorts(Compression, {7});
    full.shorts(Photometric, {6});
    full.longs(StripOffsets, {0});
    full.shorts(SamplesPerPixel, {3});
    full.longs(RowsPerStrip, {quint32(picture.previewSize.height())});
    full.longs(StripByteCounts, {quint32(picture.previewJpeg.size())});
    full.shorts(PlanarConfiguration, {1});

    const quint32 firstAt = 8;
    const quint32 rawAt = firstAt + first.size();
    const quint32 fullAt = rawAt + raw.size();
    const quint32 thumbnailAt = fullAt + (preview ? full.size() : 0);
    const quint32 jpegAt = thumbnailAt + thumbnailBytes + thumbnailBytes % 2;
    const quint32 jpegBytes = preview ? quint32(picture.previewJpeg.size()) : 0;
    const quint32 rawDataAt = jpegAt + jpegBytes + jpegBytes % 2;
    if (preview)
        first.setLongs(SubIfds, {rawAt, fullAt});
    else
        first.setLongs(SubIfds, {rawAt});
    first.setLongs(StripOffsets, {thumbnailAt});
    raw.setLongs(StripOffsets, {rawDataAt});
    full.setLongs(StripOffsets, {jpegAt});

    QByteArray file;
    file.reserve(qsizetype(rawDataAt) + rawBytes);
    file.append("II*\0", 4);
    LittleEndian header;
    header.u32(firstAt);
    file += header.data();
    file += first.write(firstAt, 0);
    file += raw.write(rawAt, 0);
    if (preview)
        file += full.write(fullAt, 0);
    for (int y = 0; y < thumbnail.height(); ++y)
        file.append(reinterpret_cast<const char *>(thumbnail.constScanLine(y)), thumbnail.width() * 3);
    file.resize(jpegAt);
    file += picture.previewJpeg;
    file.resize(qsizetype(rawDataAt) + rawBytes);
    std::vector<quint16> row(size_t(std::max(picture.width, 0)));
    auto *to = reinterpret_cast<uchar *>(file.data()) + rawDataAt;
    for (int y = 0; y < picture.height; ++y) {
        picture.rows(y, row.data());
        for (quint16 sample : row) {
            *to++ = uchar(sample & 0xFF);
            *to++ = uchar(sample >> 8);
        }
    }
    return file;
}

bool save(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace PictureWriters
