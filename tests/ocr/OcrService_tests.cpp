// The recognition service against the loopback stand-in: each ending once,
// the body built before the transfer, the extractor chosen at the answer.
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "ocr/OcrService.h"

#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

class OcrServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        picture = dir.filePath("ocr.jpg");
        QImage image(64, 32, QImage::Format_RGB32);
        image.fill(Qt::white);
        ASSERT_TRUE(image.save(picture, "JPEG", 90));
    }
    std::optional<OcrResult> Recognise(OcrEngine engine, const QString& path) {
        std::optional<OcrResult> result;
        QEventLoop loop;
        service.OnFinished = [&](const OcrResult& r) {
            result = r;
            loop.quit();
        };
        if (!service.Start(engine, path, QStringLiteral("en")))
            return std::nullopt;
        if (!result) {
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return result;
    }

    TempHome home;
    ServiceStandIn standIn;
    QTemporaryDir dir;
    QString picture;
    OcrService service;
};

} // namespace

TEST_F(OcrServiceTest, EachEndingIsReportedAsItsOutcome) {
    const struct Row {
        const char* name;
        OcrEngine engine;
        const char* path;
        StandInAnswer answer;
        OcrOutcome outcome;
        QString text;
    } rows[] = {
        {"engine one", OcrEngine::One, kOcr1Path,
         StandInReply(R"({"words":"Hello"},{"words":"world"})"), OcrOutcome::Recognised,
         QStringLiteral("Hello\r\nworld\r\n")},
        {"engine two", OcrEngine::Two, kOcr2Path,
         StandInReply(R"({"state":0,"lines":["\u4f60\u597d"]})"), OcrOutcome::Recognised,
         QStringLiteral("你好\r\n")},
        {"unreadable escape",
         OcrEngine::Two,
         kOcr2Path,
         StandInReply(R"({"lines":["\uZZZZ"]})"),
         OcrOutcome::Unreadable,
         {}},
        {"error status",
         OcrEngine::One,
         kOcr1Path,
         StandInReply("", 500),
         OcrOutcome::HttpError,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        standIn.ClearRequests();
        standIn.SetAnswer(row.path, row.answer);
        const auto result = Recognise(row.engine, picture);
        ASSERT_TRUE(result);
        EXPECT_EQ(int(result->outcome), int(row.outcome));
        EXPECT_EQ(result->text, row.text);
        ASSERT_EQ(standIn.RequestCount(), 1);
        const StandInRequest request = standIn.Requests().front();
        EXPECT_EQ(request.path(), row.path);
        // The whole body went out as built from the picture, with its own boundary.
        const OcrUploadRequest built = BuildOcrUpload(row.engine, picture, QStringLiteral("en"));
        EXPECT_EQ(request.body.size(), built.body.size());
        EXPECT_FALSE(service.IsBusy());
    }
}

TEST_F(OcrServiceTest, NoPictureAndNoEngineSendNothing) {
    const auto missing = Recognise(OcrEngine::One, dir.filePath("gone.jpg"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(int(missing->outcome), int(OcrOutcome::NoPicture));

    qputenv("QUILLMATE_OCR1_URL", "http://127.0.0.1:1/ocrapi1");
    const auto unreachable = Recognise(OcrEngine::One, picture);
    ASSERT_TRUE(unreachable);
    EXPECT_EQ(int(unreachable->outcome), int(OcrOutcome::HostUnreachable));
    EXPECT_EQ(standIn.RequestCount(), 0);
}

TEST_F(OcrServiceTest, TheEngineCheckedWhenTheAnswerComesReadsIt) {
    standIn.SetAnswer(kOcr1Path, StandInReply(R"({"state":0,"lines":["a\u0062"]})"));
    service.EngineAtAnswer = [] { return OcrEngine::Two; };
    const auto result = Recognise(OcrEngine::One, picture);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, QStringLiteral("ab\r\n"));
}
