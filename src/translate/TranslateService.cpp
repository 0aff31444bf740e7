#include "translate/TranslateService.h"

#include "http/TransferSettings.h"
#include "http/auHTTP.h"
#include "translate/TranslationRequest.h"
#include "translate/engines/EngineCall.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/RestStore.h"
#include "translate/engines/TranslationEngine.h"

#include <QDateTime>
#include <QIODevice>
#include <QTimer>

namespace {

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

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
    case TranslateOutcome::NoEngine:
        return QStringLiteral("   没 有 可 用 的 翻 译 引 擎 ，请 检 查 翻 译 引 擎 设 置 ！");
    case TranslateOutcome::Translated:
        break;
    }
    return {};
}

TranslateService::TranslateService(QObject* parent)
    : TranslateService(GoogleOnlyConfig(), parent) {}

TranslateService::TranslateService(TranslateConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), http_(new TauHTTP(this)),
      call_(std::make_unique<EngineCall>(http_)),
      rests_(std::make_unique<RestStore>(config_.restsFile)) {
    http_->setObjectName(QStringLiteral("auHTTP1"));
    http_->TransferBufferSize = kTranslateTransferBufferSize;
    http_->Agent = QString::fromLatin1(kTranslateInitialAgent);
    for (const EngineSettings& settings : config_.engines)
        if (settings.Configured())
            if (std::unique_ptr<TranslationEngine> engine = MakeEngine(settings))
                engines_.push_back(std::move(engine));
}

TranslateService::~TranslateService() = default;

bool TranslateService::IsBusy() const {
    return running_ || http_->IsBusy();
}

TransferSettings TranslateService::Transfer() const {
    return SettingsOf(*http_);
}

bool TranslateService::Start(const QString& sourceCode, const QString& targetCode,
                             QStringView sourceText) {
    if (IsBusy())
        return false;
    running_ = true;
    clock_.start();
    text_ = sourceText.toString();
    attempts_.clear();
    next_ = 0;
    const qint64 now = NowMs();
    const RestMap rests = config_.single ? RestMap() : rests_->Load(now);
    QList<Attempt> resting;
    for (const std::unique_ptr<TranslationEngine>& engine : engines_) {
        const std::optional<QString> source = engine->Code(sourceCode);
        const std::optional<QString> target = engine->Code(targetCode);
        if (!source || !target)
            continue; // it lacks a language: not its turn, and no failure
        const auto rest = rests.constFind(engine->Name());
        const bool isResting = rest != rests.constEnd() && IsResting(*rest, now);
        (isResting ? resting : attempts_).append({engine.get(), *source, *target});
    }
    attempts_ += resting;
    if (attempts_.isEmpty())
        QTimer::singleShot(0, this, [this] { TryNext(); }); // after Start returns, as any ending
    else
        TryNext();
    return true;
}

void TranslateService::TryNext() {
    if (next_ >= attempts_.size()) {
        TranslateResult result(TranslateOutcome::NoEngine, {});
        EngineFailure failure;
        failure.kind = FailureKind::NotOffered;
        failure.ending = TranslateOutcome::NoEngine;
        result.failure = failure;
        Finish(result);
        return;
    }
    const Attempt& attempt = attempts_[next_];
    const bool more = next_ + 1 < attempts_.size();
    const uint32_t connectMs = !config_.single && more ? kChainConnectLimitMs : 0;
    if (!call_->Start(*attempt.engine, attempt.source, attempt.target, text_, connectMs,
                      [this](const EngineOutcome& outcome) { Ended(outcome); })) {
        // The component still carries an abandoned transfer (a wait that
        // timed out): as before, that is the end of it.
        EngineOutcome busy;
        busy.failure.kind = FailureKind::Unreachable;
        Ended(busy);
    }
}

void TranslateService::Ended(const EngineOutcome& outcome) {
    const TranslationEngine& engine = *attempts_[next_].engine;
    if (outcome.translated) {
        if (!config_.single)
            rests_->Succeeded(engine.Name(), NowMs());
        TranslateResult result(TranslateOutcome::Translated, outcome.text);
        result.engine = engine.Label();
        result.engineName = engine.Name();
        Finish(result);
        return;
    }
    if (!config_.single)
        rests_->Failed(engine.Name(), outcome.failure, NowMs());
    ++next_;
    // A timed-out wait leaves its transfer on the component: nothing else can
    // be sent through it.
    if (next_ < attempts_.size() && outcome.failure.ending != TranslateOutcome::WaitTimedOut) {
        TryNext();
        return;
    }
    TranslateResult result(outcome.failure.ending, {});
    result.failure = outcome.failure;
    Finish(result);
}

void TranslateService::Finish(TranslateResult result) {
    running_ = false;
    result.elapsedMs = clock_.elapsed();
    if (OnFinished)
        OnFinished(result);
}

TranslateResult TranslateService::ResultOfAnswer(QIODevice* stream) {
    const QByteArray answer = stream ? stream->readAll() : QByteArray();
    return {TranslateOutcome::Translated, GoogleEngine::LinesOf(answer)};
}
