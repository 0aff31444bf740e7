#include "engine/RecognitionMemory.h"
#include "engine/Recognizer.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using engine::Failure;
using namespace std::chrono_literals;

QImage Text(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(20, 40, QStringLiteral("The meeting starts at nine tomorrow."));
    painter.drawText(20, 70, QStringLiteral("Please bring the report and a pen."));
    painter.end();
    return image.convertToFormat(format);
}

QByteArray Encode(const QImage& image, const char* format, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

// Puts the process-wide budget back as the engine starts with it.
struct BudgetAsConfigured {
    BudgetAsConfigured(std::size_t bytes, std::chrono::milliseconds patience) {
        engine::DecodeBudget().Configure(bytes, patience);
    }
    ~BudgetAsConfigured() {
        engine::DecodeBudget().Configure(engine::kDefaultDecodeBudget,
                                         engine::kDecodeBudgetPatience);
    }
};

TEST(RecognitionMemory, HeadersTellWhatDecodingWillHold) {
    const QImage colour = Text(300, 100);
    QByteArray damaged = Encode(colour, "JPEG");
    damaged[2] = 'x'; // the first marker after the start of image
    struct Case {
        const char* name;
        QByteArray bytes;
        engine::PictureFormat format;
        int channels;
        bool palette, wholeBuffer;
    } const cases[] = {
        {"JPEG", Encode(colour, "JPEG"), engine::PictureFormat::Jpeg, 3, false, false},
        {"grey JPEG", Encode(Text(300, 100, QImage::Format_Grayscale8), "JPEG"),
         engine::PictureFormat::Jpeg, 1, false, false},
        {"progressive JPEG", Encode(colour, "JPEG", true), engine::PictureFormat::Jpeg, 3, false,
         true},
        {"JPEG with a marker it cannot follow", damaged, engine::PictureFormat::Jpeg, 3, false,
         true},
        {"PNG", Encode(colour, "PNG"), engine::PictureFormat::Png, 3, false, false},
        {"PNG with alpha", Encode(Text(300, 100, QImage::Format_ARGB32), "PNG"),
         engine::PictureFormat::Png, 4, false, false},
        {"grey PNG", Encode(Text(300, 100, QImage::Format_Grayscale8), "PNG"),
         engine::PictureFormat::Png, 1, false, false},
        {"palette PNG", Encode(Text(300, 100, QImage::Format_Indexed8), "PNG"),
         engine::PictureFormat::Png, 1, true, false},
        {"BMP", Encode(colour, "BMP"), engine::PictureFormat::Bmp, 0, false, false},
    };
    for (const Case& c : cases) {
        const engine::CropHeader header = engine::ReadCropHeader(View(c.bytes));
        ASSERT_FALSE(header.error) << c.name << ": " << header.error.text;
        EXPECT_EQ(header.format, c.format) << c.name;
        EXPECT_EQ(header.width, 300) << c.name;
        EXPECT_EQ(header.height, 100) << c.name;
        EXPECT_EQ(header.channels, c.channels) << c.name;
        EXPECT_EQ(header.palette, c.palette) << c.name;
        EXPECT_EQ(header.wholeBuffer, c.wholeBuffer) << c.name;
    }
}

TEST(RecognitionMemory, BusyPicturesAreReadSmallerToFitTheirReservation) {
    engine::CropHeader header;
    header.format = engine::PictureFormat::Png;
    header.width = header.height = 2000;
    header.channels = 3;
    const std::size_t worst = engine::WorstCaseRecognitionBytes(header);
    struct Case {
        const char* name;
        long long pieces;
        std::size_t reserved;
        bool smaller;
        Failure failure;
    } const cases[] = {
        {"text", 20'000, worst, false, Failure::None},
        {"noise", 1'500'000, worst, true, Failure::None},
        {"noise, little reserved", 1'500'000, 16 << 20, true, Failure::None},
        {"noise, nearly nothing reserved", 1'500'000, 1 << 20, false, Failure::TooLarge},
    };
    for (const Case& c : cases) {
        engine::CropPlan plan;
        plan.width = plan.height = 2000;
        plan.textHeight = 12;
        plan.scale = 1.7f;
        plan.pieces = c.pieces;
        engine::MemoryBudget budget(c.reserved, 0ms);
        engine::Error error;
        engine::MemoryBudget::Reservation reservation = budget.Reserve(c.reserved, error);
        error = engine::FitPlanToReservation(header, plan, reservation);
        EXPECT_EQ(error.failure, c.failure) << c.name << ": " << error.text;
        if (error)
            continue;
        EXPECT_EQ(plan.scale < 1.7f, c.smaller) << c.name << ": " << plan.scale;
        EXPECT_GE(plan.scale, engine::kMinScale) << c.name;
        EXPECT_EQ(reservation.bytes(), engine::PlannedRecognitionBytes(header, plan)) << c.name;
        EXPECT_LE(reservation.bytes(), c.reserved) << c.name;
        EXPECT_EQ(budget.reserved(), reservation.bytes()) << c.name;
        if (c.smaller) {
            // As large as fits: a little larger would not.
            plan.scale *= 1.01f;
            EXPECT_GT(engine::PlannedRecognitionBytes(header, plan), c.reserved) << c.name;
        }
    }
}

TEST(RecognitionMemory, RefusedWhenTheBudgetCannotHoldThePicture) {
    const QByteArray picture = Encode(Text(400, 120), "JPEG");
    const std::size_t worst =
        engine::WorstCaseRecognitionBytes(engine::ReadCropHeader(View(picture)));
    constexpr std::size_t kTotal = std::size_t(256) << 20;
    struct Case {
        const char* name;
        std::size_t total, heldByOthers;
        Failure failure;
    } const cases[] = {
        {"room for it", kTotal, kTotal - worst, Failure::None},
        {"a byte short while others hold the rest", kTotal, kTotal - worst + 1, Failure::Busy},
        {"a byte short of the whole budget", worst - 1, 0, Failure::TooLarge},
    };
    engine::Recognizer recognizer;
    for (const Case& c : cases) {
        const BudgetAsConfigured budget(c.total, 50ms);
        engine::Error error;
        const auto held = engine::DecodeBudget().Reserve(c.heldByOthers, error);
        ASSERT_FALSE(error) << error.text;
        const engine::Recognition result = recognizer.Recognize(View(picture), "eng");
        EXPECT_EQ(result.error.failure, c.failure) << c.name << ": " << result.error.text;
        if (c.failure == Failure::None) {
            EXPECT_FALSE(result.lines.empty()) << c.name;
        } else {
            EXPECT_NE(result.error.text.find("400 x 120"), std::string::npos) << result.error.text;
            EXPECT_NE(result.error.text.find("budget"), std::string::npos) << result.error.text;
        }
        EXPECT_EQ(engine::DecodeBudget().reserved(), c.heldByOthers) << c.name;
    }
}

TEST(RecognitionMemory, EveryWayARecognitionEndsGivesItsReservationBack) {
    const QByteArray jpeg = Encode(Text(400, 120), "JPEG");
    QByteArray png = Encode(Text(400, 120), "PNG");
    // Damage past the header: the picture is refused only once it is decoded.
    const qsizetype data = png.indexOf("IDAT") + 20;
    for (qsizetype i = data; i < data + 16; ++i)
        png[i] = char(png[i] ^ 0x5a);
    QImage flat(300, 100, QImage::Format_RGB32);
    flat.fill(QColor(40, 44, 52));
    struct Case {
        const char* name;
        QByteArray picture;
        const char* languages;
        Failure failure;
    } const cases[] = {
        {"read", jpeg, "eng", Failure::None},
        {"damaged past its header", png, "eng", Failure::NotAPicture},
        {"nothing to read", Encode(flat, "JPEG"), "eng", Failure::None},
        {"cut short", jpeg.left(jpeg.size() / 2), "eng", Failure::NotAPicture},
        {"no picture", QByteArray(200, 'x'), "eng", Failure::NotAPicture},
        {"no such language", jpeg, "xyz", Failure::EngineFailed},
    };
    // Workers of a server, each with its own recogniser, all at once.
    std::vector<std::thread> workers;
    std::vector<std::vector<Failure>> seen(4);
    for (auto& failures : seen)
        workers.emplace_back([&cases, &failures] {
            engine::Recognizer recognizer;
            for (int round = 0; round < 2; ++round)
                for (const Case& c : cases)
                    failures.push_back(
                        recognizer.Recognize(View(c.picture), c.languages).error.failure);
        });
    for (std::thread& worker : workers)
        worker.join();
    for (const auto& failures : seen)
        for (size_t i = 0; i < failures.size(); ++i)
            EXPECT_EQ(failures[i], cases[i % std::size(cases)].failure)
                << cases[i % std::size(cases)].name;
    EXPECT_EQ(engine::DecodeBudget().reserved(), 0u);
    EXPECT_EQ(engine::DecodeBudget().waiting(), 0u);
}

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return -1;
}

bool ResetPeak() {
    const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    const bool reset = fd >= 0 && write(fd, "5", 1) == 1;
    if (fd >= 0)
        close(fd);
    return reset;
}

// The growth of the resident peak while recognising, measured in a copy of
// the process with the models loaded; -1 when the kernel cannot reset the
// peak, -2 when recognition failed.
double PeakGrowthBytes(const QByteArray& picture) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        engine::Recognizer recognizer;
        const QByteArray warm = Encode(Text(400, 120), "JPEG");
        recognizer.Recognize(View(warm), "eng");
        double peak = -1;
        // Freed memory the heap kept would hide what recognition allocates.
        malloc_trim(0);
        if (ResetPeak()) {
            const long before = StatusKiB("VmRSS:");
            const engine::Recognition result = recognizer.Recognize(View(picture), "eng");
            peak = result.error ? -2 : double(StatusKiB("VmHWM:") - before) * 1024;
        }
        (void)!write(fds[1], &peak, sizeof peak);
        _exit(0);
    }
    close(fds[1]);
    double peak = -1;
    if (read(fds[0], &peak, sizeof peak) != sizeof peak)
        peak = -1;
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return peak;
}

TEST(RecognitionMemory, ALargeTransparentPngStaysWithinItsReservation) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator keeps freed memory";
#endif
    // A screenshot of one window on an empty desktop as large as the engine
    // takes, half of it half transparent: little to read, much to decode.
    QImage screen(5000, 5000, QImage::Format_ARGB32);
    screen.fill(QColor(250, 250, 250));
    {
        QPainter painter(&screen);
        painter.drawImage(40, 40, Text(400, 120, QImage::Format_ARGB32));
    }
    for (int y = 2500; y < 5000; ++y) {
        auto* row = reinterpret_cast<quint32*>(screen.scanLine(y));
        for (int x = 0; x < 5000; ++x)
            row[x] = (row[x] & 0x00ffffff) | 0x80000000;
    }
    const QByteArray png = Encode(screen, "PNG");
    screen = QImage();
    const std::size_t reserved =
        engine::WorstCaseRecognitionBytes(engine::ReadCropHeader(View(png)));
    EXPECT_LE(reserved, engine::kDefaultDecodeBudget);
    const double peak = PeakGrowthBytes(png);
    ASSERT_NE(peak, -2) << "recognition failed";
    if (peak < 0)
        GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    std::printf("[ memory   ] 5000 x 5000 RGBA PNG of %lld KB: peak %.1f MiB, reserved %.1f MiB\n",
                png.size() / 1000, peak / (1 << 20), double(reserved) / (1 << 20));
    EXPECT_LE(peak, double(reserved));
    EXPECT_GE(peak, 100.0 * (1 << 20)) << "decoding 25 megapixels takes at least 4 bytes each";
}

} // namespace
