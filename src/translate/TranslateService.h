#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <functional>

class QIODevice;
class TauHTTP;
struct TransferSettings;

// How one translation ended.
enum class TranslateOutcome {
    Translated,      // text holds the translated lines, CR LF after each
    ConnectionLost,  // the answer was cut off or never came
    HttpError,       // the service answered with an error status
    HostUnreachable, // the service could not be reached at all
    WaitTimedOut,    // the component's wait for the transfer ran out
};

struct TranslateResult {
    TranslateOutcome outcome = TranslateOutcome::Translated;
    QString text;
};

// Why a translation may not start, checked before anything is sent.
enum class TranslateRefusal { None, SameLanguage, NoText };

// The checks of the translate command, in its order: languages, then text.
TranslateRefusal CheckTranslation(QStringView sourceCode, QStringView targetCode, bool hasText);
// The message the window shows for a refusal or a failed outcome (with its
// padding blanks, exactly as shown); empty for None and Translated.
QString TranslateRefusalText(TranslateRefusal refusal);
QString TranslateFailureText(TranslateOutcome outcome);

// The translation service: owns its transfer component, named
// "auHTTP1", with its agent, endpoint and form body, and turns each of its
// endings into a TranslateResult. One translation at a time.
class TranslateService : public QObject {
public:
    explicit TranslateService(QObject* parent = nullptr);

    // What its transfer is set to send (a copy).
    TransferSettings Transfer() const;
    bool IsBusy() const;

    // Sends sourceText (lines separated by CR LF) from one translation code
    // to another; false, sending nothing, while a translation runs.
    bool Start(const QString& sourceCode, const QString& targetCode, QStringView sourceText);

    // Raised on the thread of the service when a started translation ends.
    std::function<void(const TranslateResult&)> OnFinished;

    // The result of an answer body, as the done event delivers it.
    static TranslateResult ResultOfAnswer(QIODevice* stream);

private:
    void Finish(const TranslateResult& result);
    TauHTTP* http_;
};
