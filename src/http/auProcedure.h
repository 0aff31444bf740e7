#pragma once

// The two halves of the transfer procedure. The request half (auRequest.cpp)
// sets libcurl up, sends, and sends again after a 401 or 407 the handler wants
// answered; the answer half (auAnswer.cpp) takes the header blocks apart,
// makes the destination, stores the body and decides the outcome.

#include "http/CurlHandles.h"
#include "http/auHeaders.h"
#include "http/auTransfer.h"

#include <chrono>
#include <optional>

// When a byte last went either way: the silence limit counts from there.
class Activity {
public:
    using Clock = std::chrono::steady_clock;
    void Note() { last_ = Clock::now(); }
    bool SilentFor(uint32_t ms) const {
        return Clock::now() - last_ > std::chrono::milliseconds(ms);
    }

private:
    Clock::time_point last_ = Clock::now();
};

// Credentials a 401 or 407 handler wants the request sent again with.
struct AuthRetry {
    bool proxy = false;
    Credentials credentials;
};

class AnswerSide {
public:
    AnswerSide(const TransferRequest& request, TransferResult& result, TransferSink& sink,
               Activity& activity);

    // Installs the header and write callbacks.
    void Attach(CURL* curl);
    // Before each send.
    void BeginPass();
    // The pass ended (code: what curl_easy_perform returned).
    void EndPass(CURLcode code);
    // After a pass: the handler of a 401 or 407 asked to send again.
    const std::optional<AuthRetry>& Retry() const { return retry_; }
    // After the last pass: the outcome.
    void Finish();
    // The local file branch: a "file" URL names a file read like a body.
    void ReadLocalFile(const QString& path);
    // Hands over body bytes held back for the progress handler once they have
    // waited long enough; false when that failed or the transfer was stopped.
    bool FlushIfDue();

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* user);
    static size_t OnWrite(char* data, size_t size, size_t count, void* user);

    bool HeaderLine(const QByteArray& line);
    bool EndOfBlock();
    bool FinalBlock();
    bool Authenticate();
    bool AnswerHeaders();
    bool MakeDestination();
    bool Store(const char* data, qsizetype size);
    bool Flush();
    void Outcome();
    void CommitFile();

    const TransferRequest& request_;
    TransferResult& result_;
    TransferState& state_;
    TransferSink& sink_;
    Activity& activity_;
    CURL* curl_ = nullptr;

    HeaderBlock block_;            // the block being received
    bool final_ = false;           // this pass's answer has come; later lines are trailers
    bool stopReading_ = false;     // ContinueDownload cleared, no destination, or a retry
    bool failed_ = false;          // a callback failed: the answer is incomplete
    bool transportFailed_ = false; // the connection broke after the answer began
    std::optional<AuthRetry> retry_;
    QByteArray pending_; // body bytes not yet handed to the progress handler
    Activity::Clock::time_point lastFlush_{};
};
