// The main window's side of the history: what a translation from the button
// or the global shortcut leaves in the file, the tray switch, and the history
// window opened with Ctrl+H handing an entry back to the boxes and lists.
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"
#include "base/Preferences.h"
#include "desktop/InstanceChannel.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "historywindow/HistoryForm.h"
#include "historywindow/HistoryListModel.h"
#include "toolkit/CursorTable.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslateService.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kAnswer =
    R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao"]],null,"en"])";

struct Shown {
    QString text;
    int kind;
    int buttons;
};

class HistoryRecording : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            shown.append({text, kind, buttons});
            return int(TbsSkinMessage::mrOk);
        });
        MakeForm();
    }
    void TearDown() override {
        form.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
        SetScreenCursor(crDefault);
    }

    void MakeForm() {
        form.reset();
        form = std::make_unique<TForm1>();
        form->show();
        form->PrepareDesktopReach();
        form->SourceComboBox->setCurrentIndex(form->SourceComboBox->findText(u"英语"_s));
        form->TargetComboBox->setCurrentIndex(form->TargetComboBox->findText(u"简体中文"_s));
    }
    void Translate(const QString& text) {
        form->TntMemo1->setPlainText(text);
        form->bsSkinButton7->click();
        WaitForTranslation();
    }
    void WaitForTranslation() {
        ASSERT_TRUE(WaitUntil(
            [this] { return form->bsSkinButton7->isEnabled() && !form->Translation().IsBusy(); }));
        // The recorder writes behind the window; the test waits for it here.
        ASSERT_TRUE(const_cast<HistoryRecorder&>(form->Recorder()).Flush(10000));
    }
    QList<HistoryEntry> Stored() const {
        if (!QFile::exists(path))
            return {};
        HistoryOpenResult opened = HistoryStore::Open(path);
        EXPECT_TRUE(opened.store) << qPrintable(opened.error);
        if (!opened.store)
            return {};
        HistoryQuery all;
        all.limit = 0;
        return opened.store->Search(all).entries;
    }

    TempHome home;
    const QString path = HistoryStore::DefaultPath();
    ServiceStandIn standIn;
    std::unique_ptr<TForm1> form;
    QList<Shown> shown;
};

} // namespace

TEST_F(HistoryRecording, TheButtonAndTheShortcutRecordWhatWasTranslated) {
    Translate(u"Good morning\nThank you"_s);
    QList<HistoryEntry> stored = Stored();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].source, u"Good morning\nThank you"_s);
    EXPECT_EQ(stored[0].target, u"早上好\n谢谢"_s);
    EXPECT_EQ(stored[0].sourceCode, u"en"_s);
    EXPECT_EQ(stored[0].targetCode, u"zh-CN"_s);
    EXPECT_FALSE(stored[0].engine.isEmpty());

    // The same text again updates its entry; editing the box while the
    // answer is on its way changes nothing of what is recorded.
    form->TntMemo1->setPlainText(u"Good morning\nThank you"_s);
    form->bsSkinButton7->click();
    form->TntMemo1->setPlainText(u"typed meanwhile"_s);
    WaitForTranslation();
    stored = Stored();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0].source, u"Good morning\nThank you"_s);

    // The global shortcut: the selection (or the clipboard) is translated.
    QGuiApplication::clipboard()->setText(u"Thank you"_s, QClipboard::Clipboard);
    if (QGuiApplication::clipboard()->supportsSelection())
        QGuiApplication::clipboard()->setText(u"Thank you"_s, QClipboard::Selection);
    form->HandleInstanceRequest(InstanceRequest::TranslateSelection);
    WaitForTranslation();
    stored = Stored();
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].source, u"Thank you"_s);
    EXPECT_TRUE(shown.isEmpty()) << qPrintable(shown.first().text);
}

TEST_F(HistoryRecording, AFailedTranslationRecordsNothing) {
    const struct {
        const char* name;
        StandInAnswer answer;
    } cases[] = {
        {"server error", StandInReply("oops", 500)},
        {"answer without text", StandInReply("[[],null,\"en\"]")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        standIn.SetAnswer(kTranslatePath, c.answer);
        Translate(u"Good morning"_s);
        EXPECT_TRUE(Stored().isEmpty());
    }
}

TEST_F(HistoryRecording, TheTraySwitchOffWritesNothingAndIsKept) {
    ASSERT_TRUE(form->TrayHistorySwitch);
    EXPECT_TRUE(form->TrayHistorySwitch->isCheckable());
    EXPECT_TRUE(form->TrayHistorySwitch->isChecked());
    form->TrayHistorySwitch->trigger();
    EXPECT_FALSE(form->Recorder().IsEnabled());
    EXPECT_EQ(Preferences::Get(pref::HistoryEnabled), 0);
    Translate(u"Good morning"_s);
    EXPECT_FALSE(QFile::exists(path)) << "not even an empty file";

    // A new start keeps the choice.
    MakeForm();
    EXPECT_FALSE(form->Recorder().IsEnabled());
    EXPECT_FALSE(form->TrayHistorySwitch->isChecked());
    Translate(u"Good morning"_s);
    EXPECT_FALSE(QFile::exists(path));

    form->TrayHistorySwitch->trigger();
    EXPECT_EQ(Preferences::Get(pref::HistoryEnabled), 1);
    Translate(u"Good morning"_s);
    EXPECT_EQ(Stored().size(), 1);
}

TEST_F(HistoryRecording, AHistoryFileMovedAsideIsReportedOnce) {
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();
    Translate(u"Good morning"_s);
    ASSERT_TRUE(WaitUntil([this] { return !shown.isEmpty(); }));
    Translate(u"Thank you"_s);
    QTest::qWait(50);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtInformation);
    EXPECT_EQ(shown[0].buttons, TbsSkinMessage::mbOK);
    EXPECT_EQ(Stored().size(), 2);
}

TEST_F(HistoryRecording, CtrlHOpensTheHistoryAndADoubleClickFillsTheWindow) {
    {
        HistoryOpenResult opened = HistoryStore::Open(path);
        ASSERT_TRUE(opened.store);
        HistoryEntry e;
        e.source = u"おはよう\nございます"_s;
        e.target = u"좋은 아침"_s;
        e.sourceCode = u"ja"_s;
        e.targetCode = u"ko"_s;
        ASSERT_TRUE(opened.store->Record(e).ok());
    }
    EXPECT_FALSE(form->HistoryWindow());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->TntMemo1, Qt::Key_H, Qt::ControlModifier);
    THistoryForm* history = form->HistoryWindow();
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return history->Entries()->rowCount() == 1; }));

    history->EntryList->doubleClicked(history->Entries()->index(0, HistoryListModel::SourceColumn));
    EXPECT_EQ(form->TntMemo1->toPlainText(), u"おはよう\nございます"_s);
    EXPECT_EQ(form->TntMemo2->toPlainText(), u"좋은 아침"_s);
    EXPECT_EQ(form->SourceComboBox->currentText(), u"日语"_s);
    EXPECT_EQ(form->TargetComboBox->currentText(), u"韩语"_s);

    // A translation made meanwhile shows in the open window.
    Translate(u"Good morning"_s);
    ASSERT_TRUE(WaitUntil([&] { return history->Entries()->rowCount() == 2; }));
    EXPECT_EQ(history->Entries()->Entry(0).source, u"Good morning"_s);

    // The tray item shows the same window, its list read again.
    history->close();
    Translate(u"Thank you"_s);
    form->TrayHistory->trigger();
    EXPECT_EQ(form->HistoryWindow(), history);
    EXPECT_TRUE(history->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return history->Entries()->rowCount() == 3; }));
    EXPECT_EQ(history->Entries()->Entry(0).source, u"Thank you"_s);
}
