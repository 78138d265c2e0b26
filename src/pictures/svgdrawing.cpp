#include "pictures/svgdrawing.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

// Entities may expand to at most this many characters in all.
constexpr qint64 EntityExpansionLimit = 1024 * 1024;

bool RefersOutside(const QXmlStreamAttribute &attribute)
{
    return attribute.name() == QLatin1String("href") &&
           !attribute.value().trimmed().startsWith(QLatin1String("data:"), Qt::CaseInsensitive) &&
           !attribute.value().trimmed().startsWith(QLatin1Char('#'));
}

// The document written again without its doctype (its entities expanded
// once, within bounds) and without references to images outside it.
std::optional<QByteArray> Checked(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    reader.setEntityExpansionLimit(int(EntityExpansionLimit));
    QByteArray out;
    QXmlStreamWriter writer(&out);
    bool sawSvg = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (!sawSvg && reader.name() != QLatin1String("svg"))
                return std::nullopt;
            sawSvg = true;
            // Written as it was named, its namespace declarations as attributes.
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration &declaration : reader.namespaceDeclarations())
                writer.writeAttribute(declaration.prefix().isEmpty() ? QStringLiteral("xmlns")
                                                                     : QStringLiteral("xmlns:") + declaration.prefix().toString(),
                                      declaration.namespaceUri().toString());
            const bool image = reader.name() == QLatin1String("image") || reader.name() == QLatin1String("use") ||
                               reader.name() == QLatin1String("feImage");
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                if (!image || !RefersOutside(attribute))
                    writer.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
            break;
        }
        case QXmlStreamReader::EndElement: writer.writeEndElement(); break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        default: break;
        }
        if (out.size() > 4 * SvgDrawing::LimitBytes)
            return std::nullopt;
    }
    if (reader.hasError() || !sawSvg)
        return std::nullopt;
    return out;
}

} // namespace

bool SvgDrawing::LooksLikeSvg(const QByteArray &head)
{
    const QByteArray start = head.left(4096);
    const qsizetype svg = start.indexOf("<svg");
    if (svg < 0)
        return false;
    // Only markup (a prolog, comments, a doctype) and blanks come before it.
    const QByteArray before = start.left(svg).trimmed();
    return before.isEmpty() || before.startsWith('<') || before.startsWith("\xEF\xBB\xBF<");
}

std::optional<SvgDrawing> SvgDrawing::Parse(const QByteArray &bytes)
{
    if (bytes.size() > LimitBytes)
        return std::nullopt;
    std::optional<QByteArray> document = Checked(bytes);
    if (!document)
        return std::nullopt;
    QSvgRenderer renderer(*document);
    if (!renderer.isValid())
        return std::nullopt;
    SvgDrawing drawing;
    drawing.m_document = std::move(*document);
    QSizeF natural = renderer.defaultSize();
    if (natural.isEmpty())
        natural = renderer.viewBoxF().size();
    if (natural.isEmpty())
        natural = QSizeF(300, 150);
    drawing.m_natural = natural;
    return drawing;
}

QImage SvgDrawing::Render(const QSize &size, const QRect &part) const
{
    const QRect area = part.isEmpty() ? QRect(QPoint(0, 0), size) : part;
    if (area.isEmpty() || qint64(area.width()) * area.height() > RasterLimitPixels)
        return QImage();
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QSvgRenderer renderer(m_document);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-area.topLeft());
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}
