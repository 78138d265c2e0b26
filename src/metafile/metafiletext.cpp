// The metafile player's text records: fonts, TextOut and ExtTextOut in the
// character set of the font.
#include "metafile/metafileplayer.h"

#include "metafile/metafilerecords.h"

#include <QPainter>
#include <QStringDecoder>

#include <cmath>

QString MetafilePlayer::DecodeText(const QByteArray &text, std::vector<int> &byteOfCharacter) const
{
    const char *encoding = "windows-1252";
    switch (m_state.font.charset) {
    case 128: encoding = "Shift_JIS"; break;
    case 129: encoding = "CP949"; break;
    case 134: encoding = "GBK"; break;
    case 136: encoding = "Big5"; break;
    case 161: encoding = "windows-1253"; break;
    case 162: encoding = "windows-1254"; break;
    case 177: encoding = "windows-1255"; break;
    case 178: encoding = "windows-1256"; break;
    case 186: encoding = "windows-1257"; break;
    case 204: encoding = "windows-1251"; break;
    case 222: encoding = "windows-874"; break;
    case 238: encoding = "windows-1250"; break;
    default: break;
    }
    QStringDecoder decoder(encoding);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Latin1);
    // Decoded byte by byte so that each character knows where its bytes
    // begin (double-byte character sets take one advance per byte).
    QString result;
    byteOfCharacter.clear();
    for (int i = 0; i < text.size(); ++i) {
        const QString piece = decoder.decode(QByteArrayView(text.constData() + i, 1));
        for (const QChar c : piece) {
            result.append(c);
            byteOfCharacter.push_back(i);
        }
    }
    const QString rest = decoder.decode(QByteArrayView());
    for (const QChar c : rest) {
        result.append(c);
        byteOfCharacter.push_back(static_cast<int>(text.size()) - 1);
    }
    // The lead byte of a double-byte character gives no character of its
    // own; its character starts there.
    int previousEnd = 0;
    for (size_t i = 0; i < byteOfCharacter.size(); ++i) {
        const int last = byteOfCharacter[i];
        byteOfCharacter[i] = previousEnd;
        previousEnd = last + 1;
    }
    return result;
}

void MetafilePlayer::DrawText(double x, double y, const QByteArray &text, const std::vector<qint16> &dx, int options,
                              const QRectF &rectangle)
{
    if (m_state.rop2 == 11)
        return;
    const Font &font = m_state.font;
    const bool updatePosition = m_state.textAlign & 1;
    const QPointF anchor = updatePosition ? m_state.position : Map(x, y);
    double pixelSize = MapHeight(font.height == 0 ? 12.0 : std::abs(font.height));
    if (font.height > 0)
        pixelSize *= 0.8;
    if (!(pixelSize > 0.05) || pixelSize > 100000.0)
        return;

    std::vector<int> byteOf;
    const QString decoded = DecodeText(text, byteOf);
    QFont face(font.face.isEmpty() ? QStringLiteral("Sans Serif") : font.face);
    face.setPixelSize(static_cast<int>(NominalFontPixels));
    face.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight / 1, 100, 900)));
    face.setItalic(font.italic);
    face.setUnderline(font.underline);
    face.setStrikeOut(font.strikeOut);
    face.setHintingPreference(QFont::PreferNoHinting);
    if (font.charset == 128)
        face.setFamilies({face.family(), QStringLiteral("Noto Sans CJK JP")});
    const QFontMetricsF metrics(face);
    const double scale = pixelSize / NominalFontPixels;

    // Advance of each character, in device pixels.
    std::vector<double> advances(static_cast<size_t>(decoded.size()));
    for (int i = 0; i < decoded.size(); ++i) {
        if (!dx.empty()) {
            const int first = byteOf[static_cast<size_t>(i)];
            const int last = i + 1 < decoded.size() ? byteOf[static_cast<size_t>(i) + 1] : static_cast<int>(text.size());
            double sum = 0;
            for (int b = first; b < last && b < static_cast<int>(dx.size()); ++b)
                sum += dx[static_cast<size_t>(b)];
            advances[static_cast<size_t>(i)] = MapWidth(sum);
        } else {
            advances[static_cast<size_t>(i)] = metrics.horizontalAdvance(decoded[i]) * scale + MapWidth(m_state.charExtra);
        }
    }
    double total = 0;
    for (double advance : advances)
        total += advance;

    double startX = 0;
    switch (m_state.textAlign & 6) {
    case 2: startX = -total; break;
    case 6: startX = -total / 2; break;
    default: break;
    }
    double baseline = 0;
    switch (m_state.textAlign & 0x18) {
    case 8: baseline = -metrics.descent() * scale; break;
    case 0x18: baseline = 0; break;
    default: baseline = metrics.ascent() * scale; break;
    }

    SetPainterState();
    if (options & 0x2)
        m_painter.fillRect(rectangle, m_state.backgroundColour);
    m_painter.save();
    if (options & 0x4)
        m_painter.setClipRect(rectangle, m_state.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    m_painter.translate(anchor);
    m_painter.rotate(-font.escapement / 10.0);
    if (m_state.backgroundMode == 2 && !(options & 0x2)) {
        m_painter.fillRect(QRectF(startX, baseline - metrics.ascent() * scale, total, metrics.height() * scale),
                           m_state.backgroundColour);
    }
    m_painter.scale(scale, scale);
    m_painter.setFont(face);
    m_painter.setPen(m_state.textColour);
    double penX = startX / scale;
    for (int i = 0; i < decoded.size(); ++i) {
        m_painter.drawText(QPointF(penX, baseline / scale), QString(decoded[i]));
        penX += advances[static_cast<size_t>(i)] / scale;
    }
    m_painter.restore();
    if (updatePosition)
        m_state.position = anchor + QPointF(startX + total, 0);
}

bool MetafilePlayer::PlayTextRecord(int function, const Params &p)
{
    State &s = m_state;
    switch (function) {
    case RecordTextOut: {
        const int length = p.s16(0);
        const int padded = length + (length & 1);
        if (length <= 0 || !p.has(2 + padded + 4))
            break;
        DrawText(p.s16(2 + padded + 2), p.s16(2 + padded), p.bytes(2, length), {}, 0, QRectF());
        break;
    }
    case RecordExtTextOut: {
        if (!p.has(8))
            break;
        const double y = p.s16(0);
        const double x = p.s16(2);
        const int length = p.s16(4);
        const int options = p.u16(6);
        int offset = 8;
        QRectF rectangle;
        if (options & 0x6) {
            if (!p.has(16))
                break;
            rectangle = MapRect(p.s16(8), p.s16(10), p.s16(12), p.s16(14));
            offset = 16;
        }
        if (length <= 0) {
            if (options & 0x2) {
                SetPainterState();
                m_painter.fillRect(rectangle, s.backgroundColour);
            }
            break;
        }
        const int padded = length + (length & 1);
        if (!p.has(offset + length))
            break;
        const QByteArray text = p.bytes(offset, length);
        std::vector<qint16> dx;
        if (p.has(offset + padded + length * 2)) {
            dx.reserve(static_cast<size_t>(length));
            for (int i = 0; i < length; ++i)
                dx.push_back(p.s16(offset + padded + i * 2));
        }
        DrawText(x, y, text, dx, options, rectangle);
        break;
    }
    case RecordCreateFontIndirect: {
        if (!p.has(18))
            break;
        Font font;
        font.height = p.s16(0);
        font.escapement = p.s16(4);
        font.weight = p.s16(8);
        font.italic = p.u8(10);
        font.underline = p.u8(11);
        font.strikeOut = p.u8(12);
        font.charset = p.u8(13);
        const QByteArray name = p.bytes(18, std::min(32, p.size() - 18));
        const int end = name.indexOf('\0');
        const QByteArray bare = end >= 0 ? name.left(end) : name;
        QStringDecoder decoder(font.charset == 128 ? "Shift_JIS" : "windows-1252");
        font.face = decoder.isValid() ? decoder.decode(bare) : QString::fromLatin1(bare);
        CreateObject(font);
        break;
    }
    default: return false;
    }
    return true;
}
