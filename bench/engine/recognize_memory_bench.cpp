// Peak memory of recognising one picture against what the engine reserves
// for it, for each picture format and for content that is cheap and dear to
// plan and to read. Each case runs in a fresh copy of the process with the
// models loaded; the peak is VmHWM after the kernel's count was reset,
// minus VmRSS at that moment.
//   pre:   decoding, turning grey, planning (held: the worst case)
//   whole: all of Recognize (held: the worst case until the plan, then the
//          planned bytes)
//
//   quill_recognize_memory_bench [filter [languages]]
//   (cases whose name contains filter; chi_sim+eng unless languages say)
#include "engine/CropPicture.h"
#include "engine/CropPreprocess.h"
#include "engine/RecognitionMemory.h"
#include "engine/Recognizer.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Content { Sparse, Text, Noise, Dots };

struct Case {
    const char* name;
    const char* format; // PNG, JPEG, progressive JPEG, BMP
    QImage::Format pixels;
    int width, height;
    Content content;
    int textPixels = 16;
};

QImage Draw(const Case& c) {
    QImage image(c.width, c.height, QImage::Format_ARGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(c.textPixels);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    const QString line =
        QStringLiteral("The meeting starts at nine tomorrow. 会议将在明天上午九点开始。 ");
    switch (c.content) {
    case Content::Sparse:
        // A screenshot of one small window on an empty desktop.
        painter.drawText(40, 60, line);
        painter.drawText(40, 60 + c.textPixels * 3 / 2, line);
        break;
    case Content::Text:
        for (int y = c.textPixels + 4; y < c.height; y += c.textPixels * 3 / 2)
            painter.drawText(8, y, line.repeated(c.width / (c.textPixels * 20) + 1));
        break;
    case Content::Noise: {
        QRandomGenerator random(7);
        for (int y = 0; y < c.height; ++y) {
            auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < c.width; ++x)
                row[x] = random.generate() | 0xff000000;
        }
        break;
    }
    case Content::Dots:
        // Dots two pixels high, three apart: the most pieces of ink the
        // planner keeps apart.
        for (int y = 0; y < c.height; ++y) {
            auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < c.width; x += 2)
                if (y % 5 < 2)
                    row[x] = 0xff000000;
        }
        break;
    }
    painter.end();
    if (c.pixels == QImage::Format_ARGB32) {
        // Half the picture half transparent, as a screenshot with a shadow.
        for (int y = c.height / 2; y < c.height; ++y) {
            auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < c.width; ++x)
                row[x] = (row[x] & 0x00ffffff) | 0x80000000;
        }
        return image;
    }
    return image.convertToFormat(c.pixels);
}

QByteArray Encode(const Case& c) {
    const QImage image = Draw(c);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool jpeg = std::strstr(c.format, "JPEG") != nullptr;
    QImageWriter writer(&buffer, jpeg ? "JPEG" : c.format);
    if (jpeg)
        writer.setQuality(90);
    writer.setProgressiveScanWrite(std::strstr(c.format, "progressive") != nullptr);
    writer.write(image);
    return bytes;
}

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    return -1;
}

// In a copy of the process: runs `work` with the peak count reset and
// returns the peak's growth in bytes, or -1.
template <typename Work> double PeakBytes(Work work) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        // Freed memory the heap kept would hide what the work allocates.
        malloc_trim(0);
        const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
        double peak = -1;
        if (fd >= 0 && write(fd, "5", 1) == 1) {
            const long before = StatusKiB("VmRSS:");
            work();
            peak = double(StatusKiB("VmHWM:") - before) * 1024;
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

double Mib(double bytes) {
    return bytes / (1 << 20);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const char* filter = argc > 1 ? argv[1] : "";
    const char* languages = argc > 2 ? argv[2] : "chi_sim+eng";
    // Nothing is refused here: the budget is what is measured.
    engine::DecodeBudget().Configure(std::size_t(64) << 30, engine::kDecodeBudgetPatience);

    constexpr auto kArgb = QImage::Format_ARGB32, kRgb = QImage::Format_RGB32,
                   kGrey = QImage::Format_Grayscale8, kIndexed = QImage::Format_Indexed8;
    const Case cases[] = {
        {"the issue's PNG, 6324 x 6324 RGBA", "PNG", kArgb, 6324, 6324, Content::Sparse},
        {"PNG RGBA at the limit", "PNG", kArgb, 5000, 5000, Content::Sparse},
        {"PNG RGB at the limit", "PNG", kRgb, 5000, 5000, Content::Sparse},
        {"PNG grey at the limit", "PNG", kGrey, 5000, 5000, Content::Sparse},
        {"PNG palette at the limit", "PNG", kIndexed, 5000, 5000, Content::Sparse},
        {"JPEG at the limit", "JPEG", kRgb, 5000, 5000, Content::Sparse},
        {"JPEG progressive at the limit", "progressive JPEG", kRgb, 5000, 5000, Content::Sparse},
        {"JPEG grey at the limit", "JPEG", kGrey, 5000, 5000, Content::Sparse},
        {"BMP at the limit", "BMP", kRgb, 5000, 5000, Content::Sparse},
        {"PNG grey of dots at the limit", "PNG", kGrey, 5000, 5000, Content::Dots},
        {"PNG grey noise 3000 x 3000", "PNG", kGrey, 3000, 3000, Content::Noise},
        {"JPEG crop, 2 lines of 16 px", "JPEG", kRgb, 400, 120, Content::Text, 16},
        {"JPEG text 800 x 600, 12 px", "JPEG", kRgb, 800, 600, Content::Text, 12},
        {"JPEG text 1400 x 900, 16 px", "JPEG", kRgb, 1400, 900, Content::Text, 16},
        {"PNG RGBA text 1920 x 1080, 14 px", "PNG", kArgb, 1920, 1080, Content::Text, 14},
        {"JPEG noise 1000 x 1000", "JPEG", kRgb, 1000, 1000, Content::Noise},
        {"JPEG text 1000 x 700, 30 px", "JPEG", kRgb, 1000, 700, Content::Text, 30},
    };

    const QImage warmImage = Draw({"", "JPEG", kRgb, 400, 120, Content::Text});
    QByteArray warm;
    QBuffer warmBuffer(&warm);
    warmBuffer.open(QIODevice::WriteOnly);
    warmImage.save(&warmBuffer, "JPEG", 90);
    engine::Recognizer recognizer;
    recognizer.Recognize(std::string_view(warm.constData(), size_t(warm.size())), languages);

    std::printf("MiB of peak growth against the reservation; %s\n\n", languages);
    std::printf("%-34s %6s %7s %6s %8s %8s %8s %8s %7s %7s %7s %6s\n", "picture", "MP", "pieces",
                "scaled", "pre", "whole", "worst", "planned", "pre/w", "whole/w", "whole/p", "sec");
    for (const Case& c : cases) {
        if (!std::strstr(c.name, filter))
            continue;
        const QByteArray bytes = Encode(c);
        const std::string_view picture(bytes.constData(), size_t(bytes.size()));
        const engine::CropHeader header = engine::ReadCropHeader(picture);
        if (header.error) {
            std::printf("%-34s %6.1f  refused from its header (%zu KB): %s\n", c.name,
                        double(c.width) * c.height / 1e6, size_t(bytes.size()) / 1000,
                        header.error.text.c_str());
            continue;
        }
        engine::CropPlan plan;
        {
            const engine::DecodedCrop decoded = engine::DecodeCrop(picture);
            const engine::PixPtr grey = engine::ToGrey(decoded.pix.get());
            plan = engine::PlanCrop(grey.get());
        }
        const double pre = PeakBytes([&] {
            engine::DecodedCrop decoded = engine::DecodeCrop(picture);
            const engine::PixPtr grey = engine::ToGrey(decoded.pix.get());
            decoded.pix.reset();
            engine::PlanCrop(grey.get());
        });
        QElapsedTimer timer;
        timer.start();
        const double whole = PeakBytes([&] { recognizer.Recognize(picture, languages); });
        const double seconds = double(timer.elapsed()) / 1000;
        const double worst = double(engine::WorstCaseRecognitionBytes(header));
        // As Recognize fits its plan to what it reserved.
        engine::MemoryBudget alone(std::size_t(worst), std::chrono::milliseconds(0));
        engine::Error error;
        engine::MemoryBudget::Reservation reservation = alone.Reserve(std::size_t(worst), error);
        engine::FitPlanToReservation(header, plan, reservation);
        const double planned = double(reservation.bytes());
        const double scaled = double(plan.width) * plan.scale * plan.height * plan.scale / 1e6;
        std::printf("%-34s %6.1f %7lld %6.1f %8.1f %8.1f %8.1f %8.1f %7.2f %7.2f %7.2f %6.1f\n",
                    c.name, double(c.width) * c.height / 1e6, plan.pieces, scaled, Mib(pre),
                    Mib(whole), Mib(worst), Mib(planned), pre / worst, whole / worst,
                    planned > 0 ? whole / planned : 0.0, seconds);
    }
    return 0;
}
