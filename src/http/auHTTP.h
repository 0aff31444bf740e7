#pragma once

#include "http/auLogin.h"
#include "http/auThread.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

enum TauHTTPRequestMethod : uint8_t { rmAutoDetect, rmGET, rmPOST };
enum TauHTTPAccessType : uint8_t { atPreconfig, atDirect, atUseProxy };

// OLE-automation date: days since 30 December 1899, fraction = time of day.
using TDateTime = double;

struct TauHTTPProxy {
    TauHTTPAccessType AccessType = atPreconfig;
    int ProxyPort = 8080;
    QString ProxyServer;
    QString ProxyBypass = QStringLiteral("127.0.0.1;");
};

struct TauHTTPRange {
    int StartRange = 0;
    int EndRange = 0;
};

// Why the connection of the last transfer failed, as libcurl told it.
enum TauTransportError : uint8_t {
    teNone,            // it did not fail (or the transfer is still running)
    teCouldNotConnect, // refused, no route, no such host
    teTimedOut,        // the connect limit or the silence limit ran out
    teOther,           // broke off, or any other failure
};

// Milliseconds; 0 leaves libcurl's own value.
struct TauHTTPTimeouts {
    uint32_t ConnectTimeout = 0;
    uint32_t ReceiveTimeout = 0;
    uint32_t SendTimeout = 0;
};

// Events. Sender is the component; an empty std::function is skipped; every
// event runs on the UI thread except OnRedirected (worker thread).
using TauNotifyEvent = std::function<void(QObject* Sender)>;
using TauHTTPHeaderInfoEvent =
    std::function<void(QObject* Sender, const QString& RawHeadersCRLF, const QString& ContentType,
                       const QString& ContentLanguage, const QString& ContentEncoding,
                       const QString& Location, int ContentLength, TDateTime Date,
                       TDateTime LastModified, TDateTime Expires, bool& ContinueDownload)>;
// Stream: the answer in memory, positioned at 0; nullptr when it went to
// OutputFileName. It lives only during the handler.
using TauHTTPDoneEvent = std::function<void(QObject* Sender, const QString& ContentType,
                                            int FileSize, QIODevice* Stream)>;
using TauHTTPProgressEvent = std::function<void(
    QObject* Sender, const QString& ContentType, int DataSize, int BytesRead, int ElapsedTime,
    int EstimatedTimeLeft, uint8_t PercentsDone, float TransferRate, QIODevice* Stream)>;
using TauHTTPRedirected = std::function<void(QObject* Sender, const QString& NewURL)>;
using TauHTTPUploadProgressEvent =
    std::function<void(QObject* Sender, int DataSize, int BytesTransferred, int ElapsedTime,
                       int EstimatedTimeLeft, uint8_t PercentsDone, float TransferRate)>;
// The handler writes the field's bytes into UploadStream (an open, empty,
// writable memory device): e.g. UploadStream->write(bytes), or copy another
// device into it. The component sends the concatenation of all fields as is;
// FieldName and FileName are not used.
using TauHTTPUploadFieldRequest =
    std::function<void(QObject* Sender, uint16_t FileIndex, QIODevice* UploadStream,
                       QString& FieldName, QString& FileName)>;
using TauHTTPConnLostEvent = std::function<void(QObject* Sender, const QString& ContentType,
                                                int FileSize, int BytesRead, QIODevice* Stream)>;
using TauHTTPErrorEvent = std::function<void(QObject* Sender, int ErrorCode, QIODevice* Stream)>;
using TauHTTPPasswordRequestEvent =
    std::function<void(QObject* Sender, const QString& Realm, bool& TryAgain)>;
using TauHTTPProxyAuthenticationEvent = std::function<void(QObject* Sender, QString& ProxyUsername,
                                                           QString& ProxyPassword, bool& TryAgain)>;

struct AnswerTexts;
struct TransferJob;
struct TransferRequest;
struct TransferState;

class TauCustomHTTP : public TauLoginComponent {
    Q_OBJECT
public:
    explicit TauCustomHTTP(QObject* owner = nullptr);
    // Stops a running transfer without raising anything.
    ~TauCustomHTTP() override;

    // Start the transfer the properties describe. False when busy, or when
    // WaitThread is set and the wait timed out.
    bool StartTransfer();
    // Collects the body from OnUploadFieldRequest (fields 0..Count-1) and
    // starts it. False only when busy.
    bool StartUpload(uint16_t Count);
    // Stops a running transfer at once; raises OnAborted if one was running.
    void AbortTransfer();
    bool IsBusy() const;

    // Published properties with their defaults.
    QString AcceptTypes = QStringLiteral("text/html, */*");
    QStringList AddHeaders; // one request header line each
    QString Agent;          // set to DefaultAgent() by the constructor
    TauHTTPProxy Proxy;
    QString URL;
    // Every connection goes through this Unix socket instead of the URL's host
    // and port (the URL still names the host and path sent); empty: a normal
    // connection. No proxy is used on it.
    QString UnixSocketPath;
    bool UseCache = true;
    bool UseCookies = true;
    QString OutputFileName;
    bool HideOutputFile = false; // kept for stored forms; Linux has no such attributes
    QByteArray POSTData;         // sent as is, as application/x-www-form-urlencoded
    TauHTTPRange Range;
    QString Referer;
    TauHTTPRequestMethod RequestMethod = rmAutoDetect;
    TauHTTPTimeouts Timeouts;
    TThreadPriority ThreadPriority = tpNormal;
    int TransferBufferSize = 4096; // 255..2147483647; clamped at start
    bool WaitThread = false;
    int WaitTimeout = 0; // milliseconds; 0 means no limit
    bool WorkOffline = false;

    static QString DefaultAgent();
    // Opens libcurl now instead of at the first transfer; any thread. A
    // short-lived program overlaps it with its own start.
    static void OpenLibrary();

    // Events.
    TauHTTPHeaderInfoEvent OnHeaderInfo;
    TauHTTPDoneEvent OnDone;
    TauNotifyEvent OnDoneInterrupted;
    TauHTTPProgressEvent OnProgress;
    TauHTTPRedirected OnRedirected;
    TauHTTPUploadProgressEvent OnUploadProgress;
    TauHTTPUploadFieldRequest OnUploadFieldRequest;
    TauNotifyEvent OnAnyError;
    TauNotifyEvent OnAborted;
    TauHTTPConnLostEvent OnConnLost;
    TauHTTPErrorEvent OnHTTPError;
    TauNotifyEvent OnHostUnreachable;
    TauHTTPPasswordRequestEvent OnPasswordRequest;
    TauHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
    TauNotifyEvent OnWaitTimeoutExpired;

    // Run-time state of the last (or running) transfer, as the UI thread sees it:
    // up to date inside every handler and after completion.
    int StatusCode = -1; // -1: no status obtained
    TauTransportError TransportError = teNone;
    bool Succeeded = false;
    QString RawHeadersCRLF;
    QString ContentType; // also the realm of a 401 answer
    QString ContentLanguage;
    QString ContentEncoding;
    QString Location; // carries the answer's Set-Cookie value; no caller reads it
    TDateTime Date = 0;
    TDateTime LastModified = 0;
    TDateTime Expires = 0;
    QString ProxyUsername; // kept from one transfer to the next
    QString ProxyPassword;
    int DataSize = 0;
    int BytesRead = 0;
    uint32_t StartTick = 0;
    uint8_t PercentsDone = 0;
    int ElapsedTime = 0;       // seconds
    int EstimatedTimeLeft = 0; // seconds
    float TransferRate = 0;    // KiB per second

    // Computes PercentsDone, ElapsedTime, EstimatedTimeLeft and TransferRate
    // from DataSize, BytesRead, StartTick and the tick now. Never fails.
    void UpdateProgressStats(uint32_t nowTick);

private:
    class Reports; // the running transfer's reports, raised as this component's events

    bool Start(bool upload);
    TransferRequest MakeRequest(bool upload);
    void Publish(const TransferState& state);
    void CompleteTransfer(std::shared_ptr<TransferJob> job);
    void WaitTimedOut();
    void ReleaseTransferData();

    TauCustomThread* worker_ = nullptr;
    std::shared_ptr<TransferJob> transfer_; // running, or finished and not yet completed
    std::shared_ptr<const AnswerTexts> publishedTexts_;
    QByteArray uploadBody_;
    bool uploadMode_ = false;
    bool destroying_ = false;
};

// The published component; it adds no behaviour.
class TauHTTP : public TauCustomHTTP {
    Q_OBJECT
public:
    explicit TauHTTP(QObject* owner = nullptr) : TauCustomHTTP(owner) {}
};
