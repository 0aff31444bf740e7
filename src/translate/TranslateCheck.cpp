#include "translate/TranslateCheck.h"

#include "translate/engines/RestStore.h"
#include "translate/engines/TranslationEngine.h"

#include <QTimer>

namespace {

EngineStatus StatusOf(const EngineSettings& settings) {
    EngineStatus status;
    status.name = settings.name;
    status.host = settings.Host();
    status.configured = settings.Configured();
    if (const std::unique_ptr<TranslationEngine> engine = MakeEngine(settings))
        status.label = engine->Label();
    return status;
}

} // namespace

QString EngineFailureText(const EngineFailure& failure) {
    switch (failure.kind) {
    case FailureKind::Unreachable:
        return QStringLiteral("无法连接");
    case FailureKind::Silent:
        return QStringLiteral("没有回应");
    case FailureKind::Refused:
        return QStringLiteral("拒绝（HTTP %1）").arg(failure.status);
    case FailureKind::Unreadable:
        return QStringLiteral("答复无法读取");
    case FailureKind::NotOffered:
        break;
    }
    return QStringLiteral("不支持这两种语言");
}

QList<EngineStatus> DescribeEngines(const TranslateConfig& config, qint64 nowMs) {
    const RestMap rests = RestStore(config.restsFile).Load(nowMs);
    QList<EngineStatus> list;
    for (const EngineSettings& settings : config.engines) {
        EngineStatus status = StatusOf(settings);
        const auto rest = rests.constFind(settings.name);
        if (rest != rests.constEnd() && IsResting(*rest, nowMs))
            status.restingUntilMs = rest->untilMs;
        list << status;
    }
    return list;
}

TranslateCheck::TranslateCheck(QObject* parent) : QObject(parent) {}

TranslateCheck::~TranslateCheck() = default;

bool TranslateCheck::Start(const QList<EngineSettings>& engines, const QString& sourceCode,
                           const QString& targetCode, const QString& text) {
    if (running_)
        return false;
    running_ = true;
    engines_ = engines;
    next_ = 0;
    source_ = sourceCode;
    target_ = targetCode;
    text_ = text;
    QTimer::singleShot(0, this, [this] { CheckNext(); });
    return true;
}

void TranslateCheck::CheckNext() {
    if (next_ >= engines_.size()) {
        running_ = false;
        if (OnFinished)
            OnFinished();
        return;
    }
    const EngineSettings settings = engines_[next_++];
    const EngineStatus status = StatusOf(settings);
    if (!status.configured) {
        if (OnChecked)
            OnChecked({status, TranslateResult(TranslateOutcome::NoEngine, {})});
        QTimer::singleShot(0, this, [this] { CheckNext(); });
        return;
    }
    // A service of its own per engine (the last one's handler has returned).
    service_ = std::make_unique<TranslateService>(SingleEngineConfig(settings));
    service_->OnFinished = [this, status](const TranslateResult& result) {
        if (OnChecked)
            OnChecked({status, result});
        QTimer::singleShot(0, this, [this] { CheckNext(); });
    };
    service_->Start(source_, target_, text_);
}
