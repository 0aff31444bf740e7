#include "app/Main.h"
#include "speech/Mp3Player.h"
#include "speech/SpeechService.h"
#include "toolkit/CursorTable.h"
#include "translate/LanguageCatalog.h"

namespace {

const QString kNoSourceText = QStringLiteral("   请在原文输入框输入要朗读的文字。");
const QString kAutoDetect = QStringLiteral("   自动检测语言将无法朗读原文，请正确指定原文语言。");
const QString kNoTranslation = QStringLiteral("   译文显示框为空，请翻译后再使用朗读功能。");

} // namespace

void TForm1::BindSpeech() {
    player_ = new TMp3Player(this);
    speech_ = new SpeechService(this);
    speech_->OnFinished = [this](const SpeechResult& result) { SpeechFinished(result); };
}

void TForm1::Image1Click(QObject*) {
    const QString text = TntMemo1->TextCRLF();
    if (text.isEmpty()) {
        bsSkinMessage1->ShowSkinMessage(kNoSourceText, TbsSkinMessage::mtInformation,
                                        TbsSkinMessage::mbOK);
        return;
    }
    const QString code = SourceSpeechCode(SourceComboBox->currentIndex());
    if (code == QLatin1String("auto")) {
        bsSkinMessage1->ShowSkinMessage(kAutoDetect, TbsSkinMessage::mtInformation,
                                        TbsSkinMessage::mbOK);
        return;
    }
    SpeakText(text, code);
}

void TForm1::Image2Click(QObject*) {
    const QString text = TntMemo2->TextCRLF();
    if (text.isEmpty()) {
        bsSkinMessage1->ShowSkinMessage(kNoTranslation, TbsSkinMessage::mtInformation,
                                        TbsSkinMessage::mbOK);
        return;
    }
    SpeakText(text, TargetSpeechCode(TargetComboBox->currentIndex()));
}

void TForm1::SpeakText(const QString& Text, const QString& LanguageCode) {
    if (speech_->IsBusy())
        return;
    // Before the start: an engine that cannot be had ends the request at once.
    SetScreenCursor(crAnimatedBusy);
    speech_->Start(Text, LanguageCode);
}

void TForm1::PlayMp3File(const QString& Path) {
    player_->PlayMp3File(Path);
}

void TForm1::SpeechFinished(const SpeechResult& result) {
    if (result.outcome == SpeechOutcome::Saved)
        PlayMp3File(result.file);
    SetScreenCursor(crDefault);
}
