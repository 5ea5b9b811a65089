#pragma once
// The preview job: a file's text (whole or its first lines) and its same-named picture.
#include <QImage>
#include <QSize>
#include <QStringList>

class PreviewCache;

struct PreviewResult {
    bool readable = false; // false: the file could not be read; the panes keep what they show
    QString filePath;
    QStringList lines;
    QString picturePath; // the picture file shown, or empty
    QImage picture;      // null when there is none or it could not be decoded
};

struct PreviewOptions {
    bool limitLines = false; // flag 2 of Check
    QString lineCount;       // General entry 3, decimal text
    QSize pictureSize;       // the preview area, for a reduced decode; invalid = full size
};

namespace Preview
{

// The lines shown for a file of `lines`: the first n when limited; none when the count is
// not a whole number or is n <= 0.
QStringList visibleLines(const QStringList &lines, const PreviewOptions &options);

// With a cache, the picture comes from it when it holds the picture as it is now.
PreviewResult load(const QString &filePath, const QString &checkImage,
                   const PreviewOptions &options, PreviewCache *cache = nullptr);

} // namespace Preview
