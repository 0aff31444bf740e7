// The capture step the window and the command line share: where the capture
// library comes from, and the picture made from a region or a file.
#include "TempHome.h"
#include "base/Paths.h"
#include "ocr/OcrCapture.h"
#include "storage/FileStorage.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class OcrCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = LocalAppDataPath();
        ASSERT_TRUE(QDir().mkpath(folder));
        library = folder + "/PrScrn.dll";
    }
    void TearDown() override { qunsetenv("FAKE_PRSCRN_SIZE"); }

    TempHome home;
    QString folder;
    QString library;
};

TEST_F(OcrCaptureTest, TheLibraryComesFromTheStoredFilesOnlyWhenMissing) {
    TFileStorage storage;
    storage.AddFile("PrScrn.dll", FileBytes(FAKE_PRSCRN_PATH));
    OcrCapture capture(folder, &storage);
    EXPECT_EQ(capture.PicturePath(), folder + "/ocr.jpg");

    qputenv("FAKE_PRSCRN_SIZE", "50x30");
    ASSERT_TRUE(capture.CaptureScreen());
    EXPECT_EQ(FileBytes(library), FileBytes(FAKE_PRSCRN_PATH));
    EXPECT_EQ(QImage(capture.PicturePath()).size(), QSize(200, 180));

    // A library in place is used as it is, whatever the stored one holds.
    TFileStorage other;
    other.AddFile("PrScrn.dll", "not a library");
    qputenv("FAKE_PRSCRN_SIZE", "300x150");
    EXPECT_TRUE(OcrCapture(folder, &other).CaptureScreen());
    EXPECT_EQ(QImage(capture.PicturePath()).size(), QSize(300, 150));
}

TEST_F(OcrCaptureTest, NothingRunsWithoutAFolderOrALibrary) {
    QGuiApplication::clipboard()->setText("kept");
    OcrCapture nowhere(QString{});
    EXPECT_TRUE(nowhere.PicturePath().isEmpty());
    EXPECT_FALSE(nowhere.CaptureScreen());

    TFileStorage empty;
    EXPECT_FALSE(OcrCapture(folder, &empty).CaptureScreen());
    EXPECT_FALSE(OcrCapture(folder).CaptureScreen());
    EXPECT_FALSE(QFile::exists(library));
    EXPECT_FALSE(QFile::exists(folder + "/ocr.jpg"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

TEST_F(OcrCaptureTest, APictureFileBecomesThePicture) {
    QTemporaryDir source;
    const QString small = source.filePath("small.png"), large = source.filePath("large.bmp"),
                  text = source.filePath("notes.png");
    QImage(50, 30, QImage::Format_RGB32).save(small);
    QImage(400, 130, QImage::Format_RGB32).save(large);
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
    notes.close();

    const struct {
        const char* name;
        QString file;
        bool blockPicture; // a folder where the picture goes
        QSize size;        // empty: refused
        QString error;     // how the refusal starts
    } rows[] = {
        {"small picture on the canvas", small, false, {200, 180}, {}},
        {"large picture as it is", large, false, {400, 130}, {}},
        {"not a picture", text, false, {}, QStringLiteral("无法读取图片：") + text},
        {"missing", source.filePath("gone.png"), false, {}, QStringLiteral("无法读取图片：")},
        {"picture cannot be written", small, true, {}, QStringLiteral("无法保存图片：")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OcrCapture capture(folder);
        QDir(capture.PicturePath()).removeRecursively();
        QFile::remove(capture.PicturePath());
        if (row.blockPicture) {
            ASSERT_TRUE(QDir().mkpath(capture.PicturePath()));
        }
        QString error;
        const bool taken = capture.TakePictureFile(row.file, error);
        EXPECT_EQ(taken, !row.size.isEmpty());
        if (taken) {
            QImageReader picture(capture.PicturePath());
            EXPECT_EQ(picture.format(), "jpeg");
            EXPECT_EQ(picture.size(), row.size);
        } else {
            EXPECT_TRUE(error.startsWith(row.error)) << error.toStdString();
        }
    }
}

} // namespace
