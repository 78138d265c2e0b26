#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <atomic>
#include <functional>
#include <optional>

// Cameras' RAW files (DNG, CR2, CR3, NEF, ARW, RAF, ORF, RW2, PEF and the
// others LibRaw knows) through LibRaw. What is shown is the largest preview
// the camera embedded, turned by the RAW's orientation: a JPEG through the
// program's own JPEG decoder at the smallest scale that gives the size
// wanted, or a bitmap. A RAW without a preview is developed, at half size
// when that is enough, within the decoding budget. Editors never rewrite a
// RAW file (they write sidecars), so its preview is the picture as it is.
// LibRaw lives on the heap with its memory limit set; what a step costs is
// reserved from the decoding budget before the step, from what the header
// says, and no step allocates more than the file's size before that.
namespace RawDecoder {

// Contents that only RAW files have (RAF, CRW, CR3, MRW, ORF, RW2, X3F,
// CR2); the RAW files in TIFF containers (DNG, NEF, ARW, PEF) are told by
// their names.
bool LooksLikeRaw(const QByteArray &head);

struct Decoded
{
    QImage image;
    // The size of what is shown (the preview, or the developed picture), upright.
    QSize natural;
    // The sensor's picture, upright.
    QSize sensor;
    bool developed = false;
};

struct Result
{
    std::optional<Decoded> decoded;
    // A final answer without a picture: over the budget, or cancelled.
    bool refused = false;
};

// atLeast: the upright size wanted for the upright natural size; no function
// for the natural size.
Result Decode(const QByteArray &nativePath, const std::function<QSize(QSize natural)> &atLeast,
              const std::atomic<bool> *cancelled);

// The size Decode gives without atLeast, upright.
std::optional<QSize> NaturalSize(const QByteArray &nativePath);

// When the photo was taken (its date read as UTC, as JPEG photos' are), in
// seconds since 1970.
std::optional<qint64> DateTaken(const QByteArray &nativePath);

QString Version();

} // namespace RawDecoder
