// Warm recognition of a 400 x 120 crop of two lines, English and Simplified
// Chinese, beside the tesseract command line on the same JPEG with the same
// language set and page segmentation, in the same run; and the resident
// memory of the recogniser as it loads language sets.
//
//   quill_recognize_bench [runs]      (default 20 runs per row; the command line 10)
#include "engine/Recognizer.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Sample {
    const char* name;
    QString family;
    QStringList lines;
    const char* languages;
};

QByteArray RenderCrop(const Sample& sample) {
    QImage image(400, 120, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(sample.family);
    font.setPixelSize(16);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(16, 45, sample.lines[0]);
    painter.drawText(16, 80, sample.lines[1]);
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return jpeg;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Milliseconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

struct CommandLine {
    double median = 0;
    QString text;
};

CommandLine RunCommandLine(const QString& file, const char* languages, int runs, bool oneThread) {
    CommandLine result;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (oneThread)
            environment.insert("OMP_THREAD_LIMIT", "1");
        process.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        process.start("tesseract", {file, "-", "-l", languages, "--psm", "6"});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return {-1, QString::fromLocal8Bit(process.readAllStandardError())};
        times.push_back(Milliseconds(timer));
        result.text = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    result.median = Median(times);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int commandRuns = std::max(1, runs / 2);

    const Sample samples[] = {
        {"Chinese",
         "Noto Sans CJK SC",
         {"会议将在明天上午九点开始，", "请大家准时参加并带上报告。"},
         "chi_sim+eng"},
        {"English",
         "DejaVu Sans",
         {"The meeting starts at nine tomorrow.", "Please bring the report and a pen."},
         "chi_sim+eng"},
        {"English",
         "DejaVu Sans",
         {"The meeting starts at nine tomorrow.", "Please bring the report and a pen."},
         "eng"},
    };
    QTemporaryDir directory;
    std::vector<QByteArray> pictures;
    for (const Sample& sample : samples)
        pictures.push_back(RenderCrop(sample));

    std::printf("400 x 120 crop, two lines of 16 px text, JPEG quality 90; %d warm runs, "
                "command line %d runs\n\n",
                runs, commandRuns);
    std::printf("%-8s %-12s %10s %10s %12s %8s %14s %8s\n", "text", "languages", "first ms",
                "warm ms", "command ms", "ratio", "command 1 thr", "ratio");
    const long before = ResidentKiB();
    std::vector<long> resident;
    engine::Recognizer recognizer;
    for (size_t s = 0; s < std::size(samples); ++s) {
        const Sample& sample = samples[s];
        const std::string_view picture(pictures[s].constData(), size_t(pictures[s].size()));
        QElapsedTimer timer;
        timer.start();
        engine::Recognition result = recognizer.Recognize(picture, sample.languages);
        const double first = Milliseconds(timer);
        if (result.error) {
            std::printf("%s: %s\n", sample.name, result.error.text.c_str());
            return 1;
        }
        std::vector<double> warm;
        for (int i = 0; i < runs; ++i) {
            timer.restart();
            result = recognizer.Recognize(picture, sample.languages);
            warm.push_back(Milliseconds(timer));
        }
        resident.push_back(ResidentKiB());

        const QString file = directory.filePath(QString::number(s) + ".jpg");
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(pictures[s]);
        out.close();
        const CommandLine command = RunCommandLine(file, sample.languages, commandRuns, false);
        const CommandLine single = RunCommandLine(file, sample.languages, commandRuns, true);
        const double ours = Median(warm);
        std::printf("%-8s %-12s %10.1f %10.1f %12.1f %8.3f %14.1f %8.3f\n", sample.name,
                    sample.languages, first, ours, command.median, ours / command.median,
                    single.median, ours / single.median);
        QStringList read;
        for (const std::string& line : result.lines)
            read << QString::fromStdString(line);
        std::printf("         read: %s\n", read.join(" / ").toStdString().c_str());
        std::printf("         command line read: %s\n",
                    command.text.simplified().toStdString().c_str());
    }
    // A third set fills the recogniser's cache.
    recognizer.Recognize(std::string_view(pictures[0].constData(), size_t(pictures[0].size())),
                         "jpn+eng");
    resident.push_back(ResidentKiB());

    std::printf("\nresident memory (VmRSS)\n");
    std::printf("  before any recognition           %8.1f MiB\n", before / 1024.0);
    std::printf("  after chi_sim+eng                %8.1f MiB (+%.1f)\n", resident[1] / 1024.0,
                (resident[1] - before) / 1024.0);
    std::printf("  after chi_sim+eng, eng           %8.1f MiB (+%.1f)\n", resident[2] / 1024.0,
                (resident[2] - resident[1]) / 1024.0);
    std::printf("  after a third set, jpn+eng       %8.1f MiB (+%.1f)\n", resident[3] / 1024.0,
                (resident[3] - resident[2]) / 1024.0);
    return 0;
}
