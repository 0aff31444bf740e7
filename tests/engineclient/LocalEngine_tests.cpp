// Finding, sharing and restarting the local engine with the real server
// program, in a runtime folder of the test's own.
#include "PlantedListener.h"
#include "TempHome.h"
#include "engineclient/EngineProbe.h"
#include "engineclient/LocalEngine.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct stat StatOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

QString TokenOf(const FoundEngine& engine) {
    return QUrl(engine.baseUrl).path().section('/', 1, 1);
}

void WritePublished(const QString& folder, const QByteArray& text) {
    QFile published(folder + "/engine");
    ASSERT_TRUE(published.open(QIODevice::WriteOnly | QIODevice::Truncate));
    published.write(text);
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
    QString Socket() const { return settings_.runtimeFolder + "/engine.sock"; }

    TempHome home_;
    QTemporaryDir dir_;
    LocalEngineSettings settings_;
    std::vector<qint64> started_;
};

TEST_F(LocalEngineTest, StartsPublishesAndIsShared) {
    const FoundEngine first = Find();
    ASSERT_FALSE(first.baseUrl.isEmpty()) << first.error.toStdString();
    EXPECT_EQ(first.socketPath, Socket());
    EXPECT_EQ(TokenOf(first).size(), 32); // 128 bits
    EXPECT_TRUE(EngineAnswers(first, 2000));
    FoundEngine wrongToken = first;
    wrongToken.baseUrl.replace(TokenOf(first), QString(32, 'f'));
    EXPECT_FALSE(EngineAnswers(wrongToken, 2000));
    EXPECT_EQ(StatOf(settings_.runtimeFolder).st_mode & 0777, 0700u);
    EXPECT_EQ(StatOf(settings_.runtimeFolder + "/engine").st_mode & 0777, 0600u);
    EXPECT_TRUE(S_ISSOCK(StatOf(Socket()).st_mode));

    // The next start of the program finds the same engine.
    const FoundEngine second = Find();
    EXPECT_EQ(second.baseUrl, first.baseUrl);
    EXPECT_EQ(second.pid, first.pid);
}

TEST_F(LocalEngineTest, TheTokenStaysWhereOnlyTheUserCanReadIt) {
    const FoundEngine engine = Find();
    ASSERT_FALSE(engine.baseUrl.isEmpty()) << engine.error.toStdString();
    const QByteArray token = TokenOf(engine).toLatin1();
    // What ps shows every user.
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(engine.pid));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QByteArray arguments = cmdline.readAll();
    EXPECT_TRUE(arguments.contains("--token-stdin"));
    EXPECT_FALSE(arguments.contains(token));
    // Every file of the folder that someone else could read, were they let in.
    QDirIterator files(settings_.runtimeFolder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if ((StatOf(path).st_mode & 044) == 0)
            continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        EXPECT_FALSE(file.readAll().contains(token)) << path.toStdString();
    }
    EXPECT_EQ(StatOf(settings_.runtimeFolder + "/engine.log").st_mode & 077, 0u);
}

TEST_F(LocalEngineTest, AnEngineThatDiedIsStartedAgain) {
    const FoundEngine first = Find();
    ASSERT_TRUE(Alive(first.pid));
    StopAndWait(first.pid);
    const FoundEngine second = Find();
    ASSERT_FALSE(second.baseUrl.isEmpty()) << second.error.toStdString();
    EXPECT_NE(second.pid, first.pid);
    EXPECT_TRUE(EngineAnswers(second, 2000));
}

// What is left where a dead engine was, or what another user put there, is
// sent nothing: a fresh engine takes its place.
TEST_F(LocalEngineTest, NothingButTheProvenEngineIsSentAByte) {
    const bool root = ::geteuid() == 0;
    QTemporaryDir elsewhere;
    ::chmod(QFile::encodeName(elsewhere.path()).constData(), 0700);
    const struct Row {
        const char* name;
        bool needsRoot;
        bool connects; // the check connects before it sends: ours, but not the engine
        // Plants the impostor once the engine is dead; it may rewrite the
        // published file (which names the dead engine).
        std::function<std::unique_ptr<PlantedListener>(const FoundEngine& dead)> plant;
    } rows[] = {
        {"a listener at the old TCP address", false, false,
         [&](const FoundEngine& dead) {
             std::unique_ptr<PlantedListener> tcp;
             for (uint16_t port = 20000 + (::getpid() % 20000); !tcp; ++port) {
                 tcp = PlantedListener::OnTcpPort(port);
                 if (tcp)
                     WritePublished(settings_.runtimeFolder,
                                    QStringLiteral("http://127.0.0.1:%1/%2/\n%3\n")
                                        .arg(port)
                                        .arg(TokenOf(dead))
                                        .arg(dead.pid)
                                        .toUtf8());
             }
             return tcp;
         }},
        {"another user's socket in its place", true, false,
         [&](const FoundEngine&) { return PlantedListener::OnUnixSocket(Socket(), 65534); }},
        {"a socket of ours held by another process", false, true,
         [&](const FoundEngine&) { return PlantedListener::OnUnixSocket(Socket(), ::geteuid()); }},
        {"a published socket in another folder", false, false,
         [&](const FoundEngine& dead) {
             const QString socket = elsewhere.path() + "/engine.sock";
             auto listener = PlantedListener::OnUnixSocket(socket, ::geteuid());
             WritePublished(settings_.runtimeFolder, ("unix:" + socket + " " + dead.baseUrl + "\n" +
                                                      QString::number(::getpid()) + "\n")
                                                         .toUtf8());
             return listener;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && !root)
            continue; // changing a file's owner needs root
        const FoundEngine dead = Find();
        ASSERT_FALSE(dead.baseUrl.isEmpty()) << dead.error.toStdString();
        StopAndWait(dead.pid);
        QFile::remove(Socket());
        const std::unique_ptr<PlantedListener> impostor = row.plant(dead);
        ASSERT_TRUE(impostor);

        const FoundEngine fresh = Find();
        ASSERT_FALSE(fresh.baseUrl.isEmpty()) << fresh.error.toStdString();
        EXPECT_NE(fresh.pid, dead.pid);
        EXPECT_NE(fresh.baseUrl, dead.baseUrl);
        EXPECT_TRUE(EngineAnswers(fresh, 2000));
        EXPECT_EQ(impostor->Received(), QByteArray());
        if (!row.connects) {
            EXPECT_EQ(impostor->Connections(), 0);
        }
        StopAndWait(fresh.pid);
    }
}

TEST_F(LocalEngineTest, FailuresGiveNoAddressAndLeaveNothingRunning) {
    settings_.program = dir_.path() + "/missing-server";
    EXPECT_TRUE(Find().baseUrl.isEmpty());

    // A program that never reports its address, or reports another one, is
    // given up and ended.
    const struct {
        const char* name;
        QByteArray script;
    } rows[] = {
        {"silent", "#!/bin/sh\nexec sleep 60\n"},
        {"another address", "#!/bin/sh\necho unix:/tmp/elsewhere.sock http://localhost/x/\n"
                            "exec sleep 60\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString program = dir_.path() + "/server.sh";
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(row.script);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        settings_.program = program;
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
}

TEST_F(LocalEngineTest, AFolderOthersCanReadIsNotUsedForSharing) {
    ASSERT_EQ(::mkdir(QFile::encodeName(settings_.runtimeFolder).constData(), 0755), 0);
    ::chmod(QFile::encodeName(settings_.runtimeFolder).constData(), 0755);
    const FoundEngine engine = Find();
    ASSERT_FALSE(engine.baseUrl.isEmpty()) << engine.error.toStdString();
    EXPECT_TRUE(EngineAnswers(engine, 2000));
    EXPECT_FALSE(engine.socketPath.startsWith(settings_.runtimeFolder));
    EXPECT_TRUE(QDir(settings_.runtimeFolder).isEmpty());
    StopAndWait(engine.pid);
    QDir(QFileInfo(engine.socketPath).path()).removeRecursively();
}

TEST_F(LocalEngineTest, AcquireReportsOnTheCallersThread) {
    LocalEngine::Instance().Configure(settings_);
    QObject context;
    FoundEngine found;
    bool called = false;
    LocalEngine::Instance().Acquire(&context, [&](const FoundEngine& engine) {
        EXPECT_EQ(QThread::currentThread(), context.thread());
        found = engine;
        called = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!called && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(called);
    started_.push_back(found.pid);
    EXPECT_TRUE(EngineAnswers(found, 2000));

    // An endpoint of the engine resolves to its socket and path.
    qunsetenv("QUILLMATE_TTS_URL");
    EndpointAddress address;
    ResolveEndpoint(Endpoint::Tts, &context, [&](const EndpointAddress& a) { address = a; });
    timer.restart();
    while (address.url.isEmpty() && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(address.url, found.baseUrl + "gettts");
    EXPECT_EQ(address.unixSocket, found.socketPath);

    // A context that is gone by then hears nothing.
    auto* gone = new QObject;
    bool late = false;
    LocalEngine::Instance().Acquire(gone, [&](const FoundEngine&) { late = true; });
    delete gone;
    timer.restart();
    while (timer.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(late);
}

} // namespace
