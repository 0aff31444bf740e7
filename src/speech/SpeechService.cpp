#include "speech/SpeechService.h"

#include "base/Endpoints.h"
#include "base/Tick.h"
#include "engineclient/LocalEngine.h"
#include "http/TransferSettings.h"
#include "speech/SpeechRequest.h"

#include <QDir>

SpeechService::SpeechService(QObject* parent) : QObject(parent), http_(new TauHTTP(this)) {
    http_->setObjectName(QStringLiteral("auHTTP2"));
    http_->UseCache = false;
    http_->OnDone = [this](QObject*, const QString&, int, QIODevice*) {
        Finish(SpeechOutcome::Saved);
    };
    const auto failed = [this](QObject*) { Finish(SpeechOutcome::Failed); };
    http_->OnConnLost = [this](QObject*, const QString&, int, int, QIODevice*) {
        Finish(SpeechOutcome::Failed);
    };
    http_->OnHTTPError = [this](QObject*, int, QIODevice*) { Finish(SpeechOutcome::Failed); };
    http_->OnHostUnreachable = failed;
    http_->OnWaitTimeoutExpired = failed;
    // Failures raised only as "any error" (an output file that cannot be made)
    // or an interrupted download would otherwise never end the request.
    http_->OnAnyError = failed;
    http_->OnDoneInterrupted = failed;
}

bool SpeechService::IsBusy() const {
    return running_ || http_->IsBusy();
}

TransferSettings SpeechService::Transfer() const {
    return SettingsOf(*http_);
}

bool SpeechService::Start(QStringView text, const QString& languageCode,
                          const QString& outputFile) {
    if (IsBusy())
        return false;
    running_ = true;
    const QByteArray postData = SpeechPostData(text, languageCode);
    ResolveEndpoint(Endpoint::Tts, this,
                    [this, postData, outputFile](const EndpointAddress& address) {
                        // No engine could be had: the same quiet end as an unreachable server.
                        if (address.url.isEmpty()) {
                            Finish(SpeechOutcome::Failed);
                            return;
                        }
                        http_->Agent = QString::fromLatin1(kSpeechAgent);
                        http_->URL = address.url;
                        http_->UnixSocketPath = address.unixSocket;
                        http_->POSTData = postData;
                        lastFile_ = outputFile;
                        if (outputFile.isEmpty()) {
                            // The cache folder is made at start; a user may have removed it since.
                            QDir().mkpath(SpeechCacheFolder());
                            lastFile_ = SpeechFilePath(GetTickCount());
                        }
                        http_->OutputFileName = lastFile_;
                        http_->StartTransfer();
                    });
    return true;
}

void SpeechService::Finish(SpeechOutcome outcome) {
    if (!running_)
        return;
    running_ = false;
    if (OnFinished)
        OnFinished({outcome, lastFile_});
}
