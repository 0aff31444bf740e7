#include "app/Main.h"
#include "base/Preferences.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"
#include "historywindow/HistoryForm.h"
#include "historywindow/HistoryLanguages.h"
#include "translate/TranslateService.h"

#include <QKeySequence>
#include <QShortcut>

void TForm1::BindHistory() {
    recorder_ = new HistoryRecorder(HistoryStore::DefaultPath(),
                                    Preferences::Get(pref::HistoryEnabled) != 0, this);
    // The translation is already on screen: a history that cannot be written
    // is worth a note, not an error.
    recorder_->OnMessage = [this](const QString& message) {
        bsSkinMessage1->ShowSkinMessage(message, TbsSkinMessage::mtInformation,
                                        TbsSkinMessage::mbOK);
    };
    auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(key, &QShortcut::activated, this, [this] { ShowHistory(); });
}

void TForm1::AddHistoryItems(QMenu* menu) {
    TrayHistory = menu->addAction(QStringLiteral("翻译历史"), this, [this] { ShowHistory(); });
    TrayHistorySwitch = menu->addAction(QStringLiteral("记录翻译历史"));
    TrayHistorySwitch->setCheckable(true);
    TrayHistorySwitch->setChecked(recorder_->IsEnabled());
    connect(TrayHistorySwitch, &QAction::toggled, this, [this](bool on) { SetHistoryEnabled(on); });
}

void TForm1::RecordTranslation(const TranslateResult& result) {
    // Every engine failing still ends as Translated with nothing to show.
    if (result.text.trimmed().isEmpty() || askedText_.isEmpty())
        return;
    recorder_->Record(
        TranslationEntry(askedSource_, askedTarget_, askedText_, result.text, result.engine));
    // An open history window shows it once it is written.
    if (historyWindow_ && historyWindow_->isVisible())
        historyWindow_->ReloadAfter([recorder = recorder_] { recorder->Flush(5000); });
}

void TForm1::SetHistoryEnabled(bool on) {
    recorder_->SetEnabled(on);
    if (TrayHistorySwitch && TrayHistorySwitch->isChecked() != on)
        TrayHistorySwitch->setChecked(on);
    const std::unique_ptr<Preferences> settings = Preferences::Open();
    if (!settings || !settings->Write(pref::HistoryEnabled, on ? 1 : 0))
        bsSkinMessage1->ShowSkinMessage(
            QStringLiteral("   无法保存设置：下次启动时“记录翻译历史”恢复为原来的选择。"),
            TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
}

void TForm1::ShowHistory() {
    if (!historyWindow_) {
        historyWindow_ = new THistoryForm(HistoryStore::DefaultPath(), this);
        historyWindow_->OnUse = [this](const HistoryEntry& entry) { UseHistoryEntry(entry); };
    } else {
        historyWindow_->Search();
    }
    historyWindow_->setWindowState(historyWindow_->windowState() & ~Qt::WindowMinimized);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void TForm1::UseHistoryEntry(const HistoryEntry& entry) {
    if (const int source = SourcePositionOfCode(entry.sourceCode); source >= 0)
        SourceComboBox->setCurrentIndex(source);
    if (const int target = TargetPositionOfCode(entry.targetCode); target >= 0)
        TargetComboBox->setCurrentIndex(target);
    TntMemo1->setPlainText(entry.source);
    TntMemo2->SetAnswerText(entry.target);
    BringToFront();
    TntMemo1->setFocus(Qt::OtherFocusReason);
}
