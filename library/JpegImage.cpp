#include "library/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace
{

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated;
};

void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// Warnings go nowhere; the ones that mean missing picture data make the result null.
void emitMessage(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level < 0) {
        const int code = err->pub.msg_code;
        if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC)
            err->truncated = true;
        ++err->pub.num_warnings;
    }
}

void outputMessage(j_common_ptr) {}

int ceilDiv8(long long v, int num)
{
    return int((v * num + 7) / 8);
}

// Everything that must survive a longjmp lives here, outside the protected frame.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    QImage *image = nullptr;
    QSize full;
};

bool decodeInto(DecodeState &s, const QByteArray &data, const QSize &target)
{
    jpeg_decompress_struct &cinfo = s.cinfo;
    if (setjmp(s.err.jump))
        return false;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    // A corrupt header can claim gigapixels in a few hundred bytes, and libjpeg would
    // allocate the whole picture (a progressive one before its first line): such a file is
    // refused, and libjpeg's own working memory is capped as well.
    if (qint64(cinfo.image_width) * cinfo.image_height > JpegImage::MaxPixels)
        return false;
    cinfo.mem->max_memory_to_use = JpegImage::MaxDecoderMemory;

    const QSize full(int(cinfo.image_width), int(cinfo.image_height));
    s.full = full;
    cinfo.scale_num = unsigned(JpegImage::scaleNumerator(full, target));
    cinfo.scale_denom = 8;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        break;
    default:
        cinfo.out_color_space = JCS_RGB;
        break;
    }
    jpeg_start_decompress(&cinfo);

    const int w = int(cinfo.output_width), h = int(cinfo.output_height);
    const int comps = cinfo.output_components;
    const QImage::Format format = comps == 1   ? QImage::Format_Grayscale8
                                  : comps == 3 ? QImage::Format_RGB888
                                               : QImage::Format_RGB32;
    if (comps != 1 && comps != 3 && !(comps == 4 && cinfo.out_color_space == JCS_CMYK))
        return false;
    s.image = new QImage(w, h, format);
    if (s.image->isNull())
        return false;
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, JDIMENSION(w * comps), 1);
    // Adobe writes CMYK inverted; plain CMYK stores ink amounts.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, buffer, 1) != 1)
            return false;
        if (comps != 4) {
            memcpy(s.image->scanLine(y), buffer[0], size_t(w * comps));
            continue;
        }
        auto *out = reinterpret_cast<QRgb *>(s.image->scanLine(y));
        const JSAMPLE *in = buffer[0];
        for (int x = 0; x < w; ++x, in += 4) {
            int c = in[0], m = in[1], yy = in[2], k = in[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yy = 255 - yy;
                k = 255 - k;
            }
            out[x] = qRgb(c * k / 255, m * k / 255, yy * k / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    return !s.err.truncated;
}

} // namespace

namespace JpegImage
{

int scaleNumerator(const QSize &full, const QSize &target)
{
    if (!target.isValid() || target.isEmpty() || full.isEmpty())
        return 8;
    for (int num = 1; num < 8; ++num)
        if (ceilDiv8(full.width(), num) >= target.width() &&
            ceilDiv8(full.height(), num) >= target.height())
            return num;
    return 8;
}

QImage decode(const QByteArray &data, const QSize &target, QSize *fullSize)
{
    if (data.isEmpty())
        return {};
    DecodeState s;
    s.cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = errorExit;
    s.err.pub.emit_message = emitMessage;
    s.err.pub.output_message = outputMessage;
    s.err.truncated = false;
    jpeg_create_decompress(&s.cinfo);
    const bool ok = decodeInto(s, data, target);
    jpeg_destroy_decompress(&s.cinfo);
    QImage result;
    if (ok && s.image)
        result = std::move(*s.image);
    delete s.image;
    if (fullSize)
        *fullSize = result.isNull() ? QSize() : s.full;
    return result;
}

QImage load(const QString &path, const QSize &target, QSize *fullSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decode(file.readAll(), target, fullSize);
}

} // namespace JpegImage
