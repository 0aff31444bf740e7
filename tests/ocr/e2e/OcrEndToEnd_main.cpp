// Image text recognition the way a person does it, on a real X server: start
// quillmate, click its button, drag a region over a window with known content,
// press Enter, and look at what the engine received and what the source box
// shows. Once with the engines on the loopback stand-in, once with no engine
// configured, where the program starts its own local engine.
// Needs QUILL_X_DISPLAY (scripts/test.sh provides one); skipped without it.
#include "../XSession.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QByteArray kAnswer = R"({"items":[{"words":"Hello world"},{"words":"Second line"}]})";

QString Xdotool(const QStringList& args) {
    QProcess process;
    process.start("xdotool", args);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Four known colours, one per quarter.
class Target : public PlacedWindow {
public:
    static QColor Quarter(int column, int row) {
        static const QColor colours[2][2] = {{QColor(220, 0, 0), QColor(0, 180, 0)},
                                             {QColor(0, 0, 220), QColor(230, 200, 0)}};
        return colours[row][column];
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int w = width() / 2, h = height() / 2;
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column)
                painter.fillRect(column * w, row * h, w, h, Quarter(column, row));
    }
};

bool Near(QRgb pixel, const QColor& colour) {
    return std::abs(qRed(pixel) - colour.red()) < 40 &&
           std::abs(qGreen(pixel) - colour.green()) < 40 &&
           std::abs(qBlue(pixel) - colour.blue()) < 40;
}

QRgb ScreenPixel(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

// Where the button and the source box lie inside the main window: the same
// code lays out the same window here as in the program.
struct Layout {
    QPoint button;
    QPoint memo;
    QPoint speaker;
    QRect buttonRow; // the six buttons left of "开 始 翻 译"
};

Layout MeasureLayout() {
    TempHome home;
    TForm1 form;
    form.show();
    WaitUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000);
    Wait(100);
    Layout layout{
        form.bsSkinButton8->mapTo(&form, form.bsSkinButton8->rect().center()),
        form.TntMemo1->mapTo(&form, form.TntMemo1->rect().center()),
        form.Image1->mapTo(&form, form.Image1->rect().center()),
        QRect(form.bsSkinButton1->mapTo(&form, QPoint(0, 0)),
              form.bsSkinButton8->mapTo(&form, form.bsSkinButton8->rect().bottomRight()))};
    form.hide();
    Wait(100);
    return layout;
}

} // namespace

// A fresh home for the program: its folders and the environment that points
// at them, on the test's X display.
struct ProgramHome {
    QTemporaryDir root;
    QString data = root.path() + "/data/quillmate";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    ProgramHome() {
        QDir().mkpath(data);
        QDir().mkpath(root.path() + "/config");
        env.insert("DISPLAY", qEnvironmentVariable("QUILL_X_DISPLAY"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("QT_SCALE_FACTOR");
        env.insert("HOME", root.path());
        env.insert("XDG_CONFIG_HOME", root.path() + "/config");
        env.insert("XDG_DATA_HOME", root.path() + "/data");
        env.insert("QUILLMATE_DATA_DIR", data);
        // A window of the user's own must not take the test's start over.
        env.insert("XDG_RUNTIME_DIR", root.path());
        for (const char* variable :
             {"QUILLMATE_OCR1_URL", "QUILLMATE_OCR2_URL", "QUILLMATE_TTS_URL"})
            env.remove(variable);
    }
};

// The running program and where its window stands.
struct RunningProgram {
    QProcess app;
    QPoint origin;

    ~RunningProgram() {
        app.terminate();
        if (!app.waitForFinished(5000))
            app.kill();
    }

    bool Start(const QProcessEnvironment& env) {
        app.setProcessEnvironment(env);
        app.start(QUILLMATE_PATH, {});
        if (!app.waitForStarted(10000))
            return false;
        QString window;
        if (!WaitUntil(
                [&] {
                    window = Xdotool({"search", "--onlyvisible", "--pid",
                                      QString::number(app.processId())})
                                 .section('\n', 0, 0);
                    return !window.isEmpty();
                },
                20000))
            return false;
        Wait(500);
        const QString geometry = Xdotool({"getwindowgeometry", "--shell", window});
        origin = QPoint(geometry.section("X=", 1).section('\n', 0, 0).toInt(),
                        geometry.section("Y=", 1).section('\n', 0, 0).toInt());
        return true;
    }

    void Click(const QPoint& inWindow) const {
        Xdotool({"mousemove", QString::number(origin.x() + inWindow.x()),
                 QString::number(origin.y() + inWindow.y()), "click", "1"});
    }
};

// Clicks the capture button and drags from one screen point to another once
// the frozen screen is up, then confirms with Enter.
bool CaptureRegion(const RunningProgram& program, const Layout& layout, const QPoint& probe,
                   const QPoint& from, const QPoint& to) {
    const QRgb unshaded = ScreenPixel(probe.x(), probe.y());
    program.Click(layout.button);
    // The overlay is up once the frozen screen shows shaded.
    if (!WaitUntil([&] { return ScreenPixel(probe.x(), probe.y()) != unshaded; }, 15000))
        return false;
    Wait(300);
    const QPoint middle = (from + to) / 2;
    Xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
             "mousemove", QString::number(middle.x()), QString::number(middle.y()), "mousemove",
             QString::number(to.x()), QString::number(to.y()), "sleep", "0.1", "mouseup", "1",
             "sleep", "0.2", "key", "Return"});
    return true;
}

// The source box's text, read as a person would: select all and copy.
bool SourceBoxShows(const RunningProgram& program, const Layout& layout, const QString& text,
                    int timeoutMs) {
    return WaitUntil(
        [&] {
            QApplication::clipboard()->clear();
            Wait(300);
            program.Click(layout.memo);
            Xdotool({"key", "ctrl+a", "key", "ctrl+c"});
            Wait(300);
            return QApplication::clipboard()->text().simplified() == text;
        },
        timeoutMs);
}

TEST(OcrEndToEnd, DragEnterUploadAndAnswer) {
    const Layout layout = MeasureLayout();
    ProgramHome home;

    QProcess standIn;
    const QString portFile = home.root.path() + "/port";
    const QString record = home.root.path() + "/requests.jsonl";
    standIn.start(STANDIN_PATH, {"--port-file", portFile, "--record", record, "--answer",
                                 QString("/ocrapi1 header=Content-Type:application/json body=") +
                                     QString::fromLatin1(kAnswer.toPercentEncoding())});
    ASSERT_TRUE(WaitUntil([&] { return QFile(portFile).size() > 0; }, 10000));
    QFile portText(portFile);
    ASSERT_TRUE(portText.open(QIODevice::ReadOnly));
    const QString base = "http://127.0.0.1:" + QString::fromLatin1(portText.readAll().trimmed());

    Target target;
    target.setGeometry(20, 20, 400, 300);
    target.show();
    Wait(200);

    home.env.insert("QUILLMATE_OCR1_URL", base + "/ocrapi1");
    home.env.insert("QUILLMATE_OCR2_URL", base + "/getocr");
    RunningProgram program;
    ASSERT_TRUE(program.Start(home.env));
    // Nothing manages the windows here, so ours must stay above the program's.
    target.raise();
    Wait(200);

    const QPoint probe(60, 60);
    ASSERT_TRUE(Near(ScreenPixel(probe.x(), probe.y()), Target::Quarter(0, 0)));
    // From inside the red quarter to inside the yellow one: 300 x 200 pixels.
    ASSERT_TRUE(CaptureRegion(program, layout, probe, {70, 70}, {370, 270}));

    ASSERT_TRUE(WaitUntil([&] { return !ReadRecordedRequests(record).isEmpty(); }, 20000));
    const QImage picture(home.data + "/ocr.jpg");
    EXPECT_EQ(picture.size(), QSize(300, 200));
    // Region from (70, 70): the quarters meet at (220, 170) on the screen.
    EXPECT_TRUE(Near(picture.pixel(20, 20), Target::Quarter(0, 0)));
    EXPECT_TRUE(Near(picture.pixel(280, 20), Target::Quarter(1, 0)));
    EXPECT_TRUE(Near(picture.pixel(20, 180), Target::Quarter(0, 1)));
    EXPECT_TRUE(Near(picture.pixel(280, 180), Target::Quarter(1, 1)));

    const StandInRequest request = ReadRecordedRequests(record).front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path(), "/ocrapi1");
    const QByteArray type = request.header("Content-Type");
    ASSERT_TRUE(type.startsWith("multipart/form-data; boundary=--------"));
    const QByteArray boundary = type.mid(type.indexOf('=') + 1);
    QFile jpeg(home.data + "/ocr.jpg");
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    const QByteArray expected =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"imgBase\"\r\n\r\n" +
        "data:image/jpeg;base64," + jpeg.readAll().toBase64() + "\r\n\r\n" + "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"lang\"\r\n\r\nauto\r\n" + "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"company\"\r\n\r\n\r\n" + "--" + boundary +
        "--\r\n";
    EXPECT_EQ(request.body, expected);

    QApplication::clipboard()->clear();
    Wait(1000);
    program.Click(layout.memo);
    Xdotool({"key", "ctrl+a", "key", "ctrl+c"});
    EXPECT_TRUE(WaitUntil(
        [&] { return QApplication::clipboard()->text().trimmed() == "Hello world\nSecond line"; },
        5000))
        << QApplication::clipboard()->text().toStdString();
    standIn.terminate();
    standIn.waitForFinished(5000);
}

// Known words on white, as a page in another program shows them.
class TextTarget : public PlacedWindow {
public:
    static QString Text() { return QStringLiteral("Hello from the local engine"); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(24);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(rect(), Qt::AlignCenter, Text());
    }
};

// Nothing configured: the program starts its own engine, which recognises the
// region and then reads the source box aloud into the speech cache.
TEST(OcrEndToEnd, LocalEngineRecognisesAndSpeaks) {
    const Layout layout = MeasureLayout();
    ProgramHome home;
    const QString runtime = home.root.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    home.env.insert("XDG_RUNTIME_DIR", runtime);
    // English as the source language, so the speaker reads the source box.
    QDir().mkpath(home.root.path() + "/config/quilltranslation");
    QFile settings(home.root.path() + "/config/quilltranslation/settings.reg");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\quilltranslation]\r\n"
                   "\"SourceLanguage\"=dword:00000003\r\n\"TargetLanguage\"=dword:00000000\r\n");
    settings.close();

    TextTarget target;
    target.setGeometry(20, 20, 460, 120);
    target.show();
    Wait(200);
    RunningProgram program;
    ASSERT_TRUE(program.Start(home.env));
    target.raise();
    Wait(200);

    ASSERT_TRUE(CaptureRegion(program, layout, {30, 30}, {30, 40}, {470, 130}));
    EXPECT_TRUE(SourceBoxShows(program, layout, TextTarget::Text(), 60000))
        << QApplication::clipboard()->text().toStdString();

    program.Click(layout.speaker);
    QString mp3;
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QFileInfoList files =
                QDir(home.data + "/quilltts").entryInfoList({"*.mp3"}, QDir::Files);
            if (files.isEmpty() || files.first().size() < 1000)
                return false;
            mp3 = files.first().filePath();
            return true;
        },
        30000));
    QFile audio(mp3);
    if (audio.open(QIODevice::ReadOnly)) {
        const QByteArray head = audio.read(3);
        EXPECT_TRUE(head == "ID3" || (uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0));
    }

    // The engine outlives the program on purpose; the test ends it.
    QFile published(runtime + "/quillmate/engine");
    ASSERT_TRUE(published.open(QIODevice::ReadOnly));
    const qint64 pid = published.readAll().split('\n').value(1).toLongLong();
    ASSERT_GT(pid, 0);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
}

// The program's own row of buttons, captured from the screen and read by its
// own engine: each caption arrives in the source box, in order.
TEST(OcrEndToEnd, LocalEngineReadsTheWindowsOwnButtonRow) {
    // Tesseract alone cannot read the bordered buttons; a build that could not
    // fetch the models (no npm registry) has said so already.
    if (!QFile::exists(QStringLiteral(QUILL_PPOCR_MODEL_DIR "/ch_PP-OCRv4_rec_infer.onnx")))
        GTEST_SKIP() << "no PP-OCR models in " << QUILL_PPOCR_MODEL_DIR;
    const Layout layout = MeasureLayout();
    ProgramHome home;
    const QString runtime = home.root.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    home.env.insert("XDG_RUNTIME_DIR", runtime);
    RunningProgram program;
    ASSERT_TRUE(program.Start(home.env));

    const QRect row = layout.buttonRow.translated(program.origin).adjusted(-4, -4, 4, 4);
    const QPoint probe = program.origin + layout.memo;
    ASSERT_TRUE(CaptureRegion(program, layout, probe, row.topLeft(), row.bottomRight()));
    const QString captions =
        QStringLiteral("清空文本 复制译文 智能升级 联系我们 使用帮助 图片文字识别");
    EXPECT_TRUE(SourceBoxShows(program, layout, captions, 60000))
        << QApplication::clipboard()->text().toStdString();

    QFile published(runtime + "/quillmate/engine");
    if (published.open(QIODevice::ReadOnly)) {
        const qint64 pid = published.readAll().split('\n').value(1).toLongLong();
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
}

int main(int argc, char** argv) {
    qunsetenv("QT_SCALE_FACTOR");
    return RunTestsOnXServer(argc, argv);
}
