#include "app/Main.h"
#include "base/Endpoints.h"
#include "base/Tick.h"
#include "engineclient/LocalEngine.h"
#include "http/auHTTP.h"
#include "speech/Mp3Player.h"
#include "speech/SpeechRequest.h"
#include "toolkit/CursorTable.h"
#include "translate/LanguageCatalog.h"

#include <QDir>

namespace {

const QString kNoSourceText = QStringLiteral("   请在原文输入框输入要朗读的文字。");
const QString kAutoDetect = QStringLiteral("   自动检测语言将无法朗读原文，请正确指定原文语言。");
const QString kNoTranslation = QStringLiteral("   译文显示框为空，请翻译后再使用朗读功能。");

} // namespace

void TForm1::BindSpeech() {
    Mp3Player = new TMp3Player(this);
    auHTTP2 = new TauHTTP(this);
    auHTTP2->setObjectName(QStringLiteral("auHTTP2"));
    auHTTP2->UseCache = false;
    auHTTP2->OnDone = [this](QObject* sender, const QString& contentType, int fileSize,
                             QIODevice* stream) {
        auHTTP2Done(sender, contentType, fileSize, stream);
    };
    auHTTP2->OnConnLost = [this](QObject* sender, const QString& contentType, int fileSize,
                                 int bytesRead, QIODevice* stream) {
        auHTTP2ConnLost(sender, contentType, fileSize, bytesRead, stream);
    };
    auHTTP2->OnHTTPError = [this](QObject* sender, int errorCode, QIODevice* stream) {
        auHTTP2HTTPError(sender, errorCode, stream);
    };
    auHTTP2->OnHostUnreachable = [this](QObject* sender) { auHTTP2HostUnreachable(sender); };
    auHTTP2->OnWaitTimeoutExpired = [this](QObject* sender) { auHTTP2WaitTimeoutExpired(sender); };
    // Failures raised only as "any error" (an output file that cannot be made)
    // or an interrupted download would otherwise leave the busy cursor up.
    auHTTP2->OnAnyError = [](QObject*) { SetScreenCursor(crDefault); };
    auHTTP2->OnDoneInterrupted = [](QObject*) { SetScreenCursor(crDefault); };
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
    if (auHTTP2->IsBusy() || SpeechEnginePending)
        return;
    SetScreenCursor(crAnimatedBusy);
    SpeechEnginePending = true;
    const QByteArray postData = SpeechPostData(Text, LanguageCode);
    ResolveEndpoint(Endpoint::Tts, this, [this, postData](const QString& url) {
        SpeechEnginePending = false;
        // No engine could be had: the same quiet end as an unreachable server.
        if (url.isEmpty()) {
            auHTTP2HostUnreachable(auHTTP2);
            return;
        }
        auHTTP2->Agent = QString::fromLatin1(kSpeechAgent);
        auHTTP2->URL = url;
        auHTTP2->POSTData = postData;
        // The cache folder is made at start; a user may have removed it since.
        QDir().mkpath(SpeechCacheFolder());
        const QString file = SpeechFilePath(GetTickCount());
        auHTTP2->OutputFileName = file;
        LastSpeechFile = file;
        auHTTP2->StartTransfer();
    });
}

void TForm1::PlayMp3File(const QString& Path) {
    Mp3Player->PlayMp3File(Path);
}

void TForm1::auHTTP2Done(QObject*, const QString&, int, QIODevice*) {
    PlayMp3File(LastSpeechFile);
    SetScreenCursor(crDefault);
}

void TForm1::auHTTP2ConnLost(QObject*, const QString&, int, int, QIODevice*) {
    SetScreenCursor(crDefault);
}

void TForm1::auHTTP2HTTPError(QObject*, int, QIODevice*) {
    SetScreenCursor(crDefault);
}

void TForm1::auHTTP2HostUnreachable(QObject*) {
    SetScreenCursor(crDefault);
}

void TForm1::auHTTP2WaitTimeoutExpired(QObject*) {
    SetScreenCursor(crDefault);
}
