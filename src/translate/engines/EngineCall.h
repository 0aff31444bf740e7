#pragma once

#include "translate/engines/EngineFailure.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>

class TauHTTP;
class TranslationEngine;
struct EngineRequest;

// What one engine made of one translation.
struct EngineOutcome {
    bool translated = false;
    QString text; // translated: the lines, CR LF after each
    EngineFailure failure;
};

// One engine's translation over a transfer component: the token first when
// the engine needs one, then the translation, once more with a fresh token
// after a 401. Binds the component's events for its own life.
class EngineCall {
public:
    explicit EngineCall(TauHTTP* http);
    ~EngineCall();
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

    // Starts; `done` runs once, on the component's thread, when it ends.
    // connectMs limits each connection (0: the component's usual limit).
    // False, with nothing started, while the component is busy.
    bool Start(TranslationEngine& engine, const QString& source, const QString& target,
               const QString& text, uint32_t connectMs,
               std::function<void(const EngineOutcome&)> done);
    bool Running() const { return step_ != Step::Idle; }

private:
    enum class Step { Idle, Token, Translate };

    bool Send(Step step, const EngineRequest& request);
    void Answered(QByteArray body);
    void Refused(int status);
    void Failed(FailureKind kind, int status, TranslateOutcome ending);
    void Succeeded(const QString& text);
    void End(const EngineOutcome& outcome);
    qint64 ConnectLimitMs() const;

    TauHTTP* http_;
    TranslationEngine* engine_ = nullptr;
    QString source_, target_, text_;
    QString rawHeaders_; // of the answer to the running request
    uint32_t connectMs_ = 0;
    bool tokenFetched_ = false; // by this call: a 401 then is final
    Step step_ = Step::Idle;
    int request_ = 0; // counts requests, so a stray report of an old one is ignored
    QElapsedTimer elapsed_;
    std::function<void(const EngineOutcome&)> done_;
};
