#pragma once

#include "ocr/OcrRequest.h"

#include <QObject>
#include <QString>
#include <functional>

class QIODevice;
class TauHTTP;
struct TransferSettings;
struct EndpointAddress;

// How one recognition ended.
enum class OcrOutcome {
    Recognised,      // text holds the lines (CR LF after each); may be empty
    Unreadable,      // engine two's answer had an escape that is no number
    ConnectionLost,  // the answer was cut off or never came
    HttpError,       // the engine answered with an error status
    HostUnreachable, // no engine could be reached (or none could be started)
    NoPicture,       // the picture file could not be read: nothing was sent
    Stopped,         // aborted, or the component's wait ran out
};

struct OcrResult {
    OcrOutcome outcome = OcrOutcome::Recognised;
    QString text;
};

// The message for a failed transfer (with its padding blanks, as shown).
QString OcrFailureText(OcrOutcome outcome);

// The recognition service: owns its transfer component, named "OCRHttp". It
// builds the whole multipart body from the picture before the transfer
// starts, resolves the engine's address (the variable's, or the local
// engine's), sends, and reads the answer with the extractor of the engine
// chosen when the answer arrives. One recognition at a time.
class OcrService : public QObject {
public:
    explicit OcrService(QObject* parent = nullptr);

    // What its transfer is set to send (a copy).
    TransferSettings Transfer() const;
    bool IsBusy() const;

    // Starts sending picturePath to engine, with fromCode as engine two's
    // "from"; false while one runs. NoPicture is reported, without a
    // transfer, when the picture cannot be read.
    bool Start(OcrEngine engine, const QString& picturePath, const QString& fromCode);

    // The engine whose extractor reads the answer; by default the one the
    // upload was started for.
    std::function<OcrEngine()> EngineAtAnswer;
    std::function<void(int percentsDone)> OnProgress;
    std::function<void(const OcrResult&)> OnFinished;

    // The result of an answer body read with engine's extractor.
    static OcrResult ResultOfAnswer(OcrEngine engine, QIODevice* stream);

private:
    // Writes the body of the running upload (the component asks for it).
    void WriteBody(QIODevice* stream) const;
    void Send(const EndpointAddress& address);
    void Finish(const OcrResult& result);

    TauHTTP* http_;
    OcrEngine engine_ = OcrEngine::One;
    OcrUploadRequest request_;
    bool running_ = false; // started and not yet finished
};
