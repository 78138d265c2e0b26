#include "core/picturetypes.h"

#include <QByteArray>
#include <QList>

#include <iterator>

namespace PictureTypes {

const std::array<Type, Count> &All()
{
    static constexpr Type table[] = {
#include "pictureformats.inc"
    };
    static_assert(std::size(table) == Count, "PictureTypes::Count is the number of rows of data/formats.tsv");
    static const std::array<Type, Count> types = std::to_array(table);
    return types;
}

QString DefaultPattern()
{
    // The first frame's types, then the others' names in the table's order.
    QString pattern = QStringLiteral("*wmf;*ICO;*.CUR;*.BMP;*.jpg;*.gif");
    for (const Type &type : All())
        pattern += QString::fromLatin1(type.defaultPiece);
    return pattern;
}

Reader ReaderForName(const QByteArray &name)
{
    const int dot = name.lastIndexOf('.');
    if (dot < 0)
        return Reader::content;
    const QByteArray wildcard = "*" + name.mid(dot).toUpper();
    for (const Type &type : All()) {
        if (type.reader == Reader::content)
            continue;
        for (const QByteArray &piece : QByteArray(type.piece).split(';'))
            if (piece == wildcard)
                return type.reader;
    }
    return Reader::content;
}

} // namespace PictureTypes
