#include "jpegimage.h"

#include <QtEndian>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's default handler exits the process; jump back to the decoder instead.
[[noreturn]] void OnError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

// Everything that must survive a longjmp lives outside the function that calls setjmp.
bool Decode(jpeg_decompress_struct &cinfo, ErrorManager &err, const QByteArray &data, QImage &image)
{
    if (setjmp(err.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.num_components != 1 && cinfo.num_components != 3) {
        std::snprintf(err.message, sizeof err.message, "unsupported JPEG with %d components",
                      cinfo.num_components);
        return false;
    }
    // Straight into QImage's 0xAARRGGBB words; the alpha byte comes out as 0xFF.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGRA;
#else
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_ARGB;
#endif
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width > 32768 || cinfo.output_height > 32768) {
        std::snprintf(err.message, sizeof err.message, "JPEG too large");
        return false;
    }
    const QImage::Format format =
        cinfo.num_components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), format);
    if (image.isNull()) {
        std::snprintf(err.message, sizeof err.message, "out of memory");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray &data, QString *error)
{
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty JPEG data");
        return {};
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    QImage image;
    const bool ok = Decode(cinfo, err, data, image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (error)
            *error = QString::fromLocal8Bit(err.message);
        return {};
    }
    if (image.format() == QImage::Format_Grayscale8)
        image = image.convertToFormat(QImage::Format_RGB32);
    return image;
}
