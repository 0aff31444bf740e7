#include "XChild.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

XChild RunInXChild() {
    if (!qEnvironmentVariableIsEmpty("QUILL_X_CHILD"))
        return XChild::InChild;
    const QByteArray display = qgetenv("QUILL_X_DISPLAY");
    if (display.isEmpty())
        return XChild::NoDisplay;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILL_X_CHILD", "1");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", QString::fromLatin1(display));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QLatin1String(test->test_suite_name()), QLatin1String(test->name()))});
    const bool finished = child.waitForFinished(60000);
    EXPECT_TRUE(finished);
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().constData();
    return XChild::Done;
}
