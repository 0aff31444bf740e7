#include "TempHome.h"
#include "base/Paths.h"
#include "ocr/IdMultipartFormData.h"
#include "ocr/OcrRequest.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QDateTime kCreated(QDate(2024, 5, 16), QTime(14, 30, 5, 123));
const QByteArray kPicture("\xFF\xD8\r\n\0--x\xFF\xD9", 10);

QString WritePicture(const TempHome&, const QByteArray& bytes = kPicture) {
    const QString path = LocalAppDataPath() + "/ocr.jpg";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

QByteArray ReadInSmallSteps(QIODevice& device, int step) {
    QByteArray all;
    while (true) {
        const QByteArray piece = device.read(step);
        if (piece.isEmpty())
            break;
        all += piece;
    }
    return all;
}

} // namespace

TEST(Multipart, BoundaryIsEightHyphensAndTheLocalMoment) {
    EXPECT_EQ(TIdMultiPartFormDataStream::BoundaryFor(kCreated), "--------051624143005123");
    EXPECT_EQ(
        TIdMultiPartFormDataStream::BoundaryFor(QDateTime(QDate(2009, 12, 1), QTime(0, 0, 0, 7))),
        "--------120109000000007");
    TIdMultiPartFormDataStream now;
    EXPECT_EQ(now.Boundary().size(), 23);
}

TEST(Multipart, EngineOneBodyByteForByte) {
    TempHome home;
    const QByteArray picture = "abcd";
    const OcrUploadRequest request =
        BuildOcrUpload(OcrEngine::One, WritePicture(home, picture), "zh", kCreated);
    ASSERT_TRUE(request.ok) << request.error.toStdString();
    EXPECT_EQ(request.headers,
              QStringList({"Content-Type: multipart/form-data; boundary=--------051624143005123",
                           "Expect: 100-continue"}));
    const QByteArray golden = "----------051624143005123\r\n"
                              "Content-Disposition: form-data; name=\"imgBase\"\r\n"
                              "\r\n"
                              "data:image/jpeg;base64,YWJjZA==\r\n"
                              "\r\n"
                              "----------051624143005123\r\n"
                              "Content-Disposition: form-data; name=\"lang\"\r\n"
                              "\r\n"
                              "auto\r\n"
                              "----------051624143005123\r\n"
                              "Content-Disposition: form-data; name=\"company\"\r\n"
                              "\r\n"
                              "\r\n"
                              "----------051624143005123--\r\n";
    EXPECT_EQ(request.body, golden);
}

TEST(Multipart, EngineTwoBodyByteForByte) {
    TempHome home;
    const OcrUploadRequest request =
        BuildOcrUpload(OcrEngine::Two, WritePicture(home), "auto", kCreated);
    ASSERT_TRUE(request.ok) << request.error.toStdString();
    EXPECT_EQ(request.headers.size(), 2);
    const QByteArray golden =
        "----------051624143005123\r\n"
        "Content-Disposition: form-data; name=\"image\"; filename=\"ocr.jpg\"\r\n"
        "Content-Type: image/jpg\r\n"
        "Content-Transfer-Encoding: binary\r\n"
        "\r\n" +
        kPicture +
        "\r\n"
        "----------051624143005123\r\n"
        "Content-Disposition: form-data; name=\"from\"\r\n"
        "\r\n"
        "auto\r\n"
        "----------051624143005123\r\n"
        "Content-Disposition: form-data; name=\"to\"\r\n"
        "\r\n"
        "en\r\n"
        "----------051624143005123--\r\n";
    EXPECT_EQ(request.body, golden);
}

TEST(Multipart, MissingPictureSendsNothing) {
    TempHome home;
    for (OcrEngine engine : {OcrEngine::One, OcrEngine::Two}) {
        const OcrUploadRequest request =
            BuildOcrUpload(engine, LocalAppDataPath() + "/ocr.jpg", "auto", kCreated);
        EXPECT_FALSE(request.ok);
        EXPECT_FALSE(request.error.isEmpty());
        EXPECT_TRUE(request.body.isEmpty());
    }
}

TEST(Multipart, SizeMatchesEveryReadPattern) {
    TempHome home;
    const QString path = WritePicture(home, QByteArray(70000, 'j'));
    TIdMultiPartFormDataStream body(kCreated);
    body.AddTextField("a", "one");
    ASSERT_TRUE(body.AddFileField("image", path, "image/jpg"));
    body.AddTextField("empty", "");
    ASSERT_TRUE(body.AddFileField("again", path, ""));

    const QByteArray whole = body.readAll();
    EXPECT_EQ(whole.size(), body.size());
    EXPECT_TRUE(whole.endsWith("----------051624143005123--\r\n"));
    EXPECT_EQ(whole.count("Content-Type: image/jpeg\r\n"), 1) << "table type for an empty one";
    for (int step : {1, 7, 4096, 100000}) {
        ASSERT_TRUE(body.seek(0));
        EXPECT_EQ(body.pos(), 0);
        EXPECT_EQ(ReadInSmallSteps(body, step), whole) << step;
    }
}

TEST(Multipart, SeekAndWriteRules) {
    TIdMultiPartFormDataStream body(kCreated);
    body.AddTextField("lang", "auto");
    const QByteArray first = body.read(30);
    EXPECT_EQ(body.Seek(5, TIdMultiPartFormDataStream::soBeginning), 30);
    EXPECT_EQ(body.Seek(0, TIdMultiPartFormDataStream::soCurrent), 30);
    EXPECT_EQ(body.Seek(0, TIdMultiPartFormDataStream::soEnd), body.size());
    EXPECT_FALSE(body.seek(12));
    EXPECT_EQ(body.pos(), 30) << "no move";
    EXPECT_EQ(body.Seek(0, TIdMultiPartFormDataStream::soBeginning), 0);
    EXPECT_EQ(body.read(30), first);

    EXPECT_EQ(body.write("x", 1), -1);
    EXPECT_EQ(body.errorString(), "Unsupported operation.");
    body.seek(0);
    EXPECT_EQ(body.readAll().size(), body.size()) << "a refused write changes nothing";
}

TEST(Multipart, FileFieldsTakeTheNameAndATypeFromTheTable) {
    TempHome home;
    struct Case {
        const char* name;
        const char* type;
    };
    const Case cases[] = {{"a.JPG", "image/jpeg"},
                          {"b.png", "image/png"},
                          {"c.unknown", "application/octet-stream"},
                          {"noextension", "application/octet-stream"}};
    for (const Case& c : cases) {
        const QString path = home.path() + "/" + c.name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        TIdMultiPartFormDataStream body(kCreated);
        ASSERT_TRUE(body.AddFileField("f", path, ""));
        EXPECT_EQ(body.Fields().back()->ContentType, QByteArray(c.type)) << c.name;
        EXPECT_EQ(body.Fields().back()->FileName, QByteArray(c.name));
    }
    TIdMultiPartFormDataStream body(kCreated);
    EXPECT_FALSE(body.AddFileField("f", home.path() + "/none", ""));
    EXPECT_TRUE(body.Fields().empty());
}

TEST(Multipart, GrownFileDoesNotOverrunTheAnnouncedSize) {
    TempHome home;
    const QString path = WritePicture(home, "1234");
    TIdMultiPartFormDataStream body(kCreated);
    ASSERT_TRUE(body.AddFileField("image", path, "image/jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("56789");
    file.close();
    const QByteArray whole = body.readAll();
    EXPECT_EQ(whole.size(), body.size());
    EXPECT_TRUE(whole.contains("\r\n\r\n1234\r\n--"));
}
