#include "TempHome.h"
#include "desktop/DesktopLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

TEST(DesktopLauncher, LauncherQuotesAwkwardPaths) {
    const struct {
        QString program;
        const char* exec;
    } cases[] = {
        {"/opt/quill/quillmate", "Exec=\"/opt/quill/quillmate\"\n"},
        {"/home/a b/quillmate", "Exec=\"/home/a b/quillmate\"\n"},
        {"/tmp/100%/q", "Exec=\"/tmp/100%%/q\"\n"},
        {"/tmp/$x`y\"/q", "Exec=\"/tmp/\\\\$x\\\\`y\\\\\"/q\"\n"},
        {"/tmp/back\\slash/q", "Exec=\"/tmp/back\\\\\\\\slash/q\"\n"},
    };
    for (const auto& c : cases) {
        const QByteArray text = DesktopLauncher(c.program, "/opt/quill/", "");
        EXPECT_TRUE(text.contains(c.exec)) << text.constData();
        EXPECT_FALSE(text.contains("Icon="));
    }
    EXPECT_TRUE(DesktopLauncher("/q", "/a\nb/", "").contains("Path=/a\\nb/\n"));
}

// The launcher names the icon only when its copy could be kept, and is written
// only into a desktop folder that exists.
TEST(DesktopLauncher, WrittenExecutableWithTheIconItCouldKeep) {
    const struct {
        const char* name;
        bool desktop;
        QByteArray icon;
        bool dataFolder;
        bool written;
        bool iconLine;
    } rows[] = {
        {"icon kept", true, "png bytes", true, true, true},
        {"no icon", true, {}, true, true, false},
        {"no data folder", true, "png bytes", false, true, false},
        {"no desktop folder", false, "png bytes", true, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome home;
        if (row.desktop) {
            ASSERT_TRUE(QDir(home.path()).mkpath("Desktop"));
        }
        ASSERT_TRUE(QDir().mkpath(home.dataDir()));
        const QString data = row.dataFolder ? home.dataDir() : QString();
        EXPECT_EQ(WriteDesktopLauncher("/opt/quill/quillmate", row.icon, data), row.written);
        const QString path = home.path() + "/Desktop/Quillmate.desktop";
        EXPECT_EQ(DesktopLauncherPath(), path);
        QFile file(path);
        if (!row.written) {
            EXPECT_FALSE(file.exists());
            continue;
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.contains("\nPath=/opt/quill/\n"));
        EXPECT_TRUE(QFileInfo(path).isExecutable());
        const QString icon = home.dataDir() + "/quillmate.png";
        EXPECT_EQ(text.contains("\nIcon=" + icon.toUtf8() + "\n"), row.iconLine);
        if (row.iconLine) {
            QFile kept(icon);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), row.icon);
        }
    }
}

} // namespace
