#include "http/auHTTP.h"

#include "base/Tick.h"
#include "http/CurlHandles.h"
#include "http/auTransfer.h"

#include <QBuffer>
#include <QFile>
#include <QPointer>
#include <algorithm>
#include <cmath>

void TauCustomHTTP::OpenLibrary() {
    EnsureCurlGlobal();
}

QString TauCustomHTTP::DefaultAgent() {
    return QStringLiteral("Quillmate TauHTTP (quillmate.example)");
}

// The running transfer's reports, made on its worker and raised here as this
// component's events. The component is reached only on the UI thread and only
// while the transfer is not cancelled: destruction, an abort and an expired
// wait cancel it first.
class TauCustomHTTP::Reports final : public TransferSink {
public:
    Reports(TauCustomHTTP* component, TransferJob* job)
        : component_(component), job_(job), onRedirected_(component->OnRedirected) {}

    bool Stopped() const override { return job_->Cancelled() || TauCustomThread::Stopped(); }

    bool PasswordRequest(const TransferState& state, Credentials& credentials,
                         bool& tryAgain) override {
        return Raise(state, [&](TauCustomHTTP& c) {
            const QString realm = c.ContentType;
            c.OnPasswordRequest(&c, realm, tryAgain);
            if (job_->Cancelled())
                return; // the handler aborted, or destroyed the component
            credentials = {Deep(c.Username), Deep(c.Password)};
        });
    }

    bool ProxyAuthentication(const TransferState& state, Credentials& credentials,
                             bool& tryAgain) override {
        return Raise(state, [&](TauCustomHTTP& c) {
            QString user = c.ProxyUsername, pass = c.ProxyPassword;
            c.OnProxyAuthenticationRequest(&c, user, pass, tryAgain);
            credentials = {Deep(user), Deep(pass)};
        });
    }

    bool HeaderInfo(const TransferState& state, bool& continueDownload) override {
        return Raise(state, [&](TauCustomHTTP& c) {
            c.OnHeaderInfo(&c, c.RawHeadersCRLF, c.ContentType, c.ContentLanguage,
                           c.ContentEncoding, c.Location, c.DataSize, c.Date, c.LastModified,
                           c.Expires, continueDownload);
        });
    }

    // A batch of steps per hand-over: waking the UI thread once per step costs
    // more than the steps themselves.
    qsizetype StoreWithProgress(const TransferState& state, QIODevice* stream, QByteArrayView bytes,
                                qsizetype step) override {
        qsizetype stored = 0;
        TauCustomThread::RunInMainThread([&] {
            TransferState s = state;
            while (stored < bytes.size() && !job_->Cancelled()) {
                const qsizetype n = std::min(step, bytes.size() - stored);
                if (stream->write(bytes.data() + stored, n) != n)
                    return;
                stored += n;
                s.bytesRead =
                    static_cast<int>(std::min<qint64>(qint64(s.bytesRead) + n, 2147483647));
                TauCustomHTTP& c = *component_;
                c.Publish(s);
                try {
                    c.UpdateProgressStats(GetTickCount());
                    c.OnProgress(&c, c.ContentType, c.DataSize, c.BytesRead, c.ElapsedTime,
                                 c.EstimatedTimeLeft, c.PercentsDone, c.TransferRate, stream);
                } catch (...) {
                    // As for any handler: the transfer goes on.
                }
            }
        });
        return stored;
    }

    bool UploadProgress(const TransferState& state) override {
        return Raise(state, [](TauCustomHTTP& c) {
            c.UpdateProgressStats(GetTickCount());
            c.OnUploadProgress(&c, c.DataSize, c.BytesRead, c.ElapsedTime, c.EstimatedTimeLeft,
                               c.PercentsDone, c.TransferRate);
        });
    }

    void Redirected(const QString& url) override {
        // On the worker: the component cannot go away while the handler runs.
        job_->WhileAlive([&] {
            try {
                onRedirected_(component_, url);
            } catch (...) {
            }
        });
    }

private:
    // Hands the state to the component on the UI thread and raises an event
    // there; the worker waits. False once the transfer was stopped meanwhile.
    template <class Fn> bool Raise(const TransferState& state, const Fn& raise) {
        TauCustomThread::RunInMainThread([&] {
            if (job_->Cancelled())
                return;
            component_->Publish(state);
            raise(*component_);
        });
        return !Stopped();
    }

    TauCustomHTTP* const component_; // UI thread only
    TransferJob* const job_;         // kept alive by the worker's handler
    const TauHTTPRedirected onRedirected_;
};

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
        transfer_->Cancel();
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

namespace {

// Trust beyond the system's: the variables the curl tool and OpenSSL read,
// which libcurl does not look at by itself.
QByteArray CaFileFromEnvironment() {
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace

TransferRequest TauCustomHTTP::MakeRequest(bool upload) {
    TransferRequest r;
    r.url = Deep(URL);
    r.agent = Deep(Agent);
    r.acceptTypes = Deep(AcceptTypes);
    r.referer = Deep(Referer);
    r.outputFileName = Deep(OutputFileName);
    r.username = Deep(Username);
    r.password = Deep(Password);
    r.addHeaders = Deep(AddHeaders);
    r.postData = Deep(POSTData);
    if (upload)
        r.uploadBody = std::move(uploadBody_); // ours alone: no thread shares its data
    uploadBody_ = QByteArray();
    r.proxy = Proxy;
    r.proxy.ProxyServer = Deep(Proxy.ProxyServer);
    r.proxy.ProxyBypass = Deep(Proxy.ProxyBypass);
    r.range = Range;
    r.timeouts = Timeouts;
    r.limits = DefaultTransferLimits();
    r.caFile = CaFileFromEnvironment();
    r.caPath = qgetenv("SSL_CERT_DIR");
    r.unixSocketPath = QFile::encodeName(UnixSocketPath);
    r.method = RequestMethod;
    r.useCache = UseCache;
    r.useCookies = UseCookies;
    r.workOffline = WorkOffline;
    r.uploadMode = upload;
    r.bufferSize = std::max(255, TransferBufferSize);
    r.reportsHeaderInfo = static_cast<bool>(OnHeaderInfo);
    r.reportsProgress = static_cast<bool>(OnProgress);
    r.reportsUploadProgress = static_cast<bool>(OnUploadProgress);
    r.reportsPassword = static_cast<bool>(OnPasswordRequest);
    r.reportsProxyAuth = static_cast<bool>(OnProxyAuthenticationRequest);
    r.reportsRedirect = static_cast<bool>(OnRedirected);
    // Kept from the previous transfer unless refreshed.
    TransferState& s = r.initial;
    s.succeeded = Succeeded;
    s.dataSize = DataSize;
    s.bytesRead = BytesRead;
    auto texts = std::make_shared<AnswerTexts>();
    texts->rawHeaders = Deep(RawHeadersCRLF);
    texts->contentLanguage = Deep(ContentLanguage);
    texts->contentEncoding = Deep(ContentEncoding);
    texts->location = Deep(Location);
    texts->date = Date;
    texts->lastModified = LastModified;
    texts->expires = Expires;
    texts->proxyUsername = Deep(ProxyUsername);
    texts->proxyPassword = Deep(ProxyPassword);
    s.texts = std::move(texts);
    return r;
}

bool TauCustomHTTP::Start(bool upload) {
    // Deferred to the first transfer: the TLS libraries it initialises cost
    // several MB and milliseconds at start. Still on this (UI) thread, before
    // the worker exists.
    EnsureCurlGlobal();
    auto job = TransferJob::Make(MakeRequest(upload));
    transfer_ = job;
    StatusCode = -1;
    ContentType.clear();
    publishedTexts_.reset();

    worker_->WaitThread = WaitThread;
    worker_->WaitTimeout = WaitTimeout;
    worker_->SetPriority(ThreadPriority);
    auto reports = std::make_shared<Reports>(this, job.get());
    worker_->OnExecute = [job, reports](QObject*) {
        RunTransfer(job->request, job->result, *reports);
    };
    worker_->OnFinish = [this, job](QObject*) {
        if (!destroying_ && !job->Cancelled())
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
            transfer_->Cancel();
        worker_->ResetWorker();
        transfer_.reset();
        if (!destroying_ && OnAborted)
            OnAborted(this);
    }
    ReleaseTransferData();
}

void TauCustomHTTP::ReleaseTransferData() {
    if (IsBusy())
        return; // a running worker still writes into them
    // The streams go with the job; one a completion handler holds stays with
    // the completion step until the handler returns.
    transfer_.reset();
}

void TauCustomHTTP::WaitTimedOut() {
    if (transfer_)
        transfer_->Cancel();
    transfer_.reset();
    if (!destroying_ && OnWaitTimeoutExpired)
        OnWaitTimeoutExpired(this);
}

void TauCustomHTTP::Publish(const TransferState& state) {
    StatusCode = state.statusCode;
    Succeeded = state.succeeded;
    TransportError = state.transportError;
    DataSize = state.dataSize;
    BytesRead = state.bytesRead;
    StartTick = state.startTick;
    if (state.texts == publishedTexts_)
        return; // unchanged since the last event: progress steps copy no text
    publishedTexts_ = state.texts;
    const AnswerTexts& t = *state.texts;
    RawHeadersCRLF = Deep(t.rawHeaders);
    ContentType = Deep(t.contentType);
    ContentLanguage = Deep(t.contentLanguage);
    ContentEncoding = Deep(t.contentEncoding);
    Location = Deep(t.location);
    Date = t.date;
    LastModified = t.lastModified;
    Expires = t.expires;
    ProxyUsername = Deep(t.proxyUsername);
    ProxyPassword = Deep(t.proxyPassword);
}

void TauCustomHTTP::CompleteTransfer(std::shared_ptr<TransferJob> job) {
    // A finished transfer holds nothing once completed: its upload body and
    // streams go when this step ends.
    if (transfer_ == job)
        transfer_.reset();
    QPointer<TauCustomHTTP> guard(this);
    const TransferResult& r = job->result;
    Publish(r.state);
    // A handler may start the next transfer, which clears the field.
    const QString contentType = ContentType;
    // The streams are this step's now, so a handler that aborts or starts the
    // next transfer cannot take them from under the handler it runs in.
    Destination destination = std::move(job->result.destination);
    QIODevice* stream = destination.Stream();
    if (stream && stream->isOpen())
        stream->seek(0);

    if (r.continueDownload) {
        if (r.state.succeeded) {
            if (!stream) {
                if (OnAnyError)
                    OnAnyError(this);
                return;
            }
            if (destination.file) {
                destination.file.reset(); // closed; the file has its final name
                stream = nullptr;
            }
            if (OnDone)
                OnDone(this, contentType, r.state.bytesRead, stream);
        } else {
            if (OnAnyError)
                OnAnyError(this);
            if (!guard)
                return;
            if (r.state.statusCode == 200) {
                if (OnConnLost)
                    OnConnLost(this, contentType, r.state.dataSize, r.state.bytesRead, stream);
            } else if (r.state.statusCode == -1) {
                if (OnHostUnreachable)
                    OnHostUnreachable(this);
            } else if (OnHTTPError) {
                OnHTTPError(this, r.state.statusCode, stream);
            }
        }
    }
    // A failed answer that went to a file leaves nothing: the temporary name
    // goes with the stream.
    destination = Destination();
    if (!guard)
        return;
    if (!r.continueDownload && OnDoneInterrupted)
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
