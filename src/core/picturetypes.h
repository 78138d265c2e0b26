#pragma once

#include <QString>

#include <array>

// The picture types the settings dialog offers, in the order of their boxes
// and of their "CHKBOX" keys TYPE0, TYPE1, ...: the six of the frame
// "表示するｲﾒｰｼﾞﾀｲﾌﾟ" first, then the types of today's cameras, phones and
// web pages. Each box adds its pattern piece (wildcards without a dot,
// matched without regard to case) to the file list's pattern. The table is
// data/formats.tsv, which the desktop entry and the package texts are made
// from too.
namespace PictureTypes {

// The reader a file's name chooses before its content does.
enum class Reader { content, raw };

struct Type
{
    const char *name;
    const char *caption;
    const char *label;
    // What the box adds to the pattern: ";piece;piece...".
    const char *piece;
    // What the type adds to the pattern used without a settings file.
    const char *defaultPiece;
    // Its MIME types, separated by spaces.
    const char *mimeTypes;
    Reader reader;
};

// The boxes of the first frame.
constexpr int FirstFrameCount = 6;
constexpr int Count = 14;

const std::array<Type, Count> &All();

// The pattern with no settings file: every type.
QString DefaultPattern();

// The reader a file's name (the last part of a path, any case) asks for.
Reader ReaderForName(const QByteArray &name);

} // namespace PictureTypes
