#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <array>
#include <optional>

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails, the
// freedesktop Thumbnail Managing Standard), which file managers fill and
// read too. A thumbnail is named after the MD5 of its file's URI and holds
// the URI and the file's modification time; it counts only while both match.
// Every read is bounded (a small file, a small picture), so a damaged or
// hostile PNG in the cache only counts as no thumbnail. Writes are atomic
// (a private temporary file renamed into place, mode 0600); a cache that
// cannot be written only means that no thumbnail is kept.
class SharedThumbnails
{
public:
    // folder: the cache's native folder ("…/thumbnails"); empty for none.
    explicit SharedThumbnails(QString folder) : m_folder(std::move(folder)) {}

    bool enabled() const { return !m_folder.isEmpty(); }

    // The file's URI from the bytes of its absolute path, percent-encoded.
    static QByteArray UriOf(const QByteArray &nativePath);

    struct Found
    {
        QImage image;
        // The picture's own size where the thumbnail records it, else empty.
        QSize natural;
    };
    // A valid thumbnail of at least side pixels where one is kept: "normal"
    // (128) when that is enough, else "large" (256), "x-large" (512) or
    // "xx-large" (1024).
    std::optional<Found> Read(const QByteArray &nativePath, qint64 modified, int side) const;
    // True when this program recorded that it could not read the file as it
    // is now (its contents and its state, changed at changed nanoseconds),
    // with the readers it has now.
    bool Failed(const QByteArray &nativePath, qint64 modified, qint64 changed) const;

    // Keeps the "normal" thumbnail of a picture (scaled within 128 pixels),
    // and those of the larger sizes up to keptSide pixels.
    void Write(const QByteArray &nativePath, qint64 modified, qint64 length, const QImage &picture,
               QSize natural, int keptSide = NormalSide) const;
    // The largest size kept for cells of cellSide device pixels: normal for
    // cells under 128 pixels, else the first of large, x-large and xx-large
    // that covers the cell.
    static int KeptSide(int cellSide);
    // Records that the file as it is now cannot be read by the readers of
    // this build (PictureLoader::Readers): with a reader added, or a library
    // that reads more, the file is read again.
    void WriteFailure(const QByteArray &nativePath, qint64 modified, qint64 changed) const;

    // The file is gone from its name (removed, or renamed: its thumbnails
    // are made again under the new one): what is kept for it goes too.
    void Forget(const QByteArray &nativePath) const;

    // Thumbnails are never made for the cache's own files.
    bool Holds(const QByteArray &nativePath) const;

    static constexpr int NormalSide = 128;
    static constexpr int LargeSide = 256;
    struct Size
    {
        const char *folder;
        int side;
    };
    static constexpr std::array<Size, 4> Sizes{
        {{"normal", NormalSide}, {"large", LargeSide}, {"x-large", 512}, {"xx-large", 1024}}};
    // An xx-large thumbnail of a grainy photo is about 3 MB.
    static constexpr qint64 ReadLimitBytes = 8 * 1024 * 1024;

private:
    QString PathOf(const QString &subfolder, const QByteArray &uri) const;
    bool Store(const QString &subfolder, const QByteArray &uri, const QImage &image) const;

    QString m_folder;
};
