// quillmate-server under a hostile client mix: 50 honest clients (the
// program's own recognition and speech requests, each followed by a pause of
// about a second) alone, then beside a slowloris of 200 connections from 200
// addresses, oversized request lines and header blocks, gzip bombs and 40 MP
// pictures. Rounds alternate the two phases, so a busy machine weighs on both
// alike. Prints the honest requests' median and 99th percentile latency in
// both phases, each round's ratios and their median, and the server's peak
// memory against its idle memory, all measured in this run.
//   quill_engine_hostile_bench [rounds 3] [seconds per phase 10] [workers 2] [all | front]
// "front" leaves out the 40 MP picture, whose cost is the engine's work rather
// than the HTTP front's.
#include "RawHttp.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <zlib.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

QImage TextPicture(int width, int height, const QString& text) {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(24);
    painter.setFont(font);
    painter.drawText(10, 40, text);
    return image;
}

std::string GzipOfZeros(std::size_t megabytes) {
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    std::string in(1 << 20, '\0'), out;
    char chunk[1 << 16];
    for (std::size_t i = 0; i < megabytes; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(chunk);
            z.avail_out = sizeof chunk;
            deflate(&z, i + 1 == megabytes ? Z_FINISH : Z_NO_FLUSH);
            out.append(chunk, sizeof chunk - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

std::string EngineTwo(const std::string& picture, const std::string& extraHeaders = {}) {
    const std::string body =
        "--B\r\nContent-Disposition: form-data; name=\"image\"; filename=\"ocr.jpg\"\r\n"
        "Content-Type: image/jpg\r\n\r\n" +
        picture +
        "\r\n--B\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nen\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"to\"\r\n\r\nen\r\n--B--\r\n";
    return Post("/t/getocr", "multipart/form-data; boundary=B", body, extraHeaders);
}

struct Latencies {
    std::mutex mutex;
    std::vector<double> ms;
    std::map<int, int> statuses;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// 50 clients, each sending the program's requests in turn with a pause.
void RunHonest(int port, std::chrono::seconds length, Latencies& out) {
    const std::string ocr = EngineTwo(Encoded(TextPicture(300, 60, "Hello world"), "JPEG"));
    const std::string speech = Post("/t/gettts", "application/x-www-form-urlencoded",
                                    "lan=en&ie=UTF-8&text=hello%20there&spd=5&source=web");
    const auto end = Clock::now() + length;
    std::vector<std::thread> clients;
    for (int c = 0; c < 50; ++c)
        clients.emplace_back([&, c] {
            std::mt19937 random(static_cast<unsigned>(c));
            std::uniform_int_distribution<int> pause(500, 1500);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random) - 500));
            for (int i = 0; Clock::now() < end; ++i) {
                const auto start = Clock::now();
                const RawAnswer answer = SendRaw(port, i % 2 ? speech : ocr, 60000);
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                {
                    std::lock_guard lock(out.mutex);
                    out.ms.push_back(ms);
                    ++out.statuses[answer.status];
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            }
        });
    for (std::thread& client : clients)
        client.join();
}

struct Hostile {
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::map<std::string, std::map<int, int>> outcomes;
    std::vector<std::thread> threads;

    void Count(const std::string& kind, int status) {
        std::lock_guard lock(mutex);
        ++outcomes[kind][status];
    }
    void Loop(const std::string& kind, std::function<int()> once) {
        threads.emplace_back([this, kind, once] {
            while (!stop) {
                Count(kind, once());
                std::this_thread::sleep_for(100ms);
            }
        });
    }

    void Start(int port, bool pictures) {
        // 200 connections from 200 addresses, one byte each per second,
        // reconnecting when the server hangs up.
        threads.emplace_back([this, port] {
            const std::string head =
                "POST /t/gettts HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n";
            std::vector<RawConnection> slow;
            std::vector<std::size_t> at(200, 0);
            auto from = [](int i) { return "127.0.2." + std::to_string(i + 1); };
            for (int i = 0; i < 200; ++i)
                slow.push_back(RawConnection::Tcp(port, from(i).c_str()));
            while (!stop) {
                for (int i = 0; i < 200; ++i)
                    if (!slow[i].Send(head.substr(at[i]++ % head.size(), 1))) {
                        Count("slowloris reconnects", 0);
                        slow[i] = RawConnection::Tcp(port, from(i).c_str());
                    }
                std::this_thread::sleep_for(1s);
            }
        });
        static const std::string megabyte(1 << 20, 'a');
        Loop("300 MB request line", [port] {
            RawConnection connection = RawConnection::Tcp(port, "127.0.3.1");
            connection.Send("GET /t/");
            for (int i = 0; i < 300 && connection.Send(megabyte); ++i) {
            }
            const std::vector<RawAnswer> answers = ParseAnswers(connection.Receive(5000));
            return answers.empty() ? 0 : answers[0].status;
        });
        static const std::string flood = [] {
            std::string head = "GET /t/ HTTP/1.1\r\n";
            while (head.size() < (8u << 20))
                head += "X-Flood: " + std::string(100, 'f') + "\r\n";
            return head;
        }();
        Loop("8 MB header block",
             [port] { return SendRaw(RawConnection::Tcp(port, "127.0.3.2"), flood, 5000).status; });
        static const std::string bomb = GzipOfZeros(400);
        static const std::string encodedBomb = EngineTwo(bomb, "Content-Encoding: gzip\r\n");
        static const std::string bombPicture = EngineTwo(bomb);
        Loop("gzip bomb, Content-Encoding", [port] {
            return SendRaw(RawConnection::Tcp(port, "127.0.4.1"), encodedBomb, 5000).status;
        });
        Loop("gzip bomb as the picture", [port] {
            return SendRaw(RawConnection::Tcp(port, "127.0.4.2"), bombPicture, 5000).status;
        });
        if (!pictures)
            return;
        // 6324 x 6324: just under the recogniser's 40 megapixels.
        static const std::string huge =
            EngineTwo(Encoded(TextPicture(6324, 6324, "forty megapixels"), "PNG"));
        Loop("40 MP picture", [port] {
            return SendRaw(RawConnection::Tcp(port, "127.0.5.1"), huge, 120000).status;
        });
    }
    void Finish() {
        stop = true;
        for (std::thread& thread : threads)
            thread.join();
    }
};

void Report(const char* phase, const Latencies& latencies) {
    std::printf("%-26s %8zu %10.1f %10.1f  ", phase, latencies.ms.size(),
                Percentile(latencies.ms, 0.5), Percentile(latencies.ms, 0.99));
    for (const auto& [status, count] : latencies.statuses)
        std::printf(" %d:%d", status, count);
    std::printf("\n");
}

void Merge(Latencies& into, const Latencies& from) {
    into.ms.insert(into.ms.end(), from.ms.begin(), from.ms.end());
    for (const auto& [status, count] : from.statuses)
        into.statuses[status] += count;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::chrono::seconds phase(argc > 2 ? std::atoi(argv[2]) : 10);
    const QString workers = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("2");
    const bool pictures = argc <= 4 || std::string_view(argv[4]) != "front";
    QProcess server;
    server.start(QUILLMATE_SERVER_PATH, {"--token", "t", "--workers", workers});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    const int port =
        QString::fromUtf8(server.readLine()).section(':', 2).section('/', 0, 0).toInt();
    const long pid = static_cast<long>(server.processId());

    // Warm up the engines, so the first phase does not pay for loading them.
    Latencies warmup;
    RunHonest(port, 3s, warmup);
    const long idleKiB = ResidentKiB(pid).second;

    std::printf("%-26s %8s %10s %10s   statuses\n", "honest requests", "count", "median ms",
                "p99 ms");
    Latencies alone, attacked;
    std::vector<double> medianRatios, p99Ratios;
    Hostile hostile;
    for (int round = 0; round < rounds; ++round) {
        Latencies quiet, busy;
        RunHonest(port, phase, quiet);
        Report("alone", quiet);
        Hostile mix;
        mix.Start(port, pictures);
        std::this_thread::sleep_for(2s);
        RunHonest(port, phase, busy);
        mix.Finish();
        Report("beside the hostile mix", busy);
        medianRatios.push_back(Percentile(busy.ms, 0.5) / Percentile(quiet.ms, 0.5));
        p99Ratios.push_back(Percentile(busy.ms, 0.99) / Percentile(quiet.ms, 0.99));
        Merge(alone, quiet);
        Merge(attacked, busy);
        for (const auto& [kind, statuses] : mix.outcomes)
            for (const auto& [status, count] : statuses)
                hostile.outcomes[kind][status] += count;
        // Let the slow connections of this round time out before the next.
        std::this_thread::sleep_for(11s);
    }
    std::printf("\nall rounds\n");
    Report("alone", alone);
    Report("beside the hostile mix", attacked);
    std::printf("\nlatency ratio, hostile / alone, median of the rounds' own ratios: median %.2f, "
                "p99 %.2f (goal: at most 1.5)\n",
                Percentile(medianRatios, 0.5), Percentile(p99Ratios, 0.5));
    const long peakKiB = ResidentKiB(pid).first;
    std::printf("server memory: idle %.1f MiB, peak (VmHWM) %.1f MiB, ratio %.2f "
                "(goal: peak under 400 MiB)\n",
                idleKiB / 1024.0, peakKiB / 1024.0, static_cast<double>(peakKiB) / idleKiB);
    std::printf("\nhostile requests and their answers (0: none, connection cut)\n");
    for (const auto& [kind, statuses] : hostile.outcomes) {
        std::printf("  %-30s", kind.c_str());
        for (const auto& [status, count] : statuses)
            std::printf(" %d:%d", status, count);
        std::printf("\n");
    }
    server.kill();
    server.waitForFinished();
    return 0;
}
