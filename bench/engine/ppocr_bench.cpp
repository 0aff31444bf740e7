// Screen pictures read three ways in one run: PP-OCR (the engine's back end
// for Simplified Chinese and English, here on every picture, Traditional
// Chinese included, to compare), the engine's Tesseract back end, and the
// tesseract command line on the same JPEG with the same languages. For each:
// character accuracy per picture (blanks between Latin words counted), the
// warm median time per picture, and memory.
//
//   quill_ppocr_bench [runs]      (default 5 warm runs per picture; the command line 3)
#include "ScreenScenes.h"
#include "engine/PpOcrRecognizer.h"
#include "engine/Recognizer.h"
#include "ocr/OcrPicture.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
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

struct Reading {
    double accuracy = 0;
    double ms = 0;
};

template <class Read>
Reading Engine(Read read, const QByteArray& jpeg, const ScreenScene& scene, int runs) {
    const std::string_view picture(jpeg.constData(), size_t(jpeg.size()));
    engine::Recognition result = read(picture); // warms up
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        result = read(picture);
        times.push_back(Milliseconds(timer));
    }
    QStringList lines;
    for (const std::string& line : result.lines)
        lines << QString::fromStdString(line);
    return {CharacterAccuracy(lines.join('\n'), scene.text), Median(times)};
}

// The command line's text has Tesseract's blanks between CJK characters,
// which no reader wants: they are taken out where both sides are CJK, as the
// engine does.
QString WithoutCjkBlanks(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto wide = [](QChar c) { return c.unicode() >= 0x2E80; };
        if (text[i] == ' ' && i > 0 && i + 1 < text.size() && wide(text[i - 1]) &&
            wide(text[i + 1]))
            continue;
        out += text[i];
    }
    return out;
}

Reading CommandLine(const QString& file, const ScreenScene& scene, int runs, double& peakMiB) {
    std::vector<double> times;
    QString text;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start("tesseract", {file, "-", "-l", scene.languages, "--psm", "6"});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return {-1, -1};
        times.push_back(Milliseconds(timer));
        text = QString::fromUtf8(process.readAllStandardOutput());
    }
    QStringList lines;
    for (const QString& line : text.split('\n'))
        if (!line.trimmed().isEmpty())
            lines << WithoutCjkBlanks(line.simplified());
    // Peak memory of one more run, measured by the kernel.
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        const QByteArray path = file.toLocal8Bit();
        ::freopen("/dev/null", "w", stdout);
        ::freopen("/dev/null", "w", stderr);
        ::execlp("tesseract", "tesseract", path.constData(), "-", "-l", scene.languages, "--psm",
                 "6", nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    peakMiB = std::max(peakMiB, double(usage.ru_maxrss) / 1024.0);
    return {CharacterAccuracy(lines.join('\n'), scene.text), Median(times)};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int commandRuns = std::max(1, (runs + 1) / 2);

    const double start = ResidentMiB();
    engine::Error error;
    const auto ppOcr = engine::PpOcrRecognizer::Load(QUILL_PPOCR_MODEL_DIR, error);
    if (!ppOcr) {
        std::fprintf(stderr, "%s\n", error.text.c_str());
        return 1;
    }
    const double loaded = ResidentMiB();
    engine::Recognizer tesseract("/nonexistent");

    std::printf("%zu screen pictures as the desktop sends them (JPEG 90); warm median of %d "
                "runs, the command line %d\n\n",
                ScreenScenes().size(), runs, commandRuns);
    std::printf("%-22s %-12s %8s %8s %8s   %9s %9s %9s\n", "picture", "languages", "PP-OCR",
                "engine T", "command", "PP ms", "engine ms", "cmd ms");
    QTemporaryDir directory;
    std::vector<double> accuracy[3], times[3];
    double commandPeak = 0;
    for (const ScreenScene& scene : ScreenScenes()) {
        const QByteArray jpeg = EncodeJpeg(PrepareOcrCanvas(scene.picture));
        const QString file = directory.filePath(QString(scene.name).replace(' ', '_') + ".jpg");
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(jpeg);
        out.close();
        const auto readPpOcr = [&](std::string_view picture) { return ppOcr->Recognize(picture); };
        const auto readTesseract = [&](std::string_view picture) {
            return tesseract.Recognize(picture, scene.languages);
        };
        const Reading r[3] = {Engine(readPpOcr, jpeg, scene, runs),
                              Engine(readTesseract, jpeg, scene, runs),
                              CommandLine(file, scene, commandRuns, commandPeak)};
        for (int k = 0; k < 3; ++k) {
            accuracy[k].push_back(r[k].accuracy);
            times[k].push_back(r[k].ms);
        }
        std::printf("%-22s %-12s %8.3f %8.3f %8.3f   %9.1f %9.1f %9.1f\n", scene.name,
                    scene.languages, r[0].accuracy, r[1].accuracy, r[2].accuracy, r[0].ms, r[1].ms,
                    r[2].ms);
    }
    std::printf("\n%-35s %8s %8s %8s\n", "", "PP-OCR", "engine T", "command");
    const auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return sum / double(v.size());
    };
    std::printf("%-35s %8.3f %8.3f %8.3f\n", "mean accuracy", mean(accuracy[0]), mean(accuracy[1]),
                mean(accuracy[2]));
    std::printf("%-35s %8.3f %8.3f %8.3f\n", "worst picture",
                *std::min_element(accuracy[0].begin(), accuracy[0].end()),
                *std::min_element(accuracy[1].begin(), accuracy[1].end()),
                *std::min_element(accuracy[2].begin(), accuracy[2].end()));
    std::printf("%-35s %8.1f %8.1f %8.1f\n", "median of the pictures' medians, ms",
                Median(times[0]), Median(times[1]), Median(times[2]));
    std::printf("%-35s %8.3f %8.3f %8.3f\n", "time ratio to the command line",
                Median(times[0]) / Median(times[2]), Median(times[1]) / Median(times[2]), 1.0);
    std::printf("\nmemory: this process %.1f MiB at start, %.1f with PP-OCR loaded, %.1f after "
                "all pictures with both back ends; the command line's peak %.1f MiB\n",
                start, loaded, ResidentMiB(), commandPeak);
    return 0;
}
