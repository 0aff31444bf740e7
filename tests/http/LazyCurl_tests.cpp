#include "HttpTestUtil.h"
#include "LoopbackServer.h"
#include "TempHome.h"

#include <QFile>
#include <QTemporaryFile>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kChildVar = "QUILL_LAZY_CURL_CHILD";

bool Mapped(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

// Runs one test of this program in a fresh process, where nothing has touched
// libcurl yet; true when it passed. Plain fork and exec: the thread sanitizer
// follows those, unlike the vfork-style start of QProcess.
bool PassesInFreshProcess(const QString& test) {
    QTemporaryFile log;
    if (!log.open())
        return false;
    const QByteArray program = QCoreApplication::applicationFilePath().toLocal8Bit();
    const QByteArray filter = ("--gtest_filter=" + test).toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kChildVar, "1", 1);
        ::dup2(log.handle(), 1);
        ::dup2(log.handle(), 2);
        ::execl(program.constData(), program.constData(), filter.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return false;
    log.seek(0);
    const QByteArray out = log.readAll();
    const bool passed =
        WIFEXITED(status) && WEXITSTATUS(status) == 0 && out.contains("[  PASSED  ] 1 test");
    if (!passed)
        ADD_FAILURE() << out.toStdString();
    return passed;
}

TEST(LazyCurlChild, OpensLibcurlOnlyAtTheFirstTransfer) {
    if (!qEnvironmentVariableIsSet(kChildVar))
        GTEST_SKIP() << "runs in the child process of LazyCurl";
    TempHome home;
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/x");
    EXPECT_FALSE(Mapped("libcurl")) << "a component alone must not open libcurl";
    ASSERT_TRUE(http.StartTransfer());
    EXPECT_TRUE(Mapped("libcurl"));
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(2)"}));
    EXPECT_EQ(log.body, "ok");
}

TEST(LazyCurl, AComponentAloneLeavesLibcurlClosedAndTheFirstTransferWorks) {
    if (qEnvironmentVariableIsSet(kChildVar))
        GTEST_SKIP();
    EXPECT_TRUE(PassesInFreshProcess(QStringLiteral("LazyCurlChild.*")));
}

} // namespace
