#include "core/picturetypes.h"

#include <QByteArray>
#include <QHash>
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
    // Asked for every file a folder loads: the names' endings are looked up, made once.
    static const QHash<QByteArray, Reader> readers = [] {
        QHash<QByteArray, Reader> byEnding;
        for (const Type &type : All())
            if (type.reader != Reader::content)
                for (const QByteArray &piece : QByteArray(type.piece).split(';'))
                    if (piece.startsWith("*."))
                        byEnding.insert(piece.mid(1), type.reader);
        return byEnding;
    }();
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? Reader::content : readers.value(name.mid(dot).toUpper(), Reader::content);
}

} // namespace PictureTypes
