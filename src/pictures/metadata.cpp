#include "pictures/metadata.h"

#include "core/picturetypes.h"
#include "pictures/frames.h"

#include <exiv2/exiv2.hpp>

#include <QColorSpace>
#include <QDateTime>
#include <QLocale>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <optional>

namespace Metadata {

namespace {

std::mutex xmpLock;

void LockXmp(void *, bool lock)
{
    if (lock)
        xmpLock.lock();
    else
        xmpLock.unlock();
}

QString DateText(qint64 seconds, qint64 nanoseconds)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(seconds * 1000 + nanoseconds / 1000000);
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// The file's facts by its bytes' name: size and dates.
std::vector<Field> FileFields(const QByteArray &nativePath, const Shown &shown)
{
    std::vector<Field> fields{{QStringLiteral("名前"), shown.name}, {QStringLiteral("フォルダ"), shown.folder}};
    struct statx facts{};
    if (statx(AT_FDCWD, nativePath.constData(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &facts) != 0)
        return fields;
    fields.push_back({QStringLiteral("サイズ"), QStringLiteral("%1 バイト").arg(QLocale(QLocale::Japanese).toString(qulonglong(facts.stx_size)))});
    fields.push_back({QStringLiteral("更新日時"), DateText(facts.stx_mtime.tv_sec, facts.stx_mtime.tv_nsec)});
    if (facts.stx_mask & STATX_BTIME)
        fields.push_back({QStringLiteral("作成日時"), DateText(facts.stx_btime.tv_sec, facts.stx_btime.tv_nsec)});
    return fields;
}

// The type's name in the table of types for a MIME type exiv2 gives.
QString FormatName(const std::string &mime)
{
    const QByteArray wanted = QByteArray::fromStdString(mime);
    for (const PictureTypes::Type &type : PictureTypes::All())
        if (QByteArray(type.mimeTypes).split(' ').contains(wanted))
            return QString::fromUtf8(type.name);
    return QString::fromStdString(mime);
}

QString Printed(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end())
        return QString();
    return QString::fromStdString(found->print(&exif)).trimmed();
}

// Degrees of a GPS coordinate (three rationals) with its hemisphere's sign.
std::optional<double> Degrees(const Exiv2::ExifData &exif, const char *key, const char *referenceKey, char negative)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->count() != 3)
        return std::nullopt;
    double degrees = 0;
    for (long i = 0; i < 3; ++i) {
        const Exiv2::Rational part = found->toRational(i);
        if (part.second == 0)
            return std::nullopt;
        degrees += double(part.first) / part.second / std::pow(60.0, double(i));
    }
    const auto reference = exif.findKey(Exiv2::ExifKey(referenceKey));
    if (reference != exif.end() && !reference->toString().empty() && reference->toString()[0] == negative)
        degrees = -degrees;
    return degrees;
}

std::vector<Field> CameraFields(const Exiv2::ExifData &exif)
{
    std::vector<Field> fields;
    const auto add = [&](const char *label, QString value) {
        if (!value.isEmpty())
            fields.push_back({QString::fromUtf8(label), std::move(value)});
    };
    add("メーカー", Printed(exif, "Exif.Image.Make"));
    add("機種", Printed(exif, "Exif.Image.Model"));
    QString lens = Printed(exif, "Exif.Photo.LensModel");
    if (lens.isEmpty())
        lens = Printed(exif, "Exif.Photo.LensSpecification");
    add("レンズ", lens);
    add("露出時間", Printed(exif, "Exif.Photo.ExposureTime"));
    add("絞り値", Printed(exif, "Exif.Photo.FNumber"));
    add("ISO感度", Printed(exif, "Exif.Photo.ISOSpeedRatings"));
    add("焦点距離", Printed(exif, "Exif.Photo.FocalLength"));
    QString taken = Printed(exif, "Exif.Photo.DateTimeOriginal");
    if (taken.isEmpty())
        taken = Printed(exif, "Exif.Image.DateTime");
    // EXIF writes "2024:05:01 10:20:30"; the date is shown with slashes.
    for (int i = 0; i < std::min<int>(10, taken.size()); ++i)
        if (taken[i] == QLatin1Char(':'))
            taken[i] = QLatin1Char('/');
    add("撮影日時", taken);
    const std::optional<double> latitude = Degrees(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S');
    const std::optional<double> longitude = Degrees(exif, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'W');
    if (latitude && longitude)
        add("位置", QStringLiteral("%1, %2").arg(*latitude, 0, 'f', 6).arg(*longitude, 0, 'f', 6));
    return fields;
}

} // namespace

void Initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(LockXmp, nullptr);
        Exiv2::enableBMFF(true);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
}

std::vector<Section> Read(const QByteArray &nativePath, const Shown &shown)
{
    Initialise();
    std::vector<Section> sections{{QStringLiteral("ファイル"), FileFields(nativePath, shown)}};
    Section picture{QStringLiteral("画像"), {}};
    std::vector<Field> camera;
    QString format;
    QString profile = QStringLiteral("なし");
    try {
        const Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(nativePath.toStdString());
        if (image.get()) {
            image->readMetadata();
            format = FormatName(image->mimeType());
            // A RAW in a TIFF container is the RAW its name says.
            const QByteArray name = nativePath.mid(nativePath.lastIndexOf('/') + 1);
            if (PictureTypes::ReaderForName(name) == PictureTypes::Reader::raw)
                format = QStringLiteral("RAW (%1)").arg(QString::fromLatin1(name.mid(name.lastIndexOf('.') + 1).toUpper()));
            if (image->iccProfileDefined()) {
                const Exiv2::DataBuf *icc = image->iccProfile();
                const QColorSpace space = QColorSpace::fromIccProfile(
                    QByteArray(reinterpret_cast<const char *>(icc->pData_), qsizetype(icc->size_)));
                profile = space.isValid() && !space.description().isEmpty() ? space.description() : QStringLiteral("あり");
            }
            camera = CameraFields(image->exifData());
        }
    } catch (...) {
        // A file exiv2 cannot read, or reads only in part: what was read stays.
    }
    if (format.isEmpty())
        format = QStringLiteral("不明");
    picture.fields.push_back({QStringLiteral("形式"), format});
    if (!shown.pixels.isEmpty())
        picture.fields.push_back({QStringLiteral("ピクセル数"), QStringLiteral("%1 × %2").arg(shown.pixels.width()).arg(shown.pixels.height())});
    if (!shown.sensor.isEmpty())
        picture.fields.push_back({QStringLiteral("センサー"), QStringLiteral("%1 × %2").arg(shown.sensor.width()).arg(shown.sensor.height())});
    picture.fields.push_back({QStringLiteral("カラープロファイル"), profile});
    const std::unique_ptr<Frames::Source> frames = Frames::Open(nativePath);
    picture.fields.push_back({QStringLiteral("フレーム数"), QString::number(frames && frames->frameCount() > 0 ? frames->frameCount() : 1)});
    sections.push_back(std::move(picture));
    if (!camera.empty())
        sections.push_back({QStringLiteral("カメラ"), std::move(camera)});
    return sections;
}

QString AsText(const std::vector<Section> &sections)
{
    QStringList lines;
    for (const Section &section : sections) {
        if (!lines.isEmpty())
            lines.append(QString());
        lines.append(QStringLiteral("［%1］").arg(section.title));
        for (const Field &field : section.fields)
            lines.append(field.label + QStringLiteral("：") + field.value);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace Metadata
