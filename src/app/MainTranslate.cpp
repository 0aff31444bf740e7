#include "app/Main.h"
#include "base/Endpoints.h"
#include "base/Utf8.h"
#include "http/auHTTP.h"
#include "toolkit/CursorTable.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslationRequest.h"
#include "translate/TranslationResponse.h"

namespace {

const QString kSameLanguage = QStringLiteral("   原 文 语 言 不 能 与 译 文 语 言 相 同 ！");
const QString kNoSourceText = QStringLiteral("   请 输 入 要 翻 译 的 原 文 文 本 ！");
const QString kServerTimedOut = QStringLiteral("   连 接 服 务 器 超 时 ，请 稍 后 重 试 。");
const QString kServerFailed = QStringLiteral("  连 接 的 服 务 器 出 现 故 障 ！请 稍 后 再 试！");

// The busy cursor and the disabled button stay while the message is open.
void TranslationFailed(TForm1* form, const QString& message) {
    form->bsSkinMessage1->ShowSkinMessage(message, TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
    SetScreenCursor(crDefault);
    form->bsSkinButton7->setEnabled(true);
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

void TForm1::BindTranslate() {
    auHTTP1 = new TauHTTP(this);
    auHTTP1->setObjectName(QStringLiteral("auHTTP1"));
    auHTTP1->TransferBufferSize = kTranslateTransferBufferSize;
    auHTTP1->Agent = QString::fromLatin1(kTranslateInitialAgent);
    auHTTP1->OnDone = [this](QObject* sender, const QString& contentType, int fileSize,
                             QIODevice* stream) {
        auHTTP1Done(sender, contentType, fileSize, stream);
    };
    auHTTP1->OnConnLost = [this](QObject* sender, const QString& contentType, int fileSize,
                                 int bytesRead, QIODevice* stream) {
        auHTTP1ConnLost(sender, contentType, fileSize, bytesRead, stream);
    };
    auHTTP1->OnHTTPError = [this](QObject* sender, int errorCode, QIODevice* stream) {
        auHTTP1HTTPError(sender, errorCode, stream);
    };
    auHTTP1->OnHostUnreachable = [this](QObject* sender) { auHTTP1HostUnreachable(sender); };
    auHTTP1->OnWaitTimeoutExpired = [this](QObject* sender) { auHTTP1WaitTimeoutExpired(sender); };
}

void TForm1::bsSkinButton7Click(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
    if (SourceLangCode(SourceComboBox->currentIndex()) ==
        TargetLangCode(TargetComboBox->currentIndex())) {
        bsSkinMessage1->ShowSkinMessage(kSameLanguage, TbsSkinMessage::mtError,
                                        TbsSkinMessage::mbOK);
        return;
    }
    if (TntMemo1->document()->isEmpty()) {
        bsSkinMessage1->ShowSkinMessage(kNoSourceText, TbsSkinMessage::mtError,
                                        TbsSkinMessage::mbOK);
        return;
    }
    SetScreenCursor(crAnimatedBusy);
    bsSkinButton7->setEnabled(false);
    TntMemo2->clear();
    // The running translation puts cursor and button back when it ends.
    if (auHTTP1->IsBusy())
        return;
    auHTTP1->Agent = QString::fromLatin1(kTranslateAgent);
    auHTTP1->URL = EndpointUrl(Endpoint::Translate);
    auHTTP1->POSTData =
        BuildTranslationBody(SourceLangCode(SourceComboBox->currentIndex()),
                             TargetLangCode(TargetComboBox->currentIndex()), TntMemo1->TextCRLF());
    auHTTP1->StartTransfer();
}

void TForm1::TntMemo1KeyDown(QObject*, int& Key, Qt::KeyboardModifiers Shift) {
    EnterHandled = false;
    // Two separate tests on purpose: Ctrl+Shift+Enter runs the command twice.
    if (IsEnter(Key) && Shift.testFlag(Qt::ControlModifier)) {
        EnterHandled = true;
        bsSkinButton7Click(this);
    }
    if (IsEnter(Key) && Shift.testFlag(Qt::ShiftModifier)) {
        EnterHandled = true;
        bsSkinButton7Click(this);
    }
}

void TForm1::TntMemo1KeyPress(QObject*, QChar& Key) {
    if (EnterHandled)
        Key = QChar(0);
}

void TForm1::auHTTP1Done(QObject*, const QString&, int, QIODevice* Stream) {
    struct BackToIdle {
        TForm1* form;
        ~BackToIdle() {
            SetScreenCursor(crDefault);
            form->bsSkinButton7->setEnabled(true);
        }
    } idle{this};
    const QByteArray answer = Stream ? Stream->readAll() : QByteArray();
    TntMemo2->SetAnswerText(Utf8ToUtf16(ParseTranslationResponse(StringListText(answer))));
}

void TForm1::auHTTP1ConnLost(QObject*, const QString&, int, int, QIODevice*) {
    TranslationFailed(this, kServerTimedOut);
}

void TForm1::auHTTP1HTTPError(QObject*, int, QIODevice*) {
    TranslationFailed(this, kServerTimedOut);
}

void TForm1::auHTTP1HostUnreachable(QObject*) {
    TranslationFailed(this, kServerFailed);
}

void TForm1::auHTTP1WaitTimeoutExpired(QObject*) {
    TranslationFailed(this, kServerTimedOut);
}
