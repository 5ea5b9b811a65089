#pragma once
// JPEG pictures decoded through libjpeg, reduced while decoding when shown smaller.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace JpegImage
{

// Larger pictures are not decoded (a 12,000 x 10,000 photo still is); libjpeg's working
// memory is capped at MaxDecoderMemory bytes.
constexpr qint64 MaxPixels = 120'000'000;
constexpr long MaxDecoderMemory = 1024L * 1024 * 1024;

// A null image for a missing, unreadable, corrupt or truncated file; never a message or exit.
// With a valid target, the largest libjpeg reduction whose result still covers it is used.
// fullSize, when given, receives the picture's size before any reduction.
QImage load(const QString &path, const QSize &target = QSize(), QSize *fullSize = nullptr);
QImage decode(const QByteArray &data, const QSize &target = QSize(), QSize *fullSize = nullptr);

// The reduction (numerator over 8) chosen for a picture of size full shown at target.
int scaleNumerator(const QSize &full, const QSize &target);

} // namespace JpegImage
