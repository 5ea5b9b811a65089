#include "library/Preview.h"

#include "library/FileListing.h"
#include "library/JpegImage.h"
#include "library/PreviewCache.h"
#include "settings/TextFile.h"

namespace Preview
{

QStringList visibleLines(const QStringList &lines, const PreviewOptions &options)
{
    if (!options.limitLines)
        return lines;
    bool ok = false;
    const int n = options.lineCount.trimmed().toInt(&ok);
    if (!ok || n <= 0)
        return {};
    return lines.mid(0, n);
}

PreviewResult load(const QString &filePath, const QString &checkImage,
                   const PreviewOptions &options, PreviewCache *cache)
{
    PreviewResult result;
    result.filePath = filePath;
    QStringList lines;
    if (!TextFile::readLines(filePath, &lines, nullptr))
        return result;
    result.readable = true;
    result.lines = visibleLines(lines, options);
    if (checkImage == u"Y") {
        result.picturePath = FileListing::existingPicture(filePath);
        if (!result.picturePath.isEmpty())
            result.picture = cache ? cache->load(result.picturePath, options.pictureSize)
                                   : JpegImage::load(result.picturePath, options.pictureSize);
    }
    return result;
}

} // namespace Preview
