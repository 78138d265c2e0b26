#pragma once

#include <QString>

#include <array>

// The picture types the settings dialog offers, in the order of their boxes
// and of their "CHKBOX" keys TYPE0, TYPE1, ...: the six of the frame
// "表示するｲﾒｰｼﾞﾀｲﾌﾟ" first, then the types of today's cameras, phones and
// web pages. Each box adds its pattern piece (wildcards without a dot,
// matched without regard to case) to the file list's pattern.
namespace PictureTypes {

struct Type
{
    const char *caption;
    const char *label;
    const char *piece;
};

// The boxes of the first frame.
constexpr int FirstFrameCount = 6;
constexpr int Count = 13;

const std::array<Type, Count> &All();

// The pattern with no settings file: every type.
QString DefaultPattern();

} // namespace PictureTypes
