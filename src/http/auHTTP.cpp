#include "http/auHTTP.h"

#include "base/Tick.h"
#include "http/CurlHandles.h"
#include "http/auTransfer.h"

#include <QBuffer>
#include <QPointer>
#include <QTemporaryFile>
#include <cmath>

namespace {

// Scrambling constant of the stored credentials.
constexpr uint8_t kLInfoKey = 0x5A;

} // namespace

QByteArray TauLoginComponent::WriteLInfo() const {
    if (Username.isEmpty() && Password.isEmpty())
        return {};
    const QByteArray user = Username.toLatin1(), pass = Password.toLatin1();
    if (user.size() + pass.size() > 126)
        return {}; // the length byte could not hold it
    const auto n = static_cast<uint8_t>(user.size() + pass.size() + 1);
    const uint8_t mask = n ^ kLInfoKey;
    QByteArray out;
    out.reserve(n + 1);
    out += static_cast<char>(n);
    out += static_cast<char>(static_cast<uint8_t>(user.size()) ^ mask);
    for (char c : user + pass)
        out += static_cast<char>(static_cast<uint8_t>(c) ^ mask);
    return out;
}

bool TauLoginComponent::ReadLInfo(const QByteArray& data) {
    if (data.isEmpty())
        return false;
    const auto n = static_cast<uint8_t>(data[0]);
    if (n == 0 || data.size() < 1 + n)
        return false;
    const uint8_t mask = n ^ kLInfoKey;
    QByteArray plain = data.mid(1, n);
    for (char& c : plain)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ mask);
    const auto userLength = static_cast<uint8_t>(plain[0]);
    if (userLength > n - 1)
        return false;
    Username = QString::fromLatin1(plain.mid(1, userLength));
    Password = QString::fromLatin1(plain.mid(1 + userLength));
    return true;
}

QString TauCustomHTTP::DefaultAgent() {
    return QStringLiteral("Quillmate TauHTTP (quillmate.example)");
}

TauCustomHTTP::TauCustomHTTP(QObject* owner) : TauLoginComponent(owner) {
    Agent = DefaultAgent();
    worker_ = new TauCustomThread(this);
    worker_->OnException = [this](QObject*) {
        if (!destroying_ && OnAnyError)
            OnAnyError(this);
    };
    worker_->OnWaitTimeout = [this](QObject*) { WaitTimedOut(); };
}

TauCustomHTTP::~TauCustomHTTP() {
    destroying_ = true;
    if (transfer_)
        transfer_->cancelled.store(true);
    worker_->SuspendWorker();
    transfer_.reset();
}

bool TauCustomHTTP::IsBusy() const {
    return worker_->Running();
}

bool TauCustomHTTP::StartTransfer() {
    if (IsBusy())
        return false;
    uploadMode_ = false;
    return Start(false);
}

bool TauCustomHTTP::StartUpload(uint16_t Count) {
    if (IsBusy())
        return false;
    if (!OnUploadFieldRequest)
        return true;
    QByteArray body;
    QBuffer scratch;
    scratch.open(QIODevice::ReadWrite);
    QPointer<TauCustomHTTP> guard(this);
    for (uint16_t i = 0; i < Count; ++i) {
        QString fieldName, fileName;
        scratch.seek(0);
        scratch.buffer().clear();
        OnUploadFieldRequest(this, i, &scratch, fieldName, fileName);
        if (!guard)
            return true;
        body += scratch.buffer(); // whole content, wherever the handler left the position
    }
    uploadBody_ = std::move(body);
    uploadMode_ = true;
    Start(true);
    return true;
}

bool TauCustomHTTP::Start(bool upload) {
    // Deferred to the first transfer: the TLS libraries it initialises cost
    // several MB and milliseconds at start. Still on this (UI) thread, before
    // the worker exists.
    EnsureCurlGlobal();
    auto job = TauTransfer::Make(this);
    job->uploadMode = upload;
    if (upload)
        job->uploadBody = std::move(uploadBody_);
    uploadBody_.clear();
    transfer_ = job;
    StatusCode = -1;
    ContentType.clear();

    worker_->WaitThread = WaitThread;
    worker_->WaitTimeout = WaitTimeout;
    worker_->SetPriority(ThreadPriority);
    worker_->OnExecute = [job](QObject*) { job->Run(); };
    worker_->OnFinish = [this, job](QObject*) {
        if (!destroying_ && job->Alive())
            CompleteTransfer(job);
    };
    QPointer<TauCustomHTTP> guard(this);
    const bool result = worker_->StartWorker();
    if (guard) {
        // The worker holds its own copies; ours would keep the job alive.
        worker_->OnExecute = nullptr;
        worker_->OnFinish = nullptr;
    }
    return result;
}

void TauCustomHTTP::AbortTransfer() {
    if (IsBusy()) {
        if (transfer_)
            transfer_->cancelled.store(true);
        worker_->ResetWorker();
        transfer_.reset();
        if (!destroying_ && OnAborted)
            OnAborted(this);
    }
    ReleaseTransferData();
}

void TauCustomHTTP::ReleaseTransferData() {
    if (!transfer_ || IsBusy())
        return; // a running worker still writes into them
    const std::shared_ptr<TauTransfer> job = std::move(transfer_);
    // A completion handler that aborts must not lose the stream it was given:
    // the completion step frees it when the handler returns.
    if (completing_ == 0) {
        job->memory.reset();
        job->file.reset(); // a temporary name that was never committed goes away
    }
}

void TauCustomHTTP::WaitTimedOut() {
    if (transfer_)
        transfer_->cancelled.store(true);
    transfer_.reset();
    if (!destroying_ && OnWaitTimeoutExpired)
        OnWaitTimeoutExpired(this);
}

void TauCustomHTTP::CompleteTransfer(const std::shared_ptr<TauTransfer>& job) {
    QPointer<TauCustomHTTP> guard(this);
    ++completing_;
    struct Done {
        QPointer<TauCustomHTTP>& guard;
        ~Done() {
            if (guard)
                --guard->completing_;
        }
    } done{guard};
    job->Publish();
    // A handler may start the next transfer, which clears the field.
    const QString contentType = ContentType;
    QIODevice* stream = job->DataStream();
    if (stream && stream->isOpen())
        stream->seek(0);

    auto release = [&job] {
        job->memory.reset();
        job->file.reset();
    };
    if (job->continueDownload) {
        if (job->succeeded) {
            if (!stream) {
                if (OnAnyError)
                    OnAnyError(this);
                return;
            }
            if (job->file) {
                release();
                stream = nullptr;
            }
            if (OnDone)
                OnDone(this, contentType, job->bytesRead, stream);
        } else {
            if (OnAnyError)
                OnAnyError(this);
            if (!guard)
                return;
            if (job->statusCode == 200) {
                if (OnConnLost)
                    OnConnLost(this, contentType, job->dataSize, job->bytesRead, stream);
            } else if (job->statusCode == -1) {
                if (OnHostUnreachable)
                    OnHostUnreachable(this);
            } else if (OnHTTPError) {
                OnHTTPError(this, job->statusCode, stream);
            }
        }
    }
    // Failed answers that went to a file leave nothing: the temporary name is
    // removed with the stream.
    release();
    if (!guard)
        return;
    if (!job->continueDownload && OnDoneInterrupted)
        OnDoneInterrupted(this);
}

void TauCustomHTTP::UpdateProgressStats(uint32_t nowTick) {
    const auto size = static_cast<uint32_t>(DataSize);
    const auto read = static_cast<uint32_t>(BytesRead);
    PercentsDone = 0;
    if (size != 0) {
        const double percent = std::nearbyint(double(read) * 100.0 / double(size));
        PercentsDone = static_cast<uint8_t>(static_cast<uint64_t>(percent) & 0xFF);
    }
    ElapsedTime = static_cast<int>((nowTick - StartTick) / 1000u);
    // A quotient that cannot be formed (nothing read yet) counts as 0.
    double estimate = 0;
    if (BytesRead != 0) {
        estimate = std::nearbyint(double(DataSize) / double(BytesRead) * double(ElapsedTime));
        if (!std::isfinite(estimate) || std::fabs(estimate) > 2147483647.0)
            estimate = 0;
    }
    EstimatedTimeLeft =
        static_cast<int>(static_cast<int64_t>(estimate) - static_cast<int64_t>(ElapsedTime));
    TransferRate = static_cast<float>(double(read) / 1024.0);
    if (ElapsedTime != 0)
        TransferRate = static_cast<float>(double(read) / 1024.0 / ElapsedTime);
}
