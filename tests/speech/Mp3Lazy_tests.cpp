#include "speech/Mp3Player.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr const char* kChildVar = "QUILL_LAZY_MP3_CHILD";

bool Mapped(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

TEST(LazyMp3Child, MapsTheMediaLibrariesOnlyAtTheFirstPlayback) {
    if (!qEnvironmentVariableIsSet(kChildVar))
        GTEST_SKIP() << "runs in the child process of LazyMp3";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TMp3Player player;
    int finished = 0;
    bool played = true;
    QObject::connect(&player, &TMp3Player::Finished, [&](const QString&, bool p, qint64) {
        ++finished;
        played = p;
    });
    // A missing file is skipped before anything is loaded.
    player.PlayMp3File(dir.path() + "/missing.mp3");
    EXPECT_FALSE(Mapped("libQt6Multimedia"));
    EXPECT_FALSE(Mapped("libpulse"));

    const QString page = dir.path() + "/page.mp3";
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html>not found</html>");
    f.close();
    player.PlayMp3File(page);
    EXPECT_TRUE(Mapped("libQt6Multimedia"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 1; }, 30000));
    EXPECT_FALSE(played);
    EXPECT_EQ(player.ActiveCount(), 0);
}

TEST(LazyMp3, TheSoundSystemIsLoadedOnFirstUse) {
    if (qEnvironmentVariableIsSet(kChildVar))
        GTEST_SKIP();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVar, "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=LazyMp3Child.*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

} // namespace
