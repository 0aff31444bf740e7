#include "app/Main.h"
#include "toolkit/CursorTable.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslateService.h"

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

void TForm1::BindTranslate() {
    translation_ = new TranslateService(GoogleOnlyConfig(), this);
    translation_->OnFinished = [this](const TranslateResult& result) {
        TranslationFinished(result);
    };
    ReloadTranslateConfig();
}

void TForm1::bsSkinButton7Click(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
    const QString source = SourceLangCode(SourceComboBox->currentIndex());
    const QString target = TargetLangCode(TargetComboBox->currentIndex());
    const TranslateRefusal refusal =
        CheckTranslation(source, target, !TntMemo1->document()->isEmpty());
    if (refusal != TranslateRefusal::None) {
        bsSkinMessage1->ShowSkinMessage(TranslateRefusalText(refusal), TbsSkinMessage::mtError,
                                        TbsSkinMessage::mbOK);
        return;
    }
    SetScreenCursor(crAnimatedBusy);
    bsSkinButton7->setEnabled(false);
    TntMemo2->clear();
    askedSource_ = source;
    askedTarget_ = target;
    askedText_ = TntMemo1->TextCRLF();
    EngineLabel->clear();
    if (keysPending_) {
        waiting_ =
            std::make_unique<WaitingTranslation>(WaitingTranslation{source, target, askedText_});
        return;
    }
    // A running translation puts cursor and button back when it ends.
    translation_->Start(source, target, askedText_);
}

void TForm1::TntMemo1KeyDown(QObject*, int& Key, Qt::KeyboardModifiers Shift) {
    enterHandled_ = false;
    // Two separate tests on purpose: Ctrl+Shift+Enter runs the command twice.
    if (IsEnter(Key) && Shift.testFlag(Qt::ControlModifier)) {
        enterHandled_ = true;
        bsSkinButton7Click(this);
    }
    if (IsEnter(Key) && Shift.testFlag(Qt::ShiftModifier)) {
        enterHandled_ = true;
        bsSkinButton7Click(this);
    }
}

void TForm1::TntMemo1KeyPress(QObject*, QChar& Key) {
    if (enterHandled_)
        Key = QChar(0);
}

void TForm1::TranslationFinished(const TranslateResult& result) {
    if (result.outcome == TranslateOutcome::Translated) {
        TntMemo2->SetAnswerText(result.text);
        EngineLabel->setText(result.engine);
        RecordTranslation(result);
    } else {
        // The busy cursor and the disabled button stay while the message is open.
        bsSkinMessage1->ShowSkinMessage(TranslateFailureText(result.outcome),
                                        TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
    }
    SetScreenCursor(crDefault);
    bsSkinButton7->setEnabled(true);
}
