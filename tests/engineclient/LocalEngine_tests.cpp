// Finding, sharing and restarting the local engine with the real server
// program, in a runtime folder of the test's own.
#include "engineclient/EngineProbe.h"
#include "engineclient/LocalEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

// A process that ended but nobody reaped yet counts as gone.
bool Alive(qint64 pid) {
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype end = text.lastIndexOf(')');
    return end > 0 && text.size() > end + 2 && text[end + 2] != 'Z';
}

void StopAndWait(qint64 pid) {
    if (pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    QElapsedTimer timer;
    timer.start();
    while (Alive(pid) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

mode_t ModeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

class LocalEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_.program = QUILLMATE_SERVER_PATH;
        settings_.runtimeFolder = dir_.path() + "/quillmate";
    }
    void TearDown() override {
        for (qint64 pid : started_)
            StopAndWait(pid);
    }
    FoundEngine Find() {
        FoundEngine engine = FindOrStartEngine(settings_);
        started_.push_back(engine.pid);
        return engine;
    }

    QTemporaryDir dir_;
    EngineSettings settings_;
    std::vector<qint64> started_;
};

TEST_F(LocalEngineTest, StartsPublishesAndIsShared) {
    const FoundEngine first = Find();
    ASSERT_FALSE(first.baseUrl.isEmpty()) << first.error.toStdString();
    EXPECT_TRUE(first.baseUrl.startsWith("http://127.0.0.1:"));
    // A 128-bit token in the path.
    EXPECT_EQ(first.baseUrl.section('/', 3, 3).size(), 32);
    EXPECT_TRUE(EngineAnswers(first.baseUrl, 2000));
    EXPECT_EQ(ModeOf(settings_.runtimeFolder), 0700u);
    EXPECT_EQ(ModeOf(settings_.runtimeFolder + "/engine"), 0600u);

    // The next start of the program finds the same engine.
    const FoundEngine second = Find();
    EXPECT_EQ(second.baseUrl, first.baseUrl);
    EXPECT_EQ(second.pid, first.pid);
}

TEST_F(LocalEngineTest, AnEngineThatDiedIsStartedAgain) {
    const FoundEngine first = Find();
    ASSERT_TRUE(Alive(first.pid));
    StopAndWait(first.pid);
    const FoundEngine second = Find();
    ASSERT_FALSE(second.baseUrl.isEmpty()) << second.error.toStdString();
    EXPECT_NE(second.pid, first.pid);
    EXPECT_TRUE(EngineAnswers(second.baseUrl, 2000));
}

TEST_F(LocalEngineTest, AnotherServerOnThePublishedPortIsNotTrusted) {
    const FoundEngine first = Find();
    ASSERT_FALSE(first.baseUrl.isEmpty());
    // Same port, another token: what answers there is not our engine.
    QString wrong = first.baseUrl;
    wrong.replace(wrong.section('/', 3, 3), QString(32, 'f'));
    EXPECT_FALSE(EngineAnswers(wrong, 2000));
    QFile published(settings_.runtimeFolder + "/engine");
    ASSERT_TRUE(published.open(QIODevice::WriteOnly));
    published.write(wrong.toUtf8() + "\n1\n");
    published.close();
    const FoundEngine second = Find();
    EXPECT_NE(second.baseUrl, wrong);
    EXPECT_TRUE(EngineAnswers(second.baseUrl, 2000));
}

TEST_F(LocalEngineTest, FailuresGiveNoAddressAndLeaveNothingRunning) {
    settings_.program = dir_.path() + "/missing-server";
    EXPECT_TRUE(Find().baseUrl.isEmpty());

    // A program that never reports its address is given up and ended.
    const QString silent = dir_.path() + "/silent-server";
    QFile script(silent);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec sleep 60\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    settings_.program = silent;
    settings_.startTimeoutMs = 300;
    const FoundEngine engine = Find();
    EXPECT_TRUE(engine.baseUrl.isEmpty());
    EXPECT_FALSE(engine.error.isEmpty());
    ASSERT_GT(engine.pid, 0);
    QElapsedTimer timer;
    timer.start();
    while (Alive(engine.pid) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(Alive(engine.pid));
    EXPECT_FALSE(QFile::exists(settings_.runtimeFolder + "/engine"));
}

TEST_F(LocalEngineTest, AFolderOthersCanReadIsNotUsedForSharing) {
    ASSERT_EQ(::mkdir(QFile::encodeName(settings_.runtimeFolder).constData(), 0755), 0);
    ::chmod(QFile::encodeName(settings_.runtimeFolder).constData(), 0755);
    const FoundEngine engine = Find();
    EXPECT_FALSE(engine.baseUrl.isEmpty()) << engine.error.toStdString();
    EXPECT_FALSE(QFile::exists(settings_.runtimeFolder + "/engine"));
}

TEST_F(LocalEngineTest, AcquireReportsOnTheCallersThread) {
    LocalEngine::Instance().Configure(settings_);
    QObject context;
    QString url;
    bool called = false;
    LocalEngine::Instance().Acquire(&context, [&](const QString& baseUrl) {
        EXPECT_EQ(QThread::currentThread(), context.thread());
        url = baseUrl;
        called = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!called && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(called);
    EXPECT_TRUE(EngineAnswers(url, 2000));
    started_.push_back(FindOrStartEngine(settings_).pid);

    // A context that is gone by then hears nothing.
    auto* gone = new QObject;
    bool late = false;
    LocalEngine::Instance().Acquire(gone, [&](const QString&) { late = true; });
    delete gone;
    timer.restart();
    while (timer.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(late);
}

} // namespace
