#include "ocr/OcrService.h"

#include "base/Endpoints.h"
#include "base/Utf8.h"
#include "engineclient/LocalEngine.h"
#include "http/TransferSettings.h"
#include "ocr/OcrAnswers.h"
#include "ocr/OcrCapture.h"

#include <QIODevice>

namespace {

const QString kAcceptTypes = QStringLiteral(
    "text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8");
const QString kAgent =
    QStringLiteral("Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
                   "Chrome/68.0.3440.84 Safari/537.36");

} // namespace

QString OcrFailureText(OcrOutcome outcome) {
    switch (outcome) {
    case OcrOutcome::ConnectionLost:
    case OcrOutcome::HttpError:
    case OcrOutcome::HostUnreachable:
        return OcrConnectErrorText();
    default:
        return {};
    }
}

OcrService::OcrService(QObject* parent) : QObject(parent), http_(new TauHTTP(this)) {
    http_->setObjectName(QStringLiteral("OCRHttp"));
    http_->AcceptTypes = kAcceptTypes;
    http_->Agent = kAgent;
    http_->UseCache = false;
    // The body was built before the start; the component only asks for it.
    http_->OnUploadFieldRequest = [this](QObject*, uint16_t, QIODevice* uploadStream, QString&,
                                         QString&) { WriteBody(uploadStream); };
    http_->OnUploadProgress = [this](QObject*, int, int, int, int, uint8_t percentsDone, float) {
        if (OnProgress)
            OnProgress(percentsDone);
    };
    http_->OnDone = [this](QObject*, const QString&, int, QIODevice* stream) {
        Finish(ResultOfAnswer(EngineAtAnswer ? EngineAtAnswer() : engine_, stream));
    };
    http_->OnConnLost = [this](QObject*, const QString&, int, int, QIODevice*) {
        Finish({OcrOutcome::ConnectionLost, {}});
    };
    http_->OnHTTPError = [this](QObject*, int, QIODevice*) { Finish({OcrOutcome::HttpError, {}}); };
    http_->OnHostUnreachable = [this](QObject*) { Finish({OcrOutcome::HostUnreachable, {}}); };
    http_->OnWaitTimeoutExpired = [this](QObject*) { Finish({OcrOutcome::Stopped, {}}); };
    http_->OnAborted = [this](QObject*) { Finish({OcrOutcome::Stopped, {}}); };
}

bool OcrService::IsBusy() const {
    return running_ || http_->IsBusy();
}

TransferSettings OcrService::Transfer() const {
    return SettingsOf(*http_);
}

bool OcrService::Start(OcrEngine engine, const QString& picturePath, const QString& fromCode) {
    if (IsBusy())
        return false;
    running_ = true;
    engine_ = engine;
    request_ = BuildOcrUpload(engine, picturePath, fromCode);
    if (!request_.ok) {
        Finish({OcrOutcome::NoPicture, request_.error});
        return true;
    }
    ResolveEndpoint(OcrEndpoint(engine), this,
                    [this](const EndpointAddress& address) { Send(address); });
    return true;
}

void OcrService::WriteBody(QIODevice* stream) const {
    stream->write(request_.body);
}

void OcrService::Send(const EndpointAddress& address) {
    // No engine could be had: the same ending as a server that cannot be reached.
    if (address.url.isEmpty()) {
        Finish({OcrOutcome::HostUnreachable, {}});
        return;
    }
    http_->AddHeaders.clear();
    http_->AddHeaders << request_.headers;
    http_->URL = address.url;
    http_->UnixSocketPath = address.unixSocket;
    http_->StartUpload(1);
}

OcrResult OcrService::ResultOfAnswer(OcrEngine engine, QIODevice* stream) {
    const QByteArray answer = AnswerText(stream ? stream->readAll() : QByteArray());
    if (engine == OcrEngine::One)
        return {OcrOutcome::Recognised, Utf8ToUtf16(ExtractWordValues(answer))};
    if (engine == OcrEngine::Two) {
        if (const auto lines = DecodeUnicodeEscapes(ExtractStringListLines(answer)))
            return {OcrOutcome::Recognised, Utf8ToUtf16(*lines)};
        return {OcrOutcome::Unreadable, {}};
    }
    return {OcrOutcome::Recognised, {}};
}

void OcrService::Finish(const OcrResult& result) {
    if (!running_)
        return;
    running_ = false;
    request_ = {};
    if (OnFinished)
        OnFinished(result);
}
