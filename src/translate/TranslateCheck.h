#pragma once

#include "translate/TranslateConfig.h"
#include "translate/TranslateService.h"

#include <QObject>
#include <functional>
#include <memory>

// One engine as the engine list shows it.
struct EngineStatus {
    QString name, label, host;
    bool configured = false;
    qint64 restingUntilMs = 0; // 0: not resting
};

// The engines of a configuration in order, with their rests at nowMs.
QList<EngineStatus> DescribeEngines(const TranslateConfig& config, qint64 nowMs);

// Why an engine gave no translation, in the interface's words ("拒绝（HTTP 429）").
QString EngineFailureText(const EngineFailure& failure);

// How one engine did with the check's text.
struct EngineCheckResult {
    EngineStatus engine;
    TranslateResult result; // nothing was sent for an engine not configured
};

// Translates a short text with each engine alone (no fallback, no rests),
// one after the other, and reports each outcome with the time it took.
class TranslateCheck : public QObject {
public:
    explicit TranslateCheck(QObject* parent = nullptr);
    ~TranslateCheck() override;

    // False while a check runs. The results arrive later, in order.
    bool Start(const QList<EngineSettings>& engines, const QString& sourceCode = "en",
               const QString& targetCode = "zh-CN", const QString& text = "Good morning");
    bool IsBusy() const { return running_; }

    std::function<void(const EngineCheckResult&)> OnChecked;
    std::function<void()> OnFinished; // after the last engine

private:
    void CheckNext();

    QList<EngineSettings> engines_;
    qsizetype next_ = 0;
    QString source_, target_, text_;
    bool running_ = false;
    std::unique_ptr<TranslateService> service_;
};
