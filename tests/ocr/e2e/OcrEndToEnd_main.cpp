// Image text recognition the way a person does it, on a real X server: start
// quillmate with its engines on the loopback stand-in, click its button, drag a
// region over a window with known content, press Enter, and look at what the
// stand-in received and what the source box shows.
// Needs QUILL_X_DISPLAY (scripts/test.sh provides one); skipped without it.
#include "../XSession.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
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
};

Layout MeasureLayout() {
    TempHome home;
    TForm1 form;
    form.show();
    WaitUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000);
    Wait(100);
    Layout layout{form.bsSkinButton8->mapTo(&form, form.bsSkinButton8->rect().center()),
                  form.TntMemo1->mapTo(&form, form.TntMemo1->rect().center())};
    form.hide();
    Wait(100);
    return layout;
}

} // namespace

TEST(OcrEndToEnd, DragEnterUploadAndAnswer) {
    const Layout layout = MeasureLayout();
    QTemporaryDir root;
    const QString data = root.path() + "/data/quillmate";
    QDir().mkpath(data);
    QDir().mkpath(root.path() + "/config");

    QProcess standIn;
    const QString portFile = root.path() + "/port";
    const QString record = root.path() + "/requests.jsonl";
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

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", qEnvironmentVariable("QUILL_X_DISPLAY"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("QT_SCALE_FACTOR");
    env.insert("HOME", root.path());
    env.insert("XDG_CONFIG_HOME", root.path() + "/config");
    env.insert("XDG_DATA_HOME", root.path() + "/data");
    env.insert("QUILLMATE_DATA_DIR", data);
    env.insert("QUILLMATE_OCR1_URL", base + "/ocrapi1");
    env.insert("QUILLMATE_OCR2_URL", base + "/getocr");
    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QUILLMATE_PATH, {});
    ASSERT_TRUE(app.waitForStarted(10000));

    QString window;
    ASSERT_TRUE(WaitUntil(
        [&] {
            window = Xdotool({"search", "--onlyvisible", "--pid", QString::number(app.processId())})
                         .section('\n', 0, 0);
            return !window.isEmpty();
        },
        20000));
    Wait(500);
    const QString geometry = Xdotool({"getwindowgeometry", "--shell", window});
    const int x = geometry.section("X=", 1).section('\n', 0, 0).toInt();
    const int y = geometry.section("Y=", 1).section('\n', 0, 0).toInt();
    // Nothing manages the windows here, so ours must stay above the program's.
    target.raise();
    Wait(200);

    const QPoint probe(60, 60);
    const QRgb unshaded = ScreenPixel(probe.x(), probe.y());
    ASSERT_TRUE(Near(unshaded, Target::Quarter(0, 0)));
    Xdotool({"mousemove", QString::number(x + layout.button.x()),
             QString::number(y + layout.button.y()), "click", "1"});
    // The overlay is up once the frozen screen shows shaded.
    ASSERT_TRUE(WaitUntil([&] { return ScreenPixel(probe.x(), probe.y()) != unshaded; }, 15000));
    Wait(300);
    // From inside the red quarter to inside the yellow one: 300 x 200 pixels.
    Xdotool({"mousemove", "70", "70", "mousedown", "1", "mousemove", "200", "150", "mousemove",
             "370", "270", "sleep", "0.1", "mouseup", "1", "sleep", "0.2", "key", "Return"});

    ASSERT_TRUE(WaitUntil([&] { return !ReadRecordedRequests(record).isEmpty(); }, 20000));
    const QImage picture(data + "/ocr.jpg");
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
    QFile jpeg(data + "/ocr.jpg");
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    const QByteArray expected =
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"imgBase\"\r\n\r\n" +
        "data:image/jpeg;base64," + jpeg.readAll().toBase64() + "\r\n\r\n" + "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"lang\"\r\n\r\nauto\r\n" + "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"company\"\r\n\r\n\r\n" + "--" + boundary +
        "--\r\n";
    EXPECT_EQ(request.body, expected);

    // Read the source box as a person would: select all and copy.
    QApplication::clipboard()->clear();
    Wait(1000);
    Xdotool({"mousemove", QString::number(x + layout.memo.x()),
             QString::number(y + layout.memo.y()), "click", "1", "key", "ctrl+a", "key", "ctrl+c"});
    EXPECT_TRUE(WaitUntil(
        [&] { return QApplication::clipboard()->text().trimmed() == "Hello world\nSecond line"; },
        5000))
        << QApplication::clipboard()->text().toStdString();

    app.terminate();
    if (!app.waitForFinished(5000))
        app.kill();
    standIn.terminate();
    standIn.waitForFinished(5000);
}

int main(int argc, char** argv) {
    qunsetenv("QT_SCALE_FACTOR");
    return RunTestsOnXServer(argc, argv);
}
