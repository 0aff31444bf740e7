// The single-instance channel and the shortcut texts.
#include "desktop/Hotkey.h"
#include "desktop/InstanceChannel.h"
#include "desktop/InstanceServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class Channel : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/quillmate";
    std::string path = InstanceSocketPath(folder);
};

// Waits for one connection and serves it.
bool Serve(int fd, InstanceRequest& request) {
    pollfd wait{fd, POLLIN, 0};
    return ::poll(&wait, 1, 5000) == 1 && ReadInstanceRequest(fd, request, 2000);
}

int ConnectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A socket left behind by a window that died.
void LeaveStaleSocket(const std::string& path) {
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(dead);
}

// What a peer hears before the window closes its end (or within waitMs).
std::string Hear(int fd, int waitMs) {
    std::string heard;
    char c = 0;
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, waitMs) == 1 && ::read(fd, &c, 1) == 1)
        heard += c;
    return heard;
}

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

TEST_F(Channel, ARunningWindowGetsEachRequest) {
    EXPECT_FALSE(HandOverRequest(path, InstanceRequest::Show)); // nobody listens yet
    bool handedOver = true;
    const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(handedOver);
    for (InstanceRequest sent : {InstanceRequest::Show, InstanceRequest::TranslateSelection,
                                 InstanceRequest::RecognizeRegion}) {
        bool delivered = false;
        std::thread start([&] { delivered = HandOverRequest(path, sent); });
        InstanceRequest got = InstanceRequest::Show;
        EXPECT_TRUE(Serve(fd, got));
        start.join();
        EXPECT_TRUE(delivered);
        EXPECT_EQ(got, sent);
    }
    // A second window hands its request to the first instead of taking its place.
    InstanceRequest got = InstanceRequest::Show;
    std::thread window([&] { EXPECT_TRUE(Serve(fd, got)); });
    EXPECT_EQ(ListenOrHandOver(path, InstanceRequest::RecognizeRegion, handedOver), -1);
    window.join();
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(got, InstanceRequest::RecognizeRegion);
    ::close(fd);
}

TEST_F(Channel, AStaleSocketIsReplacedAndAnOpenFolderRefused) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    LeaveStaleSocket(path);
    bool handedOver = true;
    const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
    EXPECT_GE(fd, 0);
    EXPECT_FALSE(handedOver);
    ::close(fd);

    ::unlink(path.c_str());
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ListenOrHandOver(path, InstanceRequest::Show, handedOver), -1);
    EXPECT_FALSE(handedOver);
}

// Starts at the same moment, over a socket left by a window that died: one
// listens, every other hands over to it.
TEST_F(Channel, QuickStartsGiveOneWindow) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    constexpr int kStarts = 6;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ::unlink(path.c_str());
        LeaveStaleSocket(path);
        std::atomic<int> listening{-1}, handed{0}, done{0}, listeners{0};
        std::vector<std::thread> starts;
        for (int i = 0; i < kStarts; ++i)
            starts.emplace_back([&] {
                bool handedOver = false;
                const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
                if (fd >= 0) {
                    ++listeners;
                    listening = fd;
                }
                handed += handedOver;
                ++done;
            });
        // The window that won serves the others.
        while (done < kStarts) {
            InstanceRequest got;
            pollfd wait{listening, POLLIN, 0};
            if (listening < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            else if (::poll(&wait, 1, 50) == 1)
                ReadInstanceRequest(listening, got, 2000);
        }
        for (std::thread& start : starts)
            start.join();
        EXPECT_EQ(listeners, 1);
        EXPECT_EQ(handed, kStarts - 1);
        if (listening >= 0)
            ::close(listening);
    }
}

TEST_F(Channel, AWrongLineIsNeitherObeyedNorConfirmed) {
    bool handedOver = false;
    const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
    ASSERT_GE(fd, 0);
    for (const std::string& line :
         std::vector<std::string>{"--format-disk\n", std::string(100, '-') + "\n", "\n"}) {
        std::thread start([&] {
            const int c = ConnectTo(path);
            (void)!::write(c, line.data(), line.size());
            EXPECT_EQ(Hear(c, 3000), "");
            ::close(c);
        });
        InstanceRequest got;
        EXPECT_FALSE(Serve(fd, got));
        start.join();
    }
    ::close(fd);
}

// A line that trickles in is cut at one deadline for the whole line, however
// often a byte arrives.
TEST_F(Channel, TheLineHasOneDeadline) {
    bool handedOver = false;
    const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
    ASSERT_GE(fd, 0);
    std::thread start([&] {
        const int c = ConnectTo(path);
        for (char byte : std::string("--show\n")) {
            if (::send(c, &byte, 1, MSG_NOSIGNAL) != 1)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        EXPECT_EQ(Hear(c, 3000), "");
        ::close(c);
    });
    InstanceRequest got;
    pollfd wait{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, 5000), 1);
    EXPECT_FALSE(ReadInstanceRequest(fd, got, 300));
    start.join();
    ::close(fd);
}

// The window reads its starts on the event loop as their bytes come: peers
// that say nothing or stop halfway wait beside a start that is served.
TEST_F(Channel, SilentPeersNeverHoldTheWindow) {
    bool handedOver = false;
    const int fd = ListenOrHandOver(path, InstanceRequest::Show, handedOver);
    ASSERT_GE(fd, 0);
    std::vector<InstanceRequest> got;
    InstanceServer server(fd, path, nullptr, 3000);
    server.OnRequest = [&](InstanceRequest request) { got.push_back(request); };

    const int silent = ConnectTo(path), halfway = ConnectTo(path);
    ASSERT_GE(silent, 0);
    ASSERT_EQ(::write(halfway, "--sh", 4), 4);
    ASSERT_TRUE(SpinUntil([&] { return server.PendingPeers() == 2; }, 5000));

    std::atomic<bool> delivered{false};
    std::thread start(
        [&] { delivered = HandOverRequest(path, InstanceRequest::TranslateSelection); });
    ASSERT_TRUE(SpinUntil([&] { return !got.empty(); }, 5000));
    start.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(got, std::vector<InstanceRequest>{InstanceRequest::TranslateSelection});
    EXPECT_EQ(server.PendingPeers(), 2);

    // Their time runs out: they are closed, unconfirmed and unheard.
    ASSERT_TRUE(SpinUntil([&] { return server.PendingPeers() == 0; }, 10000));
    for (int peer : {silent, halfway}) {
        EXPECT_EQ(Hear(peer, 1000), "");
        ::close(peer);
    }
    EXPECT_EQ(got.size(), 1u);
}

TEST(Hotkey, TextsAndWhatTheyGrab) {
    constexpr uint16_t shift = 1, control = 4, alt = 8, super = 64;
    const struct {
        const char* text;
        std::optional<KeyChord> chord;
    } rows[] = {
        {"Ctrl+Alt+E", KeyChord{'e', control | alt}},
        {" ctrl+alt+o ", KeyChord{'o', control | alt}},
        {"Ctrl+Shift+Meta+1", KeyChord{'1', control | shift | super}},
        {"Alt+F5", KeyChord{0xFFC2, alt}},
        {"Ctrl+Print", KeyChord{0xFF61, control}},
        {"E", std::nullopt},         // no modifier: it would eat the key everywhere
        {"", std::nullopt},          // turned off
        {"Ctrl+Alt+", std::nullopt}, // no key
        {"Ctrl+E, Ctrl+F", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseHotkey(QString::fromLatin1(row.text)), row.chord);
    }
}
