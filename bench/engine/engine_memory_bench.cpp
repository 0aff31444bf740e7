// Resident memory of quillmate-server: idle, after recognising Chinese and
// English (PP-OCR), after Japanese too (Tesseract), after a full screen of
// 1920 x 1080 (PP-OCR); each next to the peak of the tesseract command line
// on the same picture with the same languages, measured in this run.
//   quill_engine_memory_bench
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <curl/curl.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

double RssMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

QByteArray Picture(const QString& text) {
    QImage image(400, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(16);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect().adjusted(8, 8, -8, -8), Qt::TextWordWrap, text);
    painter.end();
    QTemporaryDir dir;
    image.save(dir.filePath("p.jpg"), "JPEG", 90);
    QFile file(dir.filePath("p.jpg"));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A full screen of text: forty lines of Chinese and English, 14 px.
QByteArray FullScreen() {
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int line = 0; line < 40; ++line)
        painter.drawText(40, 30 + line * 25,
                         QStringLiteral("第 %1 行：识别屏幕上的文字 Recognise the text on the "
                                        "screen, 会议将在明天上午九点开始，请准时参加。")
                             .arg(line + 1));
    painter.end();
    QTemporaryDir dir;
    image.save(dir.filePath("p.jpg"), "JPEG", 90);
    QFile file(dir.filePath("p.jpg"));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Peak resident memory of one tesseract command on the picture.
double CommandLinePeakMiB(const QByteArray& jpeg, const QString& languages) {
    QTemporaryDir dir;
    QFile file(dir.filePath("p.jpg"));
    file.open(QIODevice::WriteOnly);
    file.write(jpeg);
    file.close();
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        const QByteArray path = file.fileName().toLocal8Bit(), langs = languages.toLatin1();
        ::freopen("/dev/null", "w", stdout);
        ::freopen("/dev/null", "w", stderr);
        ::execlp("tesseract", "tesseract", path.constData(), "-", "-l", langs.constData(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Posts the picture as the program's engine two does; true on a 200 answer.
bool Recognise(const std::string& url, const QByteArray& jpeg, const std::string& from) {
    CURL* curl = curl_easy_init();
    curl_mime* form = curl_mime_init(curl);
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, "image");
    curl_mime_data(part, jpeg.constData(), static_cast<size_t>(jpeg.size()));
    curl_mime_filename(part, "ocr.jpg");
    curl_mime_type(part, "image/jpg");
    part = curl_mime_addpart(form);
    curl_mime_name(part, "from");
    curl_mime_data(part, from.c_str(), CURL_ZERO_TERMINATED);
    part = curl_mime_addpart(form);
    curl_mime_name(part, "to");
    curl_mime_data(part, "en", CURL_ZERO_TERMINATED);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, form);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t count, void*) { return size * count; });
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_mime_free(form);
    curl_easy_cleanup(curl);
    return status == 200;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QProcess server;
    server.start(QUILLMATE_SERVER_PATH, {"--workers", "1"});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const std::string base = QString::fromUtf8(server.readLine()).trimmed().toStdString();
    const qint64 pid = server.processId();

    std::printf("%-34s %10s %14s %8s\n", "state", "server MiB", "tesseract MiB", "ratio");
    // The worker loads PP-OCR's models as it starts, after the first line.
    QThread::sleep(2);
    std::printf("%-34s %10.1f\n", "idle", RssMiB(pid));
    const QByteArray chinese =
        Picture(QStringLiteral("识别屏幕上的文字 Recognise text\n第二行 second line"));
    const QByteArray japanese = Picture(QStringLiteral("日本語のテキストを認識します\n二行目"));
    const QByteArray screen = FullScreen();
    struct Step {
        const char* name;
        const QByteArray& picture;
        const char* code;
        const char* languages;
    } const steps[] = {
        {"after chi_sim+eng (from=zh)", chinese, "zh", "chi_sim+eng"},
        {"after jpn+eng too (from=jp)", japanese, "jp", "jpn+eng"},
        {"after a full screen (from=zh)", screen, "zh", "chi_sim+eng"},
    };
    for (const Step& step : steps) {
        if (!Recognise(base + "getocr", step.picture, step.code)) {
            std::fprintf(stderr, "recognition failed\n");
            return 1;
        }
        const double ours = RssMiB(pid);
        const double theirs = CommandLinePeakMiB(step.picture, step.languages);
        std::printf("%-34s %10.1f %14.1f %8.2f\n", step.name, ours, theirs, ours / theirs);
    }
    server.kill();
    server.waitForFinished();
    return 0;
}
