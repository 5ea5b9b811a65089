// The JPEG module over corrupt files: a null image or a picture, never a crash, an exit or
// a huge allocation. The first two bytes give the preview size asked for.
#include "FuzzSupport.h"
#include "library/JpegImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::scratch();
    if (size < 2)
        return 0;
    const QSize target(data[0] * 4, data[1] * 4);
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    const QImage image = JpegImage::decode(bytes, target.isEmpty() ? QSize() : target);
    if (!image.isNull())
        Fuzz::check(image.width() > 0 && image.height() > 0, "empty picture");
    return 0;
}
