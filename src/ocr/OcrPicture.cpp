#include "ocr/OcrPicture.h"

#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <setjmp.h>
#include <vector>

namespace {

constexpr int kSmallestSide = 120;
constexpr int kMargin = 10;
constexpr int kMinCanvasWidth = 200;
constexpr int kMinCanvasHeight = 180;

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf escape;
};

// libjpeg reports fatal errors by calling this and expects no return.
void OnJpegError(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    longjmp(error->escape, 1);
}

void QuietJpegMessage(j_common_ptr) {}

} // namespace

QImage PrepareOcrCanvas(const QImage& picture) {
    const int w = picture.width();
    const int h = picture.height();
    if (w >= kSmallestSide && h >= kSmallestSide)
        return picture;
    QImage canvas(std::max(kMinCanvasWidth, w + 2 * kMargin),
                  std::max(kMinCanvasHeight, h + 2 * kMargin), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    // A target of the picture's own size in pixels: drawn at a point, a
    // capture from a scaled screen would shrink by its device pixel ratio.
    painter.drawImage(QRect(QPoint(kMargin, kMargin), picture.size()), picture);
    painter.end();
    return canvas;
}

QByteArray EncodeJpeg(const QImage& image, int quality) {
    if (image.isNull())
        return {};
    // Rows are converted one at a time into a 24-bit buffer: cheaper than a
    // converted copy of the whole picture and the same bytes for libjpeg.
    const QImage source =
        (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
         image.format() == QImage::Format_RGB888)
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    const int width = source.width();
    const int height = source.height();
    const bool packed = source.format() == QImage::Format_RGB888;

    jpeg_compress_struct info{};
    JpegError error{};
    unsigned char* buffer = nullptr;
    unsigned long bufferSize = 0;
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);

    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.manager.output_message = QuietJpegMessage;
    if (setjmp(error.escape)) {
        jpeg_destroy_compress(&info);
        free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &bufferSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        JSAMPROW rowPointer;
        if (packed) {
            rowPointer = const_cast<JSAMPLE*>(source.constScanLine(y));
        } else {
            const auto* pixels = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            JSAMPLE* out = row.data();
            for (int x = 0; x < width; ++x) {
                *out++ = static_cast<JSAMPLE>(qRed(pixels[x]));
                *out++ = static_cast<JSAMPLE>(qGreen(pixels[x]));
                *out++ = static_cast<JSAMPLE>(qBlue(pixels[x]));
            }
            rowPointer = row.data();
        }
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(bufferSize));
    jpeg_destroy_compress(&info);
    free(buffer);
    return result;
}
