// The picture's way to the engine: a 1920 x 1080 capture encoded as JPEG,
// written, read back as base64 and put into engine one's multipart body,
// beside the JPEG encode alone; and the base64 encoder's throughput.
#include "base/Files.h"
#include "common/OffscreenMain.h"
#include "ocr/IdMultipartFormData.h"
#include "ocr/OcrPicture.h"
#include "ocr/OcrRequest.h"
#include "ocr/mybase64.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <random>

namespace {

// Something like a screen: a light page with lines of dark text and a few
// coloured panels, so the encoder sees real edges rather than a flat fill.
QImage ScreenLikeImage() {
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor(248, 248, 246));
    QPainter painter(&image);
    painter.fillRect(0, 0, 1920, 40, QColor(40, 60, 90));
    painter.fillRect(0, 40, 260, 1040, QColor(230, 233, 238));
    painter.setPen(QColor(30, 30, 30));
    QFont font = painter.font();
    font.setPixelSize(15);
    painter.setFont(font);
    for (int y = 70; y < 1060; y += 22)
        painter.drawText(300, y,
                         QStringLiteral("The quick brown fox jumps over the lazy dog "
                                        "0123456789 — 敏捷的棕色狐狸跳过了懒狗。 "
                                        "Lorem ipsum dolor sit amet, consectetur."));
    painter.end();
    return image;
}

const QImage& Capture() {
    static const QImage image = ScreenLikeImage();
    return image;
}

void BM_JpegEncodeOnly(benchmark::State& state) {
    const QImage& image = Capture();
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = EncodeJpeg(PrepareOcrCanvas(image));
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_JpegEncodeOnly)->Unit(benchmark::kMillisecond);

void BM_JpegEncodeAndWrite(benchmark::State& state) {
    const QImage& image = Capture();
    QTemporaryDir dir;
    const QString path = dir.path() + "/ocr.jpg";
    for (auto _ : state)
        SaveFileAtomically(path, EncodeJpeg(PrepareOcrCanvas(image)));
}
BENCHMARK(BM_JpegEncodeAndWrite)->Unit(benchmark::kMillisecond);

// JPEG encode + base64 + multipart, all in memory: the work the path adds to
// the encode, without the disk.
void BM_CaptureToEngineOneBodyInMemory(benchmark::State& state) {
    const QImage& image = Capture();
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray jpeg = EncodeJpeg(PrepareOcrCanvas(image));
        QBuffer input(&jpeg);
        input.open(QIODevice::ReadOnly);
        QByteArray value = "data:image/jpeg;base64,";
        value.reserve(value.size() + (jpeg.size() + 2) / 3 * 4 + 2);
        QBuffer output(&value);
        output.open(QIODevice::Append);
        Base64EncodeStream(input, output, 0, 0);
        output.close();
        value += "\r\n";
        TIdMultiPartFormDataStream body;
        body.AddTextField("imgBase", value);
        body.AddTextField("lang", "auto");
        body.AddTextField("company", QByteArray());
        const QByteArray all = body.read(body.size());
        bytes = all.size();
        benchmark::DoNotOptimize(all.constData());
    }
    state.counters["body_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CaptureToEngineOneBodyInMemory)->Unit(benchmark::kMillisecond);

// The program's own way: the picture goes through "ocr.jpg" on disk (written
// with a sync) and is read back for the body.
void BM_CaptureToEngineOneBody(benchmark::State& state) {
    const QImage& image = Capture();
    QTemporaryDir dir;
    const QString path = dir.path() + "/ocr.jpg";
    qint64 bytes = 0;
    for (auto _ : state) {
        SaveFileAtomically(path, EncodeJpeg(PrepareOcrCanvas(image)));
        const OcrUploadRequest request = BuildOcrUpload(OcrEngine::One, path, "auto");
        bytes = request.body.size();
        benchmark::DoNotOptimize(request.body.constData());
    }
    state.counters["body_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CaptureToEngineOneBody)->Unit(benchmark::kMillisecond);

void BM_Base64EncodeBlock(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> input(n);
    std::mt19937 random(1);
    for (uint8_t& b : input)
        b = static_cast<uint8_t>(random());
    std::vector<char> output((n + 2) / 3 * 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(Base64EncodeBlock(input.data(), n, output.data()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Base64EncodeBlock)->Arg(6144)->Arg(1 << 20);

void BM_ReadFileAsBase64(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/ocr.jpg";
    QByteArray bytes(static_cast<qsizetype>(state.range(0)), '\0');
    std::mt19937 random(2);
    for (char& c : bytes)
        c = static_cast<char>(random());
    SaveFileAtomically(path, bytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadFileAsBase64(path).constData());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadFileAsBase64)->Arg(400 << 10);

} // namespace

int main(int argc, char** argv) {
    // Text rendering for the sample picture needs a GUI application, not a display.
    return RunBenchmarksOffscreen<QGuiApplication>(argc, argv);
}
