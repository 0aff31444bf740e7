#include "TempHome.h"
#include "storage/FileStorage.h"
#include "toolkit/AnimatedCursor.h"
#include "toolkit/CursorTable.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// An .ani whose frames are squares of distinct colours; `frames` tells them apart.
QByteArray Ani(int frames, int jiffies = 6) {
    TAniCursorData d;
    for (int i = 0; i < frames; ++i) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(0, 0, 10 + i, 10, QColor(40 * i, 0, 255 - 40 * i));
        d.Frames.push_back({image, {0, 0}});
        d.Steps.push_back({i, jiffies});
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

int OverrideDepth() {
    int depth = 0;
    while (QGuiApplication::overrideCursor()) {
        QGuiApplication::restoreOverrideCursor();
        ++depth;
    }
    return depth;
}

size_t Frames(int slot) {
    TAnimatedCursor* c = CursorSlotCursor(slot);
    return c ? c->Data().Frames.size() : 0;
}

class CursorTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearCursorSlots();
        folder = home.dataDir();
        QDir().mkpath(folder);
    }
    void TearDown() override { ClearCursorSlots(); }

    void Load(int slot, int frames) {
        const QString path = folder + QStringLiteral("/slot%1.ani").arg(slot);
        WriteFile(path, Ani(frames));
        ASSERT_TRUE(LoadCursorSlot(slot, path));
    }

    TempHome home;
    QString folder;
};

} // namespace

TEST_F(CursorTableTest, ScreenCursorStacksOnceAndRestoresWithSlotZero) {
    Load(crAnimatedBusy, 3);
    SetScreenCursor(crAnimatedBusy);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    const QImage first = QGuiApplication::overrideCursor()->pixmap().toImage();
    EXPECT_EQ(first.convertToFormat(QImage::Format_ARGB32_Premultiplied),
              CursorSlotCursor(crAnimatedBusy)->Data().Frames[0].Image);
    EXPECT_TRUE(CursorSlotCursor(crAnimatedBusy)->IsAnimating());

    // The next step replaces the cursor on screen.
    CursorSlotCursor(crAnimatedBusy)->Advance();
    EXPECT_NE(QGuiApplication::overrideCursor()->pixmap().toImage(), first);

    SetScreenCursor(crAnimatedBusy);
    SetScreenCursor(crAnimatedArrow); // empty slot: the plain arrow
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    EXPECT_FALSE(CursorSlotCursor(crAnimatedBusy)->IsAnimating());
    SetScreenCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "one restore undoes it all";
    EXPECT_EQ(ScreenCursor(), int(crDefault));
    EXPECT_EQ(OverrideDepth(), 0);
}

TEST_F(CursorTableTest, ControlsAnimateOnlyWhileHovered) {
    QPushButton early, late;
    SetControlCursor(&early, crAnimatedArrow); // slot still empty
    EXPECT_EQ(early.cursor().shape(), Qt::ArrowCursor);

    Load(crAnimatedArrow, 4);
    TAnimatedCursor* arrow = CursorSlotCursor(crAnimatedArrow);
    EXPECT_EQ(early.cursor().shape(), Qt::BitmapCursor) << "filled slot reaches earlier controls";
    SetControlCursor(&late, crAnimatedArrow);
    EXPECT_EQ(late.cursor().shape(), Qt::BitmapCursor);
    EXPECT_FALSE(arrow->IsAnimating()) << "nothing hovered, nothing to animate";

    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&late, &enter);
    EXPECT_TRUE(arrow->IsAnimating());
    const QImage before = late.cursor().pixmap().toImage();
    arrow->Advance();
    EXPECT_NE(late.cursor().pixmap().toImage(), before);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&late, &leave);
    EXPECT_FALSE(arrow->IsAnimating());

    SetControlCursor(&late, crDefault);
    EXPECT_EQ(late.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(CursorTableTest, InstallExtractsOnlyMissingFiles) {
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

TEST_F(CursorTableTest, NoDataFolderExtractsNothingAndKeepsTheDefaults) {
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
