#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <functional>

class TauHTTP;
struct TransferSettings;

enum class SpeechOutcome {
    Saved,  // file holds the recording
    Failed, // nothing to play (connection lost, HTTP error, unreachable, timed out)
};

struct SpeechResult {
    SpeechOutcome outcome = SpeechOutcome::Saved;
    QString file;
};

// The speech service: owns its transfer component, named "auHTTP2". Each
// request saves the recording as a new file of the speech cache (named after
// the tick count), or where the caller says.
class SpeechService : public QObject {
public:
    explicit SpeechService(QObject* parent = nullptr);

    // What its transfer is set to send (a copy).
    TransferSettings Transfer() const;
    // Busy while a request runs or waits for the engine's address.
    bool IsBusy() const;

    // Asks for a recording of text in the language of a speech code; false
    // while one runs. outputFile empty: a new file in the speech cache.
    bool Start(QStringView text, const QString& languageCode, const QString& outputFile = {});

    // The file of the latest request, set when it starts.
    QString LastSpeechFile() const { return lastFile_; }

    std::function<void(const SpeechResult&)> OnFinished;

private:
    void Finish(SpeechOutcome outcome);

    TauHTTP* http_;
    QString lastFile_;
    bool running_ = false; // started and not yet finished
};
