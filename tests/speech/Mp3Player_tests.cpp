#include "speech/Mp3Player.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Finished {
    QString path;
    bool played = false;
    qint64 position = -1;
};

// Makes a short spoken recording with espeak-ng and lame; returns its length
// in milliseconds as the wave file says, or -1.
qint64 MakeMp3(const QString& folder, const QString& name, const QString& words) {
    const QString wav = folder + "/" + name + ".wav";
    const QString mp3 = folder + "/" + name + ".mp3";
    if (QProcess::execute("espeak-ng", {"-w", wav, words}) != 0)
        return -1;
    if (QProcess::execute("lame", {"--quiet", "-b", "64", wav, mp3}) != 0)
        return -1;
    QFile f(wav);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray header = f.read(44);
    if (header.size() < 44)
        return -1;
    auto u32 = [&](int at) {
        return quint32(quint8(header[at])) | quint32(quint8(header[at + 1])) << 8 |
               quint32(quint8(header[at + 2])) << 16 | quint32(quint8(header[at + 3])) << 24;
    };
    const quint32 byteRate = u32(28);
    const quint32 dataBytes = quint32(f.size() - 44);
    return byteRate ? qint64(dataBytes) * 1000 / byteRate : -1;
}

class Mp3PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QObject::connect(&player_, &TMp3Player::Loaded,
                         [this](const QString& path, qint64 ms) { durations_[path] = ms; });
        QObject::connect(&player_, &TMp3Player::Finished,
                         [this](const QString& path, bool played, qint64 position) {
                             finished_.push_back({path, played, position});
                         });
    }
    bool WaitFinished(size_t count) {
        return QTest::qWaitFor([&] { return finished_.size() >= count; }, 30000);
    }

    QTemporaryDir dir_;
    TMp3Player player_;
    QMap<QString, qint64> durations_;
    std::vector<Finished> finished_;
};

TEST_F(Mp3PlayerTest, DecodesASpokenRecordingToItsEnd) {
    const qint64 spoken = MakeMp3(dir_.path(), "hello", "hello world, this is a reading test");
    ASSERT_GT(spoken, 500) << "espeak-ng and lame are needed (scripts/deps.sh)";
    const QString path = dir_.path() + "/hello.mp3";

    player_.PlayMp3File(path);
    ASSERT_TRUE(WaitFinished(1));
    ASSERT_EQ(finished_.size(), 1u);
    EXPECT_EQ(finished_[0].path, path);
    EXPECT_TRUE(finished_[0].played);
    ASSERT_TRUE(durations_.contains(path));
    // lame pads the start and the last frame: allow for about two frames.
    EXPECT_NEAR(double(durations_[path]), double(spoken), 120.0);
    EXPECT_GE(finished_[0].position, durations_[path] - 120);
    EXPECT_EQ(player_.ActiveCount(), 0);
}

TEST_F(Mp3PlayerTest, TwoRecordingsSoundAtOnce) {
    ASSERT_GT(MakeMp3(dir_.path(), "one", "one two three four five six"), 0);
    ASSERT_GT(MakeMp3(dir_.path(), "two", "seven"), 0);
    player_.PlayMp3File(dir_.path() + "/one.mp3");
    player_.PlayMp3File(dir_.path() + "/two.mp3");
    EXPECT_EQ(player_.ActiveCount(), 2);
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_TRUE(finished_[0].played);
    EXPECT_TRUE(finished_[1].played);
    EXPECT_EQ(player_.ActiveCount(), 0);
}

TEST_F(Mp3PlayerTest, UnplayableFilesStaySilentAndClose) {
    // An error page saved under the recording's name.
    const QString page = dir_.path() + "/page.mp3";
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html><body>404 Not Found</body></html>\r\n");
    f.close();

    player_.PlayMp3File(dir_.path() + "/missing.mp3");
    EXPECT_EQ(player_.ActiveCount(), 0);
    player_.PlayMp3File(page);
    ASSERT_TRUE(WaitFinished(1));
    EXPECT_FALSE(finished_[0].played);
    EXPECT_EQ(player_.ActiveCount(), 0);
    EXPECT_FALSE(durations_.contains(page));
}

} // namespace
