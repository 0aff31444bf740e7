// Image text recognition through the real main window, offscreen, against the
// loopback stand-in. A stand-in capture library plays the user: it leaves a
// picture of a chosen size on the clipboard, or nothing.
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"
#include "base/Paths.h"
#include "http/TransferSettings.h"
#include "ocr/OcrService.h"
#include "translate/LanguageCatalog.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kConnectError = QStringLiteral("   连 接 服 务 器 错 误 ！请 稍 后 重 试 。");
const QByteArray kEngineOneAnswer =
    R"({"items":[{"words":"Hello world"},{"words":"Second line"}]})";
const QByteArray kEngineTwoAnswer = R"({"state":0,"lines":["\u4f60\u597d","world"]})";

struct Message {
    QString text;
    int kind;
    int buttons;
};

StandInAnswer Answer(const QByteArray& body, int status = 200, int delayMs = 0) {
    StandInAnswer a;
    a.status = status;
    a.headers = {{"Content-Type", "application/json;charset=UTF-8"}};
    a.body = body;
    a.headerDelayMs = delayMs;
    return a;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of a text part of a multipart body.
QByteArray PartValue(const QByteArray& body, const QByteArray& boundary, const QByteArray& name) {
    const QByteArray head = "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
    const qsizetype at = body.indexOf(head);
    if (at < 0)
        return "<missing>";
    const qsizetype from = at + head.size();
    const qsizetype end = body.indexOf("\r\n--" + boundary, from);
    return body.mid(from, end - from);
}

class OcrWindow : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            messages.append({text, kind, buttons});
            return int(TbsSkinMessage::mrOk);
        });
        form = std::make_unique<TForm1>();
        form->show();
        picture = LocalAppDataPath() + "/ocr.jpg";
    }
    void TearDown() override {
        form.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
        qunsetenv("FAKE_PRSCRN_SIZE");
    }

    // What the user will choose in the next capture: "WxH", or "" to cancel.
    void UserChooses(const char* size) {
        const QString library = LocalAppDataPath() + "/PrScrn.dll";
        if (!QFile::exists(library)) {
            ASSERT_TRUE(QFile::copy(FAKE_PRSCRN_PATH, library));
        }
        qputenv("FAKE_PRSCRN_SIZE", size);
    }
    void Click() { form->bsSkinButton8Click(form->bsSkinButton8); }
    QString Memo() const { return form->TntMemo1->toPlainText(); }
    bool WaitIdle() {
        return WaitUntil([&] { return !form->Recognition().IsBusy(); }, 10000);
    }
    QByteArray Boundary(const StandInRequest& request) const {
        const QByteArray type = request.header("Content-Type");
        const QByteArray prefix = "multipart/form-data; boundary=";
        return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
    }

    TempHome home;
    ServiceStandIn standIn;
    std::unique_ptr<TForm1> form;
    QList<Message> messages;
    QString picture;
};

} // namespace

TEST_F(OcrWindow, EngineOneGetsTheBase64PictureAndItsLinesReplaceTheSource) {
    form->TntMemo1->setPlainText("earlier text");
    UserChooses("300x200");
    standIn.SetAnswer(kOcr1Path, Answer(kEngineOneAnswer));
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Memo() == "Hello world\nSecond line\n"; }))
        << Memo().toStdString();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(QImage(picture).size(), QSize(300, 200));

    ASSERT_EQ(standIn.RequestCount(), 1);
    const StandInRequest request = standIn.Requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), kOcr1Path);
    const QByteArray boundary = Boundary(request);
    ASSERT_EQ(boundary.size(), 23);
    EXPECT_TRUE(boundary.startsWith("--------"));
    EXPECT_TRUE(request.body.startsWith("--" + boundary + "\r\n"));
    EXPECT_TRUE(request.body.endsWith("\r\n--" + boundary + "--\r\n"));
    EXPECT_EQ(PartValue(request.body, boundary, "imgBase"),
              "data:image/jpeg;base64," + FileBytes(picture).toBase64() + "\r\n");
    EXPECT_EQ(PartValue(request.body, boundary, "lang"), "auto");
    EXPECT_EQ(PartValue(request.body, boundary, "company"), "");
    EXPECT_EQ(request.header("User-Agent"),
              "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/68.0.3440.84 Safari/537.36");
    EXPECT_EQ(request.header("Accept"), "text/html,application/xhtml+xml,application/xml;q=0.9,"
                                        "image/webp,image/apng,*/*;q=0.8");
    EXPECT_EQ(form->Recognition().Transfer().addHeaders.size(), 2);
    EXPECT_TRUE(form->bsSkinButton7->hasFocus() || !QGuiApplication::focusWindow());
}

TEST_F(OcrWindow, EngineTwoGetsTheFileAndTheSourceLanguage) {
    form->OCRServerID2->setChecked(true);
    const int english = form->SourceComboBox->findText(QStringLiteral("英语"));
    form->SourceComboBox->setCurrentIndex(english);
    UserChooses("50x30");
    standIn.SetAnswer(kOcr2Path, Answer(kEngineTwoAnswer));
    Click();
    ASSERT_TRUE(WaitUntil([&] { return Memo() == QStringLiteral("你好\nworld\n"); }))
        << Memo().toStdString();
    EXPECT_EQ(QImage(picture).size(), QSize(200, 180));

    ASSERT_EQ(standIn.RequestCount(), 1);
    const StandInRequest request = standIn.Requests().front();
    EXPECT_EQ(request.path(), kOcr2Path);
    const QByteArray boundary = Boundary(request);
    const QByteArray filePart = "--" + boundary +
                                "\r\nContent-Disposition: form-data; name=\"image\"; "
                                "filename=\"ocr.jpg\"\r\nContent-Type: image/jpg\r\n"
                                "Content-Transfer-Encoding: binary\r\n\r\n" +
                                FileBytes(picture) + "\r\n";
    EXPECT_TRUE(request.body.startsWith(filePart));
    EXPECT_EQ(PartValue(request.body, boundary, "from"), SourceSpeechCode(english).toLatin1());
    EXPECT_EQ(PartValue(request.body, boundary, "to"), "en");
}

TEST_F(OcrWindow, TheMenuAtAnswerTimeChoosesTheReader) {
    UserChooses("200x150");
    standIn.SetAnswer(kOcr1Path, Answer(kEngineTwoAnswer, 200, 400));
    Click();
    // Events keep flowing meanwhile: the upload reports its progress to this thread.
    ASSERT_TRUE(WaitUntil([&] { return standIn.RequestCount() == 1; }, 5000));
    form->OCRServerID2->setChecked(true);
    // Engine one's reader would find no line in this answer.
    EXPECT_TRUE(WaitUntil([&] { return Memo() == QStringLiteral("你好\nworld\n"); }))
        << Memo().toStdString();
}

TEST_F(OcrWindow, AnswersThatGiveNothingLeaveTheBoxEmpty) {
    const std::pair<bool, QByteArray> cases[] = {
        {false, R"(["\u12"])"},           // unreadable escape
        {false, R"({"lines":[]})"},       // no list
        {true, R"({"no":"words here"])"}, // engine one without a words marker
    };
    for (const auto& [engineOne, body] : cases) {
        form->TntMemo1->setPlainText("before");
        (engineOne ? form->OCRServerID1 : form->OCRServerID2)->setChecked(true);
        UserChooses("150x150");
        standIn.SetAnswer(engineOne ? kOcr1Path : kOcr2Path, Answer(body));
        Click();
        ASSERT_TRUE(WaitUntil([&] { return Memo().isEmpty(); })) << body.toStdString();
        EXPECT_TRUE(messages.isEmpty());
    }
}

// A hostile answer of megabytes would freeze the window while the box lays it
// out: the box gets at most 1,048,576 UTF-16 units, cut after a line that ends
// near that, else at that, but never between the halves of a character.
TEST_F(OcrWindow, AHugeAnswerIsCutBeforeItReachesTheBox) {
    constexpr qsizetype kBoxLimit = 1 << 20;
    QByteArray words = "{\"items\":[";
    QString lines;
    for (int i = 0; i < 40000; ++i) {
        const QByteArray line = QByteArray::number(i).rightJustified(8, '0') + QByteArray(90, 'w');
        words += "{\"words\":\"" + line + "\"},";
        lines += QString::fromLatin1(line) + '\n';
    }
    words += "]}";
    // A short line, then one far longer than the limit with a character
    // outside the BMP across it.
    const QString first = QStringLiteral("first line\n");
    QByteArray run;
    while (run.size() < kBoxLimit - first.size() - 1)
        run += "word ";
    run.truncate(kBoxLimit - first.size() - 1);
    const QByteArray list =
        "[\"first line\",\"" + run + "\xF0\x9F\x98\x80" + QByteArray(3 << 20, 'y') + "\"]";
    const struct {
        const char* name;
        bool engineOne;
        QByteArray answer;
        QString shown;
    } rows[] = {
        {"many lines", true, words, lines.left(lines.lastIndexOf('\n', kBoxLimit - 1) + 1)},
        {"one long line", false, list, first + QString::fromLatin1(run)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        (row.engineOne ? form->OCRServerID1 : form->OCRServerID2)->setChecked(true);
        UserChooses("150x150");
        standIn.SetAnswer(row.engineOne ? kOcr1Path : kOcr2Path, Answer(row.answer));
        Click();
        ASSERT_TRUE(WaitUntil([&] { return Memo().startsWith(row.shown.left(10)); }, 30000));
        EXPECT_EQ(Memo().size(), row.shown.size());
        EXPECT_TRUE(Memo() == row.shown);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(OcrWindow, CancelledCaptureSendsNothingAndSaysNothing) {
    QGuiApplication::clipboard()->setText("copied before");
    form->TntMemo1->setPlainText("kept");
    UserChooses("");
    Click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->Recognition().IsBusy());
    EXPECT_EQ(standIn.RequestCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Memo(), "kept");
    EXPECT_FALSE(QFile::exists(picture));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty()) << "emptied before the capture";
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(OcrWindow, FailedTransfersShowOneErrorAndKeepTheBox) {
    UserChooses("160x160");
    standIn.SetAnswer(kOcr1Path, Answer("busy", 503));
    Click();
    ASSERT_TRUE(WaitUntil([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(messages.front().text, kConnectError);
    EXPECT_EQ(messages.front().kind, 1);
    EXPECT_EQ(messages.front().buttons, 4);
    // The last progress text stays.
    EXPECT_TRUE(Memo().startsWith(QStringLiteral("正在识别图片，请稍等... 已完成 ")))
        << Memo().toStdString();
    EXPECT_TRUE(Memo().endsWith('%'));

    // Nothing listening: the host cannot be reached.
    messages.clear();
    form->TntMemo1->setPlainText("kept");
    qputenv("QUILLMATE_OCR1_URL", "http://127.0.0.1:1/ocrapi1");
    Click();
    ASSERT_TRUE(WaitUntil([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.front().text, kConnectError);
    standIn.PointEndpointsHere();
}

TEST_F(OcrWindow, ProgressIsShownInTheSourceBox) {
    for (quint8 percent : {0, 57, 100}) {
        form->OCRHttpUploadProgress(form.get(), 1000, 10 * percent, 0, 0, percent, 0);
        EXPECT_EQ(Memo(), QStringLiteral("正在识别图片，请稍等... 已完成 %1%").arg(percent));
    }
}

TEST_F(OcrWindow, ACaptureDuringAnUploadOverwritesThePictureButSendsNothing) {
    UserChooses("400x300");
    standIn.SetAnswer(kOcr1Path, Answer(kEngineOneAnswer, 200, 800));
    Click();
    ASSERT_TRUE(form->Recognition().IsBusy());
    UserChooses("500x350");
    Click();
    EXPECT_EQ(QImage(picture).size(), QSize(500, 350));
    ASSERT_TRUE(WaitIdle());
    QCoreApplication::processEvents();
    EXPECT_EQ(standIn.RequestCount(), 1);
}

TEST_F(OcrWindow, APictureGoneBeforeTheUploadSendsNothing) {
    // The body is built before the transfer starts: a picture that is gone by
    // then ends the recognition quietly, without a request (the service's
    // tests send it nothing), and the window shows nothing of it.
    form->TntMemo1->setPlainText("kept");
    form->OcrFinished({OcrOutcome::NoPicture, QStringLiteral("gone")});
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->Recognition().IsBusy());
    EXPECT_EQ(standIn.RequestCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Memo(), "kept");
}

// A region that cannot be stored (a folder in the picture's place, as a full
// disk would) is no picture: nothing is sent and nothing is said.
TEST_F(OcrWindow, APictureThatCannotBeWrittenSendsNothing) {
    ASSERT_TRUE(QDir().mkpath(picture));
    form->TntMemo1->setPlainText("kept");
    UserChooses("300x200");
    Click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->Recognition().IsBusy());
    EXPECT_EQ(standIn.RequestCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Memo(), "kept");
    EXPECT_FALSE(form->isMinimized());
}
