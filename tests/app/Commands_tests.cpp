#include "FileSizeLimit.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "XChild.h"
#include "app/Main.h"
#include "base/Settings.h"
#include "desktop/DesktopLauncher.h"
#include "feedback/SendUserInfo.h"
#include "toolkit/CursorTable.h"
#include "update/UpdateForm.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct Shown {
    QString text;
    int kind;
};

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn_.IsListening());
        standIn_.PointEndpointsHere();
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int) {
            shown_.push_back({text, kind});
            return int(TbsSkinMessage::mrOk);
        });
        form_.emplace();
        form_->show();
        QApplication::setActiveWindow(&*form_);
    }
    void TearDown() override {
        form_.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
    }
    int32_t StoredInteger(const char* name) {
        auto key = SettingsKey::Open();
        return key && key->ValueExists(name) ? key->ReadInteger(name) : -1;
    }

    TempHome home_;
    ServiceStandIn standIn_;
    std::vector<Shown> shown_;
    std::optional<TForm1> form_;
};

TEST_F(CommandsTest, LanguageSwap) {
    const struct {
        int source, target;
        int newSource, newTarget;
    } cases[] = {
        {3, 7, 8, 2},   // 英语 / 日语 become 日语 / 英语
        {0, 2, 3, 0},   // automatic detection: the target becomes 简体中文
        {5, 65, 66, 4}, // the target's last language
        {1, 0, 1, 0},   // both 简体中文
    };
    for (const auto& c : cases) {
        form_->SourceComboBox->SetItemIndex(c.source);
        form_->TargetComboBox->SetItemIndex(c.target);
        form_->TntMemo1->setPlainText("kept");
        form_->N2Click(form_->TntLabel4);
        EXPECT_EQ(form_->SourceComboBox->currentIndex(), c.newSource)
            << c.source << "," << c.target;
        EXPECT_EQ(form_->TargetComboBox->currentIndex(), c.newTarget)
            << c.source << "," << c.target;
        EXPECT_EQ(form_->TntMemo1->toPlainText(), "kept");
    }
    // A double click on either language label swaps too.
    form_->SourceComboBox->SetItemIndex(3);
    form_->TargetComboBox->SetItemIndex(7);
    QTest::mouseDClick(form_->TntLabel3, Qt::LeftButton);
    EXPECT_EQ(form_->SourceComboBox->currentIndex(), 8);
    EXPECT_EQ(form_->TargetComboBox->currentIndex(), 2);
    EXPECT_EQ(standIn_.RequestCount(), 0);
}

TEST_F(CommandsTest, HelpTextLinesAndScrollPosition) {
    const QStringList help = TForm1::HelpText();
    ASSERT_EQ(help.size(), 43);
    // Leading blanks per line, as the help text is laid out.
    const std::map<int, int> blanks = {{3, 4},  {16, 4}, {23, 4}, {38, 4}, {43, 4},
                                       {7, 6},  {9, 6},  {11, 6}, {18, 9}, {20, 9},
                                       {25, 5}, {27, 5}, {29, 5}, {31, 5}, {33, 5}};
    const std::set<int> empty = {2,  4,  6,  8,  10, 12, 13, 15, 17, 19, 21, 22,
                                 24, 26, 28, 30, 32, 34, 35, 37, 39, 40, 42};
    for (int n = 1; n <= 43; ++n) {
        const QString& line = help[n - 1];
        int lead = 0;
        while (lead < line.size() && line[lead] == ' ')
            ++lead;
        const auto it = blanks.find(n);
        EXPECT_EQ(lead, it == blanks.end() ? 0 : it->second) << "line " << n;
        EXPECT_EQ(line.isEmpty(), empty.count(n) == 1) << "line " << n;
    }
    EXPECT_EQ(help[24].mid(5, 3), QString::fromUtf8("\u3000\u3000本"));
    EXPECT_EQ(help[32].mid(5, 5), QString::fromUtf8("\u3000  \u3000图"));
    EXPECT_EQ(help[0], QString::fromUtf8("◤软件介绍◥"));
    EXPECT_TRUE(help[2].startsWith(QString::fromUtf8("    Quillmate是一款")));
    EXPECT_EQ(help[19], QString::fromUtf8("         翻译快捷键：Ctrl+Enter 或 Shift+Enter"));

    form_->TntMemo2->setPlainText("an earlier translation");
    form_->bsSkinButton5->click();
    EXPECT_EQ(form_->TntMemo2->toPlainText().split('\n'), help);
    EXPECT_EQ(form_->TntMemo2->verticalScrollBar()->value(), 0);
    EXPECT_EQ(form_->TntMemo2->textCursor().position(), 0);
}

TEST_F(CommandsTest, ClearAndCopy) {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText("before");
    form_->TntMemo2->clear();
    form_->bsSkinButton2->click();
    EXPECT_EQ(clipboard->text(), "before"); // an empty box copies nothing

    const QString translation = QString::fromUtf8("第一行\n😀 second line");
    form_->TntMemo2->setPlainText(translation);
    form_->bsSkinButton2->click();
    EXPECT_EQ(clipboard->text(), translation);
    EXPECT_TRUE(form_->TntMemo1->hasFocus());

    form_->TntMemo1->setPlainText("source");
    form_->bsSkinButton1->click();
    EXPECT_TRUE(form_->TntMemo1->toPlainText().isEmpty());
    EXPECT_TRUE(form_->TntMemo2->toPlainText().isEmpty());
    EXPECT_TRUE(form_->TntMemo1->hasFocus());
    EXPECT_TRUE(shown_.empty());
}

TEST_F(CommandsTest, SkinAndEngineChoicesAreStored) {
    form_->N8->trigger();
    EXPECT_TRUE(form_->N8->isChecked());
    EXPECT_FALSE(form_->N6->isChecked());
    EXPECT_EQ(form_->bsSkinData1->CompressedStoredSkin(), form_->bsCompressedStoredSkin3);
    EXPECT_EQ(StoredInteger("Face"), 3);
    form_->N7->trigger();
    EXPECT_EQ(StoredInteger("Face"), 2);

    form_->OCRServerID2->trigger();
    EXPECT_TRUE(form_->OCRServerID2->isChecked());
    EXPECT_FALSE(form_->OCRServerID1->isChecked());
    EXPECT_EQ(StoredInteger("ocr"), 2);
    EXPECT_EQ(StoredInteger("OCR"), 2); // the name read at the next start
    // Closing writes back the engine as it was at the start, not the choice.
    form_->close();
    EXPECT_EQ(StoredInteger("OCRServer"), 1);

    // The next start applies both.
    form_.reset();
    TForm1 next;
    EXPECT_TRUE(next.N7->isChecked());
    EXPECT_EQ(next.bsSkinData1->CompressedStoredSkin(), next.bsCompressedStoredSkin2);
    EXPECT_TRUE(next.OCRServerID2->isChecked());
}

TEST_F(CommandsTest, DesktopLauncherIsWrittenAndReplaced) {
    ASSERT_TRUE(QDir(home_.path()).mkpath("Desktop"));
    const QString path = home_.path() + "/Desktop/Quillmate.desktop";
    EXPECT_EQ(DesktopLauncherPath(), path);
    form_->N10->trigger();
    QFile first(path);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    const QByteArray text = first.readAll();
    first.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(
        text.contains("\nExec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n"));
    EXPECT_TRUE(text.contains(QString::fromUtf8("\nComment=全球超强的OCR翻译工具\n").toUtf8()));
    EXPECT_TRUE(QFileInfo(path).isExecutable());
    const QByteArray icon = text.mid(text.indexOf("\nIcon=") + 6).split('\n').first();
    EXPECT_TRUE(QFileInfo(QString::fromUtf8(icon)).isFile()) << icon.constData();

    form_->N10->trigger();
    EXPECT_EQ(QDir(home_.path() + "/Desktop").entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(shown_.empty());
}

TEST_F(CommandsTest, FullDiskKeepsThePreviousLauncher) {
    ASSERT_TRUE(QDir(home_.path()).mkpath("Desktop"));
    const QString path = DesktopLauncherPath();
    {
        QFile previous(path);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
        previous.write("previous");
    }
    {
        FileSizeLimit limit(100); // a launcher is several hundred bytes
        ASSERT_TRUE(limit.Active());
        form_->N10->trigger();
    }
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "previous");
    EXPECT_FALSE(QFileInfo(path).isExecutable());
}

TEST_F(CommandsTest, TranslateShortcutInTheSourceBox) {
    const QString noText = QStringLiteral("   请 输 入 要 翻 译 的 原 文 文 本 ！");
    form_->TntMemo1->setFocus();
    QTest::keyClick(form_->TntMemo1, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0].text, noText);
    EXPECT_EQ(shown_[1].text, noText);
    EXPECT_TRUE(form_->TntMemo1->toPlainText().isEmpty());

    const struct {
        Qt::KeyboardModifiers modifiers;
        const char* after;
    } cases[] = {
        {Qt::ControlModifier, "ab"},
        {Qt::ShiftModifier, "ab"},
        {Qt::NoModifier, "ab\n"},
    };
    StandInAnswer hold;
    hold.headerDelayMs = 300;
    standIn_.SetAnswer(kTranslatePath, hold);
    for (const auto& c : cases) {
        form_->TntMemo1->setPlainText("");
        QTest::keyClicks(form_->TntMemo1, "ab");
        QTest::keyClick(form_->TntMemo1, Qt::Key_Return, c.modifiers);
        EXPECT_EQ(form_->TntMemo1->toPlainText(), c.after) << int(c.modifiers);
        WaitUntil([&] { return form_->bsSkinButton7->isEnabled(); }, 10000);
    }
}

TEST_F(CommandsTest, ListCloseUpReturnsFocus) {
    form_->TntMemo2->setFocus();
    form_->SourceComboBox->showPopup();
    form_->SourceComboBox->hidePopup();
    EXPECT_TRUE(form_->TntMemo1->hasFocus());
    form_->TntMemo2->setFocus();
    form_->TargetComboBox->showPopup();
    form_->TargetComboBox->hidePopup();
    EXPECT_TRUE(form_->TntMemo1->hasFocus());
}

TEST_F(CommandsTest, DialogsOpenModallyWithTheirSizes) {
    const struct {
        QPushButton* button;
        QAction* item;
        QSize size;
        const char* kind;
    } cases[] = {
        {form_->bsSkinButton3, nullptr, {378, 143}, "TUpdateForm"},
        {form_->bsSkinButton4, nullptr, {501, 268}, "TSendUserInfo"},
        {nullptr, form_->N1, {501, 268}, "TSendUserInfo"},
    };
    const qsizetype dialogsBefore = form_->findChildren<QDialog*>().size();
    for (const auto& c : cases) {
        QString seen;
        QSize size;
        QTimer::singleShot(50, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            seen = QString::fromLatin1(modal->metaObject()->className());
            if (auto* update = qobject_cast<TUpdateForm*>(modal))
                size = update->ClientArea->size();
            if (auto* feedback = qobject_cast<TSendUserInfo*>(modal))
                size = feedback->ClientArea->size();
            modal->close();
        });
        SetScreenCursor(crAnimatedBusy);
        form_->TntMemo2->setFocus();
        if (c.button)
            c.button->click();
        else
            c.item->trigger();
        EXPECT_EQ(seen, c.kind);
        EXPECT_EQ(size, c.size);
        // The window gets activated again later; its focus control is set now.
        EXPECT_EQ(form_->focusWidget(), form_->TntMemo1) << c.kind;
        // Each opening is a fresh dialog, freed afterwards.
        EXPECT_EQ(form_->findChildren<QDialog*>().size(), dialogsBefore) << c.kind;
    }
    // Closing the feedback dialog puts the normal cursor back.
    EXPECT_EQ(ScreenCursor(), crDefault);
}

// Runs in a child process on the real X server of QUILL_X_DISPLAY.
TEST(CommandsX11, ClipboardHoldsTheTranslation) {
    QUILL_RUN_IN_X_CHILD();
    TempHome home;
    ServiceStandIn standIn;
    standIn.PointEndpointsHere();
    TForm1 form;
    form.show();
    const QString translation = QString::fromUtf8("你好，世界\nHello, world");
    form.TntMemo2->setPlainText(translation);
    form.bsSkinButton2->click();

    // xclip asks this process for the selection: keep serving events meanwhile.
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", "clipboard"});
    ASSERT_TRUE(xclip.waitForStarted(10000)) << "xclip is needed (scripts/deps.sh)";
    ASSERT_TRUE(WaitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(QString::fromUtf8(xclip.readAllStandardOutput()), translation);
}

} // namespace
