#include "TempHome.h"
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

int OverrideDepth() {
    int depth = 0;
    while (QGuiApplication::overrideCursor()) {
        QGuiApplication::restoreOverrideCursor();
        ++depth;
    }
    return depth;
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
