// The single-instance channel and the shortcut texts.
#include "desktop/Hotkey.h"
#include "desktop/InstanceChannel.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

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
    return ::poll(&wait, 1, 5000) == 1 && ReadInstanceRequest(fd, request);
}

} // namespace

TEST_F(Channel, ARunningWindowGetsEachRequest) {
    EXPECT_FALSE(HandOverRequest(path, InstanceRequest::Show)); // nobody listens yet
    bool alive = true;
    const int fd = ListenForInstances(path, alive);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(alive);
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
    // A second window finds the first instead of taking its place.
    EXPECT_EQ(ListenForInstances(path, alive), -1);
    EXPECT_TRUE(alive);
    ::close(fd);
}

TEST_F(Channel, AStaleSocketIsReplacedAndAnOpenFolderRefused) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // A socket left behind by a window that died.
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(dead);
    bool alive = true;
    const int fd = ListenForInstances(path, alive);
    EXPECT_GE(fd, 0);
    EXPECT_FALSE(alive);
    ::close(fd);

    ::unlink(path.c_str());
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ListenForInstances(path, alive), -1);
    EXPECT_FALSE(alive);
}

TEST_F(Channel, AWrongLineIsNeitherObeyedNorConfirmed) {
    bool alive = false;
    const int fd = ListenForInstances(path, alive);
    ASSERT_GE(fd, 0);
    std::thread start([&] {
        const int c = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        if (::connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            (void)!::write(c, "--format-disk\n", 14);
        char reply[8] = {};
        EXPECT_LE(::read(c, reply, sizeof reply), 0);
        ::close(c);
    });
    InstanceRequest got;
    EXPECT_FALSE(Serve(fd, got));
    start.join();
    ::close(fd);
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
