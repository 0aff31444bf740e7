#pragma once

#include "translate/TranslateConfig.h"
#include "translate/TranslateOutcome.h"
#include "translate/engines/EngineFailure.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class EngineCall;
class QIODevice;
class RestStore;
class TauHTTP;
class TranslationEngine;
struct EngineOutcome;
struct TransferSettings;

struct TranslateResult {
    TranslateResult() = default;
    TranslateResult(TranslateOutcome outcome, QString text)
        : outcome(outcome), text(std::move(text)) {}

    // Translated also when every engine failed and the last one's answer was
    // unreadable: the window shows an empty translation, as it always did
    // for an answer without entries (engine then stays empty).
    TranslateOutcome outcome = TranslateOutcome::Translated;
    QString text;
    // Who answered, for the window ("Google", "Bing", "LibreTranslate" or the
    // model's name), and its name in the configuration; empty when none did.
    QString engine;
    QString engineName;
    // The last engine's failure, when none answered.
    std::optional<EngineFailure> failure;
    qint64 elapsedMs = 0; // from Start to the end
};

// Why a translation may not start, checked before anything is sent.
enum class TranslateRefusal { None, SameLanguage, NoText };

// The checks of the translate command, in its order: languages, then text.
TranslateRefusal CheckTranslation(QStringView sourceCode, QStringView targetCode, bool hasText);
// The message the window shows for a refusal or a failed outcome (with its
// padding blanks, exactly as shown); empty for None and Translated.
QString TranslateRefusalText(TranslateRefusal refusal);
QString TranslateFailureText(TranslateOutcome outcome);

// Most time a connection may take while further engines remain to try, so
// that a blocked host costs seconds rather than the usual limits.
inline constexpr uint32_t kChainConnectLimitMs = 5000;

// The translation service: drives the configuration's engines in order
// through one transfer component, the one the window knows as auHTTP1 (same
// proxy settings and limits for all). An engine that lacks one of the two
// languages is passed over; one that fails hands over to the next; failing
// engines rest (see EngineRest.h) and are tried only after the others. One
// translation at a time.
class TranslateService : public QObject {
public:
    // Google alone, at the endpoint table's address, as the program always
    // translated: no fallback, no rests.
    explicit TranslateService(QObject* parent = nullptr);
    explicit TranslateService(TranslateConfig config, QObject* parent = nullptr);
    ~TranslateService() override;

    // What its transfer is set to send (a copy).
    TransferSettings Transfer() const;
    bool IsBusy() const;
    const TranslateConfig& Config() const { return config_; }
    // Takes another configuration: at once while no translation runs, else
    // when the running one has ended.
    void Reconfigure(TranslateConfig config);

    // Sends sourceText (lines separated by CR LF) from one catalogue
    // translation code to another; false, sending nothing, while a
    // translation runs. OnFinished follows, never from inside this call.
    bool Start(const QString& sourceCode, const QString& targetCode, QStringView sourceText);

    // Raised on the thread of the service when a started translation ends.
    std::function<void(const TranslateResult&)> OnFinished;

    // The result of a google answer body, as the done event delivers it.
    static TranslateResult ResultOfAnswer(QIODevice* stream);

private:
    struct Attempt {
        TranslationEngine* engine;
        QString source, target; // the engine's codes
    };

    void MakeEngines();
    void TryNext();
    void Ended(const EngineOutcome& outcome);
    void Finish(TranslateResult result);

    TranslateConfig config_;
    std::optional<TranslateConfig> nextConfig_;
    TauHTTP* http_;
    std::unique_ptr<EngineCall> call_;
    std::unique_ptr<RestStore> rests_;
    std::vector<std::unique_ptr<TranslationEngine>> engines_;
    QList<Attempt> attempts_;
    qsizetype next_ = 0;
    QString text_;
    bool running_ = false;
    QElapsedTimer clock_;
};
