#include "toolkit/BusinessSkinForm.h"
#include "toolkit/SkinComboBox.h"
#include "toolkit/TrayIcon.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

struct Window {
    QWidget form;
    TbsTrayIcon* tray;
    TbsBusinessSkinForm* frame;
    int restores = 0;

    explicit Window(bool trayAvailable) {
        form.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        form.setWindowTitle(QStringLiteral(" T e s t"));
        tray = new TbsTrayIcon(&form);
        frame = new TbsBusinessSkinForm(&form);
        frame->TrayAvailable = [trayAvailable] { return trayAvailable; };
        frame->SetTrayIcon(tray);
        frame->OnRestoreFromTray = [this](QObject* sender) {
            EXPECT_EQ(sender, frame);
            ++restores;
        };
        auto* layout = new QVBoxLayout(&form);
        layout->addWidget(frame->CaptionBar());
        layout->addStretch();
        form.resize(400, 300);
        form.show();
    }
};

TEST(Frame, CaptionFollowsTheWindowTitle) {
    Window w(true);
    EXPECT_EQ(w.frame->CaptionBar()->CaptionLabel->text(), QStringLiteral(" T e s t"));
    w.form.setWindowTitle(QStringLiteral("other"));
    EXPECT_EQ(w.frame->CaptionBar()->CaptionLabel->text(), QStringLiteral("other"));
}

TEST(Frame, MinimiseToTrayAndBack) {
    Window w(true);
    EXPECT_FALSE(w.tray->IsVisible());
    w.frame->CaptionBar()->TrayButton->click();
    EXPECT_TRUE(w.frame->InTray());
    EXPECT_FALSE(w.form.isVisible());
    EXPECT_TRUE(w.tray->IsVisible());
    EXPECT_EQ(w.restores, 0);

    w.tray->Activate(); // a click on the tray icon
    EXPECT_FALSE(w.frame->InTray());
    EXPECT_TRUE(w.form.isVisible());
    EXPECT_FALSE(w.form.isMinimized());
    EXPECT_FALSE(w.tray->IsVisible());
    EXPECT_EQ(w.restores, 1);

    // A second click on a stale icon does not raise the event again.
    w.tray->Activate();
    EXPECT_EQ(w.restores, 1);
}

TEST(Frame, WithoutATrayTheWindowIsMinimisedNotHidden) {
    for (bool hideButton : {false, true}) {
        Window w(false);
        w.frame->HideTrayButtonWithoutTray = hideButton;
        w.frame->UpdateTrayButton();
        EXPECT_EQ(w.frame->CaptionBar()->TrayButton->isHidden(), hideButton);
        w.frame->MinimizeToTray();
        EXPECT_FALSE(w.frame->InTray());
        EXPECT_TRUE(w.form.isVisible()) << hideButton;
        EXPECT_TRUE(w.form.isMinimized()) << hideButton;
        EXPECT_FALSE(w.tray->IsVisible());
        w.frame->RestoreFromTray();
        EXPECT_EQ(w.restores, 0);
    }
}

TEST(Frame, TrayButtonComesBackWhenATrayAppears) {
    Window w(false);
    bool available = false;
    w.frame->TrayAvailable = [&] { return available; };
    w.frame->HideTrayButtonWithoutTray = true;
    w.frame->UpdateTrayButton();
    EXPECT_TRUE(w.frame->CaptionBar()->TrayButton->isHidden());
    available = true;
    w.form.hide();
    w.form.show(); // re-checked whenever the window is shown
    EXPECT_FALSE(w.frame->CaptionBar()->TrayButton->isHidden());
}

TEST(Frame, MaximiseTogglesAndSwapsTheGlyph) {
    Window w(true);
    TbsCaptionBar* bar = w.frame->CaptionBar();
    bar->MaximizeButton->click();
    EXPECT_TRUE(w.form.isMaximized());
    EXPECT_EQ(bar->MaximizeButton->CurrentGlyph(), TbsCaptionButton::gRestore);
    QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(100, 10));
    EXPECT_FALSE(w.form.isMaximized());
    EXPECT_EQ(bar->MaximizeButton->CurrentGlyph(), TbsCaptionButton::gMaximize);
}

TEST(Frame, DraggingTheCaptionMovesTheWindow) {
    // Without a window manager (offscreen) the bar moves the window itself.
    Window w(true);
    w.form.move(100, 100);
    TbsCaptionBar* bar = w.frame->CaptionBar();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(50, 10));
    QTest::mouseMove(bar, QPoint(80, 30));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(80, 30));
    EXPECT_EQ(w.form.pos(), QPoint(130, 120));
    QTest::mouseMove(bar, QPoint(10, 10)); // no button: no move
    EXPECT_EQ(w.form.pos(), QPoint(130, 120));
}

TEST(Frame, CloseButtonClosesTheWindow) {
    Window w(true);
    w.frame->CaptionBar()->CloseButton->click();
    EXPECT_FALSE(w.form.isVisible());
}

TEST(SkinComboBox, OutOfRangeLeavesNoSelectionButKeepsTheText) {
    const struct {
        int start; // -1: nothing selected, placeholder shown
        int position;
        int index;
        const char* shown;
    } table[] = {
        {2, 1, 1, "b"},   {2, 3, -1, "c"},       {2, -1, -1, "c"},
        {2, 99, -1, "c"}, {-1, 5, -1, "design"}, {-1, 0, 0, "a"},
    };
    for (const auto& row : table) {
        TbsSkinComboBox box;
        box.addItems({"a", "b", "c"});
        box.setPlaceholderText(QStringLiteral("design"));
        box.setCurrentIndex(row.start);
        box.SetItemIndex(row.position);
        EXPECT_EQ(box.currentIndex(), row.index) << row.position;
        const QString shown = box.currentIndex() >= 0 ? box.currentText() : box.placeholderText();
        EXPECT_EQ(shown, QString::fromUtf8(row.shown)) << row.position;
    }
}

TEST(SkinComboBox, OpenListCarriesItsCaptionAndClosingIsReported) {
    QWidget window;
    auto* box = new TbsSkinComboBox(&window);
    for (int i = 0; i < 30; ++i)
        box->addItem(QString::number(i));
    box->setMaxVisibleItems(9);
    box->SetListBoxCaption(QStringLiteral("自动检测"));
    window.show();
    QSignalSpy closed(box, &TbsSkinComboBox::closeUp);
    box->showPopup();
    auto* caption =
        box->view()->parentWidget()->findChild<QLabel*>(QStringLiteral("ListBoxCaption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("自动检测"));
    EXPECT_TRUE(caption->isVisible());
    box->hidePopup();
    EXPECT_EQ(closed.count(), 1);
    // Hiding the box (as minimising to the tray does) is no close-up.
    box->hidePopup();
    window.hide();
    EXPECT_EQ(closed.count(), 1);
    window.show();
    // Closing by picking an item is a close-up too.
    box->showPopup();
    QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Return);
    EXPECT_GE(closed.count(), 2);
}

} // namespace
