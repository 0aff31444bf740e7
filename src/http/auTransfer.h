#pragma once

// One transfer as values: the request the component hands to the worker, the
// state and result the worker hands back, and the reports it makes on the way.
// The worker never sees the component; the component raises its own events.

#include "http/auHTTP.h"

#include <QBuffer>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// A copy that shares no data with the original: text never shares its data
// between the UI thread and a worker (a detached worker may drop its copy at
// any time, and Qt's reference counts are out of ThreadSanitizer's sight).
QString Deep(const QString& s);
QByteArray Deep(const QByteArray& b);
QStringList Deep(const QStringList& list);

// Limits that end a transfer nobody hears from, in milliseconds: a connection
// (TCP and TLS) not made in connectMs, or silence (no byte either way) for
// silenceMs. A component's own Timeouts take their place where set.
struct TransferLimits {
    uint32_t connectMs = 15000;
    uint32_t silenceMs = 30000;
};
TransferLimits DefaultTransferLimits();
// Tests only: other defaults for the transfers started from now on.
void SetDefaultTransferLimits(const TransferLimits& limits);

// The answer's texts as the component's fields hold them. Never changed once
// shared: a change makes a new set, so a report costs a pointer copy.
struct AnswerTexts {
    QString rawHeaders, contentType, contentLanguage, contentEncoding, location;
    TDateTime date = 0, lastModified = 0, expires = 0;
    QString proxyUsername, proxyPassword;
};

// The run-time state of a transfer, as each report and the result carry it.
struct TransferState {
    int statusCode = -1;
    bool succeeded = false;
    TauTransportError transportError = teNone;
    int dataSize = 0;
    int bytesRead = 0;
    uint32_t startTick = 0;
    std::shared_ptr<const AnswerTexts> texts = std::make_shared<AnswerTexts>();

    // A private copy of the texts to change (the shared set stays as it was).
    AnswerTexts& EditTexts();
};

// Where the answer body goes: memory, or the output file under a temporary
// name that is renamed into place once the whole answer has arrived. The Qt
// objects are made on the UI thread and die there.
struct Destination {
    std::unique_ptr<QBuffer> memory;
    std::unique_ptr<QTemporaryFile> file;
    bool committed = false; // the file has its final name

    QIODevice* Stream() const;
};

// Everything the procedure needs, fixed when the transfer starts.
struct TransferRequest {
    QString url, agent, acceptTypes, referer, outputFileName, username, password;
    QStringList addHeaders;
    QByteArray postData;
    QByteArray uploadBody;
    TauHTTPProxy proxy;
    TauHTTPRange range;
    TauHTTPTimeouts timeouts;
    TransferLimits limits;
    QByteArray caFile, caPath; // trust beyond the system's, from the environment
    QByteArray unixSocketPath; // in the file system's encoding; empty: TCP
    TauHTTPRequestMethod method = rmAutoDetect;
    bool useCache = true, useCookies = true, workOffline = false, uploadMode = false;
    int bufferSize = 4096;
    // Events the component has handlers for: the others are never reported.
    bool reportsHeaderInfo = false, reportsProgress = false, reportsUploadProgress = false,
         reportsPassword = false, reportsProxyAuth = false, reportsRedirect = false;
    // The state fields a transfer keeps from the one before unless refreshed.
    TransferState initial;
};

// What the procedure leaves for the completion step.
struct TransferResult {
    TransferState state;
    bool continueDownload = true;
    Destination destination;
    Destination spare; // made on the UI thread; the destination step takes from it
};

struct Credentials {
    QString user, password;
};

// Reports of a running transfer, made on the worker. Every call but
// Redirected blocks until the component has raised its event; those that
// return bool return false once the transfer was stopped, and the procedure
// then leaves.
class TransferSink {
public:
    virtual ~TransferSink() = default;
    virtual bool Stopped() const = 0;
    // In: the credentials in use; out: those to send again with.
    virtual bool PasswordRequest(const TransferState& state, Credentials& credentials,
                                 bool& tryAgain) = 0;
    virtual bool ProxyAuthentication(const TransferState& state, Credentials& credentials,
                                     bool& tryAgain) = 0;
    virtual bool HeaderInfo(const TransferState& state, bool& continueDownload) = 0;
    // Stores body bytes into stream in steps of step bytes, each followed by
    // OnProgress, on the UI thread (the handler sees the stream at the end of
    // the step it is told of). Returns the bytes stored: fewer when a write
    // failed or the transfer was stopped.
    virtual qsizetype StoreWithProgress(const TransferState& state, QIODevice* stream,
                                        QByteArrayView bytes, qsizetype step) = 0;
    virtual bool UploadProgress(const TransferState& state) = 0;
    // Right on the worker, inside libcurl.
    virtual void Redirected(const QString& url) = 0;
};

// The procedure (worker thread): request and sending, then the answer.
void RunTransfer(const TransferRequest& request, TransferResult& result, TransferSink& sink);

// One transfer shared by the component and its worker. Made on the UI thread,
// and always freed there, so its Qt objects never change thread.
struct TransferJob {
    static std::shared_ptr<TransferJob> Make(TransferRequest request);
    ~TransferJob();

    const TransferRequest request;
    TransferResult result; // the worker's until it has finished

    // From the UI thread: nothing of this transfer reaches the component any
    // more. Waits for an OnRedirected handler that is running on the worker.
    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }
    // Runs fn (on the worker) only while the transfer is not cancelled; Cancel
    // waits for it.
    template <class Fn> void WhileAlive(const Fn& fn) {
        std::lock_guard lk(gate_);
        if (!cancelled_.load())
            fn();
    }

    // Jobs in existence in the process.
    static int LiveCount();

private:
    explicit TransferJob(TransferRequest r);
    const std::thread::id uiThread_ = std::this_thread::get_id();
    std::atomic<bool> cancelled_{false};
    std::mutex gate_;
};
