#include "translate/TranslateService.h"

#include "base/Endpoints.h"
#include "base/Utf8.h"
#include "http/TransferSettings.h"
#include "translate/TranslationRequest.h"
#include "translate/TranslationResponse.h"

#include <QIODevice>

TranslateRefusal CheckTranslation(QStringView sourceCode, QStringView targetCode, bool hasText) {
    if (sourceCode == targetCode)
        return TranslateRefusal::SameLanguage;
    if (!hasText)
        return TranslateRefusal::NoText;
    return TranslateRefusal::None;
}

QString TranslateRefusalText(TranslateRefusal refusal) {
    switch (refusal) {
    case TranslateRefusal::SameLanguage:
        return QStringLiteral("   原 文 语 言 不 能 与 译 文 语 言 相 同 ！");
    case TranslateRefusal::NoText:
        return QStringLiteral("   请 输 入 要 翻 译 的 原 文 文 本 ！");
    case TranslateRefusal::None:
        break;
    }
    return {};
}

QString TranslateFailureText(TranslateOutcome outcome) {
    switch (outcome) {
    case TranslateOutcome::ConnectionLost:
    case TranslateOutcome::HttpError:
    case TranslateOutcome::WaitTimedOut:
        return QStringLiteral("   连 接 服 务 器 超 时 ，请 稍 后 重 试 。");
    case TranslateOutcome::HostUnreachable:
        return QStringLiteral("  连 接 的 服 务 器 出 现 故 障 ！请 稍 后 再 试！");
    case TranslateOutcome::Translated:
        break;
    }
    return {};
}

TranslateService::TranslateService(QObject* parent) : QObject(parent), http_(new TauHTTP(this)) {
    http_->setObjectName(QStringLiteral("auHTTP1"));
    http_->TransferBufferSize = kTranslateTransferBufferSize;
    http_->Agent = QString::fromLatin1(kTranslateInitialAgent);
    http_->OnDone = [this](QObject*, const QString&, int, QIODevice* stream) {
        Finish(ResultOfAnswer(stream));
    };
    http_->OnConnLost = [this](QObject*, const QString&, int, int, QIODevice*) {
        Finish({TranslateOutcome::ConnectionLost, {}});
    };
    http_->OnHTTPError = [this](QObject*, int, QIODevice*) {
        Finish({TranslateOutcome::HttpError, {}});
    };
    http_->OnHostUnreachable = [this](QObject*) {
        Finish({TranslateOutcome::HostUnreachable, {}});
    };
    http_->OnWaitTimeoutExpired = [this](QObject*) {
        Finish({TranslateOutcome::WaitTimedOut, {}});
    };
}

bool TranslateService::IsBusy() const {
    return http_->IsBusy();
}

TransferSettings TranslateService::Transfer() const {
    return SettingsOf(*http_);
}

bool TranslateService::Start(const QString& sourceCode, const QString& targetCode,
                             QStringView sourceText) {
    if (http_->IsBusy())
        return false;
    http_->Agent = QString::fromLatin1(kTranslateAgent);
    http_->URL = EndpointUrl(Endpoint::Translate);
    http_->POSTData = BuildTranslationBody(sourceCode, targetCode, sourceText);
    http_->StartTransfer();
    return true;
}

TranslateResult TranslateService::ResultOfAnswer(QIODevice* stream) {
    const QByteArray answer = stream ? stream->readAll() : QByteArray();
    return {TranslateOutcome::Translated,
            Utf8ToUtf16(ParseTranslationResponse(StringListText(answer)))};
}

void TranslateService::Finish(const TranslateResult& result) {
    if (OnFinished)
        OnFinished(result);
}
