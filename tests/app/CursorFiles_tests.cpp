#include "TempHome.h"
#include "anicodec/AniCodec.h"
#include "app/CursorFiles.h"
#include "storage/FileStorage.h"
#include "toolkit/AnimatedCursor.h"
#include "toolkit/CursorTable.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// An .ani whose frames are squares of distinct colours; `frames` tells them apart.
QByteArray Ani(int frames) {
    TAniCursorData d;
    for (int i = 0; i < frames; ++i) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(0, 0, 10 + i, 10, QColor(40 * i, 0, 255 - 40 * i));
        d.Frames.push_back({image, {0, 0}});
        d.Steps.push_back({i, 6});
    }
    return WriteAniCursor(d);
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

size_t Frames(int slot) {
    TAnimatedCursor* c = CursorSlotCursor(slot);
    return c ? c->Data().Frames.size() : 0;
}

class CursorFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCursorSlots();
        folder = home.dataDir();
        QDir().mkpath(folder);
    }
    void TearDown() override { ClearCursorSlots(); }

    TempHome home;
    QString folder;
};

} // namespace

TEST_F(CursorFilesTest, InstallExtractsOnlyMissingFiles) {
    TFileStorage storage;
    storage.AddFile("appstarting.ani", Ani(5));
    storage.AddFile("arrow.ani", Ani(3));
    const QString busy = folder + "/appstarting.ani", arrow = folder + "/arrow.ani";

    // First start: both files appear and both slots fill.
    InstallCursorFiles(&storage, folder);
    EXPECT_EQ(ReadFile(busy), Ani(5));
    EXPECT_EQ(ReadFile(arrow), Ani(3));
    EXPECT_EQ(Frames(crAnimatedBusy), 5u);
    EXPECT_EQ(Frames(crAnimatedArrow), 3u);

    struct Case {
        const char* what;
        QByteArray busyBefore; // empty: deleted before the start
        QByteArray arrowBefore;
        size_t busyFrames;
        size_t arrowFrames;
    };
    const Case cases[] = {
        {"an existing differing file is used as it is", Ani(2), Ani(3), 2, 3},
        {"a deleted file is extracted again", QByteArray(), Ani(7), 5, 7},
        {"a damaged file stays and leaves its slot empty", Ani(5), "RIFF-broken", 5, 0},
    };
    for (const Case& c : cases) {
        QFile::remove(busy);
        QFile::remove(arrow);
        if (!c.busyBefore.isEmpty())
            WriteFile(busy, c.busyBefore);
        WriteFile(arrow, c.arrowBefore);
        InstallCursorFiles(&storage, folder);
        EXPECT_EQ(ReadFile(arrow), c.arrowBefore) << c.what;
        EXPECT_EQ(ReadFile(busy), c.busyBefore.isEmpty() ? Ani(5) : c.busyBefore) << c.what;
        EXPECT_EQ(Frames(crAnimatedBusy), c.busyFrames) << c.what;
        EXPECT_EQ(Frames(crAnimatedArrow), c.arrowFrames) << c.what;
    }

    // With the arrow slot empty, a control set to it shows the default cursor.
    QPushButton button;
    SetControlCursor(&button, crAnimatedArrow);
    EXPECT_EQ(button.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(CursorFilesTest, NoDataFolderExtractsNothingAndKeepsTheDefaults) {
    TFileStorage storage;
    storage.AddFile("appstarting.ani", Ani(5));
    storage.AddFile("arrow.ani", Ani(3));
    QStringList targets;
    // Vetoed, so a faulty install cannot write anything where it aims.
    storage.OnExtract = [&targets](QObject*, const QString& file, int32_t, bool& allow) {
        targets << file;
        allow = false;
    };
    InstallCursorFiles(&storage, QString());
    EXPECT_TRUE(targets.isEmpty()) << targets.join(' ').toStdString();
    EXPECT_EQ(CursorSlotCursor(crAnimatedBusy), nullptr);
    EXPECT_EQ(CursorSlotCursor(crAnimatedArrow), nullptr);
}
