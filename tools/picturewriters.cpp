#include "picturewriters.h"

#include <QDataStream>
#include <QFile>

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

QByteArray gif(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QList<QRgb> table = image.colorTable();
    table.resize(256, qRgb(0, 0, 0));

    LittleEndian out;
    out.bytes("GIF89a");
    out.u16(image.width());
    out.u16(image.height());
    out.u8(0xF7); // global colour table of 256 entries
    out.u8(0);
    out.u8(0);
    for (QRgb colour : table) {
        out.u8(qRed(colour));
        out.u8(qGreen(colour));
        out.u8(qBlue(colour));
    }
    out.u8(0x2C);
    out.u16(0);
    out.u16(0);
    out.u16(image.width());
    out.u16(image.height());
    out.u8(0);
    out.u8(8); // minimum code size

    // Every pixel is its own 9-bit code; a clear code before the table would
    // need 10 bits keeps the code size fixed.
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

bool save(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace PictureWriters
