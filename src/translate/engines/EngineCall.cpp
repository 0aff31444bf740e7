#include "translate/engines/EngineCall.h"

#include "http/auHTTP.h"
#include "http/auTransfer.h"
#include "translate/engines/EngineRest.h"
#include "translate/engines/TranslationEngine.h"

#include <QDateTime>
#include <QTimer>

namespace {

qint64 NowSecs() {
    return QDateTime::currentSecsSinceEpoch();
}

// A failure that took (nearly) the whole limit ran into it: how a transfer
// that ended before libcurl said why is judged.
bool RanOut(qint64 elapsedMs, qint64 limitMs) {
    return elapsedMs >= limitMs * 9 / 10;
}

// Silent when a limit ran out, as libcurl reports it, else `otherwise`.
FailureKind KindOf(TauTransportError error, bool ranOut, FailureKind otherwise) {
    if (error == teTimedOut || (error == teNone && ranOut))
        return FailureKind::Silent;
    return otherwise;
}

} // namespace

EngineCall::EngineCall(TauHTTP* http) : http_(http) {
    http_->OnDone = [this](QObject*, const QString&, int, QIODevice* stream) {
        if (Running())
            Answered(stream ? stream->readAll() : QByteArray());
    };
    // Only a handler of this event gets the answer's header lines published.
    http_->OnHeaderInfo = [this](QObject*, const QString& rawHeaders, const QString&,
                                 const QString&, const QString&, const QString&, int, TDateTime,
                                 TDateTime, TDateTime, bool&) {
        if (Running())
            rawHeaders_ = rawHeaders;
    };
    http_->OnHTTPError = [this](QObject*, int status, QIODevice*) {
        if (Running())
            Refused(status);
    };
    // An answer of status 200 that broke off: cut, or silent too long.
    http_->OnConnLost = [this](QObject*, const QString&, int, int, QIODevice*) {
        if (Running())
            Failed(KindOf(http_->TransportError,
                          RanOut(elapsed_.elapsed(), DefaultTransferLimits().silenceMs),
                          FailureKind::Unreadable),
                   200, TranslateOutcome::ConnectionLost);
    };
    // No status at all: refused or unknown at once, or nothing within the limit.
    http_->OnHostUnreachable = [this](QObject*) {
        if (Running())
            Failed(KindOf(http_->TransportError, RanOut(elapsed_.elapsed(), ConnectLimitMs()),
                          FailureKind::Unreachable),
                   -1, TranslateOutcome::HostUnreachable);
    };
    http_->OnWaitTimeoutExpired = [this](QObject*) {
        if (Running())
            Failed(FailureKind::Silent, -1, TranslateOutcome::WaitTimedOut);
    };
    // A transfer that ends without any of the events above (a success without
    // an answer stream) must still end the call.
    http_->OnAnyError = [this](QObject*) {
        const int request = request_;
        QTimer::singleShot(0, http_, [this, request] {
            if (Running() && request == request_ && !http_->IsBusy())
                Failed(FailureKind::Unreachable, -1, TranslateOutcome::HostUnreachable);
        });
    };
}

EngineCall::~EngineCall() {
    http_->OnDone = nullptr;
    http_->OnHeaderInfo = nullptr;
    http_->OnHTTPError = nullptr;
    http_->OnConnLost = nullptr;
    http_->OnHostUnreachable = nullptr;
    http_->OnWaitTimeoutExpired = nullptr;
    http_->OnAnyError = nullptr;
}

bool EngineCall::Start(TranslationEngine& engine, const QString& source, const QString& target,
                       const QString& text, uint32_t connectMs,
                       std::function<void(const EngineOutcome&)> done) {
    if (Running() || http_->IsBusy())
        return false;
    engine_ = &engine;
    source_ = source;
    target_ = target;
    text_ = text;
    connectMs_ = connectMs;
    tokenFetched_ = false;
    done_ = std::move(done);
    const bool token = engine.NeedsToken(NowSecs());
    if (!Send(token ? Step::Token : Step::Translate,
              token ? engine.TokenRequest() : engine.Request(source, target, text)))
        Failed(FailureKind::Unreachable, -1, TranslateOutcome::HostUnreachable);
    return true;
}

bool EngineCall::Send(Step step, const EngineRequest& request) {
    step_ = step;
    tokenFetched_ = tokenFetched_ || step == Step::Token;
    ++request_;
    rawHeaders_.clear();
    http_->URL = request.url;
    http_->Agent = request.agent;
    http_->AddHeaders = request.headers;
    http_->POSTData = request.body;
    http_->RequestMethod = rmAutoDetect;
    http_->Timeouts.ConnectTimeout = connectMs_;
    elapsed_.start();
    return http_->StartTransfer();
}

qint64 EngineCall::ConnectLimitMs() const {
    return connectMs_ != 0 ? connectMs_ : DefaultTransferLimits().connectMs;
}

void EngineCall::Answered(QByteArray body) {
    if (step_ == Step::Token) {
        if (!engine_->TakeToken(body, NowSecs())) {
            Failed(FailureKind::Unreadable, 200, TranslateOutcome::Translated);
            return;
        }
        if (!Send(Step::Translate, engine_->Request(source_, target_, text_)))
            Failed(FailureKind::Unreachable, -1, TranslateOutcome::HostUnreachable);
        return;
    }
    if (const std::optional<QString> lines = engine_->Parse(body))
        Succeeded(*lines);
    else
        Failed(FailureKind::Unreadable, 200, TranslateOutcome::Translated);
}

void EngineCall::Refused(int status) {
    // A token the service no longer takes is dropped; a kept one gets one
    // more try with a new one.
    if (status == 401 && step_ == Step::Translate && engine_->UsesToken())
        engine_->ForgetToken();
    if (status == 401 && step_ == Step::Translate && engine_->UsesToken() && !tokenFetched_) {
        if (!Send(Step::Token, engine_->TokenRequest()))
            Failed(FailureKind::Unreachable, -1, TranslateOutcome::HostUnreachable);
        return;
    }
    EngineOutcome outcome;
    outcome.failure.kind = FailureKind::Refused;
    outcome.failure.status = status;
    outcome.failure.ending = TranslateOutcome::HttpError;
    outcome.failure.retryAfterSecs =
        RetryAfterSeconds(rawHeaders_, QDateTime::currentMSecsSinceEpoch());
    End(outcome);
}

void EngineCall::Failed(FailureKind kind, int status, TranslateOutcome ending) {
    EngineOutcome outcome;
    outcome.failure.kind = kind;
    outcome.failure.status = status;
    outcome.failure.ending = ending;
    End(outcome);
}

void EngineCall::Succeeded(const QString& text) {
    EngineOutcome outcome;
    outcome.translated = true;
    outcome.text = text;
    End(outcome);
}

void EngineCall::End(const EngineOutcome& outcome) {
    step_ = Step::Idle;
    ++request_;
    // The handler may start the next call on this object.
    const std::function<void(const EngineOutcome&)> done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(outcome);
}
