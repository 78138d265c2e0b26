#include "core/picturetypes.h"

namespace PictureTypes {

const std::array<Type, Count> &All()
{
    // A JPEG may be named .jpeg, .jpe or .jfif too; its box's own piece stays first.
    static const std::array<Type, Count> types{{
        {"　アイコンファイル", "(　*.ICO　)", ";*ICO"},
        {"　ビットマップファイル", "(　*.BMP　)", ";*BMP"},
        {"　JPEGファイル", "(　*.JPG　)", ";*JPG;*.JPEG;*.JPE;*.JFIF"},
        {"　GIFファイル", "(　*.GIF　)", ";*GIF"},
        {"　メタファイル", "(　*.wmf　)", ";*WMF"},
        {"　カーソルファイル", "(　*.CUR　)", ";*CUR"},
        {"　PNGファイル", "(　*.PNG　)", ";*.PNG"},
        {"　WebPファイル", "(　*.WEBP　)", ";*.WEBP"},
        {"　TIFFファイル", "(　*.TIF　)", ";*.TIF;*.TIFF"},
        {"　HEIFファイル", "(　*.HEIC　)", ";*.HEIC;*.HEIF"},
        {"　AVIFファイル", "(　*.AVIF　)", ";*.AVIF"},
        {"　JPEG XLファイル", "(　*.JXL　)", ";*.JXL"},
        {"　SVGファイル", "(　*.SVG　)", ";*.SVG"},
    }};
    return types;
}

QString DefaultPattern()
{
    return QStringLiteral("*wmf;*ICO;*.CUR;*.BMP;*.jpg;*.gif;*.jpeg;*.jpe;*.jfif;*.png;*.webp;*.tif;*.tiff;*.heic;*.heif;"
                          "*.avif;*.jxl;*.svg");
}

} // namespace PictureTypes
