#include "TempHome.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "ocr/OcrPicture.h"
#include "ocr/ScreenCapture.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

QImage Red(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    return image;
}

bool Near(QRgb pixel, QColor colour) {
    return std::abs(qRed(pixel) - colour.red()) < 24 &&
           std::abs(qGreen(pixel) - colour.green()) < 24 &&
           std::abs(qBlue(pixel) - colour.blue()) < 24;
}

// Offsets of a marker in a JPEG stream (segments are scanned, not guessed).
bool HasMarker(const QByteArray& jpeg, uchar marker) {
    for (qsizetype i = 2; i + 3 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF)
            return false;
        const uchar m = uchar(jpeg[i + 1]);
        if (m == marker)
            return true;
        if (m == 0xDA)
            return false;
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return false;
}

// The first entry of the first quantisation table.
int FirstQuantValue(const QByteArray& jpeg) {
    const qsizetype dqt = jpeg.indexOf("\xFF\xDB");
    return dqt < 0 ? -1 : uchar(jpeg[dqt + 5]);
}

struct FakeLibrary {
    QString path;
    explicit FakeLibrary(const char* size) {
        qputenv("FAKE_PRSCRN_SIZE", size);
        path = LocalAppDataPath() + "/PrScrn.dll";
    }
    ~FakeLibrary() { qunsetenv("FAKE_PRSCRN_SIZE"); }
    static void Copy(const QString& from, const QString& to) {
        QFile::remove(to);
        ASSERT_TRUE(QFile::copy(from, to));
    }
};

} // namespace

TEST(OcrPicture, CanvasRules) {
    struct Case {
        int w, h, canvasW, canvasH;
    };
    const Case cases[] = {{120, 120, 120, 120}, {119, 400, 200, 420}, {50, 30, 200, 180},
                          {300, 100, 320, 180}, {400, 119, 420, 180}, {1, 1, 200, 180},
                          {110, 170, 200, 190}, {640, 480, 640, 480}};
    for (const Case& c : cases) {
        TempHome home;
        const QString path = home.path() + "/ocr.jpg";
        ASSERT_TRUE(SaveFileAtomically(path, EncodeJpeg(PrepareOcrCanvas(Red(c.w, c.h)))));
        const QImage decoded(path);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(decoded.size(), QSize(c.canvasW, c.canvasH)) << c.w << "x" << c.h;
        if (c.canvasW != c.w) {
            // White margin, then the picture from (10, 10) at its own size.
            EXPECT_TRUE(Near(decoded.pixel(2, 2), Qt::white));
            if (c.w >= 8 && c.h >= 8) {
                EXPECT_TRUE(Near(decoded.pixel(10 + c.w / 2, 10 + c.h / 2), QColor(200, 30, 30)));
            }
            EXPECT_TRUE(Near(decoded.pixel(10 + c.w + 4, 10 + c.h + 4), Qt::white));
            EXPECT_TRUE(Near(decoded.pixel(c.canvasW - 3, c.canvasH - 3), Qt::white));
        }
    }
}

// A capture on a scaled screen arrives with its device pixel ratio set; the
// engines still get every device pixel, and the canvas rule counts them too.
TEST(OcrPicture, ScaledCapturesKeepTheirDevicePixels) {
    struct Case {
        qreal ratio;
        int w, h, canvasW, canvasH;
    };
    const Case cases[] = {{2, 100, 60, 200, 180},
                          {2, 119, 400, 200, 420},
                          {1.5, 90, 170, 200, 190},
                          {1.5, 300, 100, 320, 180},
                          {2, 240, 240, 240, 240}};
    for (const Case& c : cases) {
        QImage picture = Red(c.w, c.h);
        picture.setDevicePixelRatio(c.ratio);
        const QImage decoded = QImage::fromData(EncodeJpeg(PrepareOcrCanvas(picture)), "JPEG");
        EXPECT_EQ(decoded.size(), QSize(c.canvasW, c.canvasH)) << c.ratio << " " << c.w;
        if (c.canvasW == c.w)
            continue;
        // The picture's last row and column are drawn, and nothing beyond them.
        EXPECT_TRUE(Near(decoded.pixel(10 + c.w - 3, 10 + c.h - 3), QColor(200, 30, 30)))
            << c.ratio << " " << c.w;
        EXPECT_TRUE(Near(decoded.pixel(10 + c.w + 4, 10 + c.h / 2), Qt::white));
        EXPECT_TRUE(Near(decoded.pixel(10 + c.w / 2, 10 + c.h + 4), Qt::white));
    }
}

TEST(OcrPicture, BaselineQuality90ColourJpeg) {
    QImage image(256, 130, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x, y, 128));
    const QByteArray jpeg = EncodeJpeg(image);
    ASSERT_TRUE(jpeg.startsWith("\xFF\xD8"));
    EXPECT_TRUE(HasMarker(jpeg, 0xC0)) << "baseline frame";
    EXPECT_FALSE(HasMarker(jpeg, 0xC2)) << "not progressive";
    // libjpeg's luminance table starts at 16; quality 90 scales it by 0.2.
    EXPECT_EQ(FirstQuantValue(jpeg), 3);
    const QImage decoded = QImage::fromData(jpeg, "JPEG");
    EXPECT_FALSE(decoded.isGrayscale());
    EXPECT_TRUE(Near(decoded.pixel(200, 100), qRgb(200, 100, 128)));
    // The same picture in another pixel layout encodes to the same bytes.
    EXPECT_EQ(EncodeJpeg(image.convertToFormat(QImage::Format_RGB888)), jpeg);
    EXPECT_TRUE(EncodeJpeg(QImage()).isEmpty());
}

TEST(ScreenCapture, ConfirmedRegionBecomesThePicture) {
    TempHome home;
    FakeLibrary fake("50x30");
    int extracted = 0;
    const QString jpeg = LocalAppDataPath() + "/ocr.jpg";
    const auto result = CaptureScreenRegion(fake.path, jpeg, [&](const QString& path) {
        ++extracted;
        FakeLibrary::Copy(FAKE_PRSCRN_PATH, path);
    });
    EXPECT_EQ(result, CaptureResult::Captured);
    EXPECT_EQ(extracted, 1);
    EXPECT_EQ(QImage(jpeg).size(), QSize(200, 180));
    // Loaded for this one capture only.
    EXPECT_EQ(dlopen(QFile::encodeName(fake.path).constData(), RTLD_NOW | RTLD_NOLOAD), nullptr);

    // A library already in place is used as it is, without extracting.
    qputenv("FAKE_PRSCRN_SIZE", "640x130");
    EXPECT_EQ(CaptureScreenRegion(fake.path, jpeg, [&](const QString&) { ++extracted; }),
              CaptureResult::Captured);
    EXPECT_EQ(extracted, 1);
    EXPECT_EQ(QImage(jpeg).size(), QSize(640, 130));
}

TEST(ScreenCapture, FailuresWriteNoPicture) {
    TempHome home;
    const QString jpeg = LocalAppDataPath() + "/ocr.jpg";
    const QString library = LocalAppDataPath() + "/PrScrn.dll";

    // Nothing extractable: the load fails, the clipboard is left alone.
    QGuiApplication::clipboard()->setText("kept");
    EXPECT_EQ(CaptureScreenRegion(library, jpeg, [](const QString&) {}),
              CaptureResult::LibraryFailed);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");

    FakeLibrary::Copy(FAKE_NO_EXPORT_PATH, library);
    EXPECT_EQ(CaptureScreenRegion(library, jpeg, {}), CaptureResult::ExportMissing);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "") << "emptied once loaded";

    // Cancelled: whatever was copied before is gone too.
    FakeLibrary fake("");
    FakeLibrary::Copy(FAKE_PRSCRN_PATH, library);
    QGuiApplication::clipboard()->setText("copied before");
    EXPECT_EQ(CaptureScreenRegion(library, jpeg, {}), CaptureResult::NothingChosen);
    const QMimeData* left = QGuiApplication::clipboard()->mimeData();
    EXPECT_TRUE(!left || (!left->hasText() && !left->hasImage()));
    EXPECT_FALSE(QFile::exists(jpeg));

    // A folder standing where the picture goes: the write fails and says so.
    qputenv("FAKE_PRSCRN_SIZE", "300x300");
    ASSERT_TRUE(QDir().mkpath(jpeg));
    EXPECT_EQ(CaptureScreenRegion(library, jpeg, {}), CaptureResult::WriteFailed);
}
