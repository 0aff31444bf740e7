#pragma once

#include "http/auHTTP.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

class QBuffer;

// A copy that shares no data with the original.
QString Deep(const QString& s);
QByteArray Deep(const QByteArray& b);
QStringList Deep(const QStringList& list);
class QTemporaryFile;

// One transfer: the properties as they were at its start, the procedure that
// runs on the worker thread, and the state it leaves for the completion step.
// Shared by the component and the worker, so a stopped worker never touches
// the component: it only ever reaches it through RunInMainThread.
struct TauTransfer {
    // Made on the UI thread; always freed there too (see Make).
    static std::shared_ptr<TauTransfer> Make(TauCustomHTTP* component);
    explicit TauTransfer(TauCustomHTTP* component);
    ~TauTransfer();

    // Worker thread.
    void Run();

    // UI thread: copies the state into the component's fields.
    void Publish() const;
    bool Alive() const { return !cancelled.load(std::memory_order_relaxed); }

    TauCustomHTTP* const self; // UI thread only, while not cancelled
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> cancelled{false};

    // Properties, as at the start.
    QString url, agent, acceptTypes, referer, outputFileName, username, password;
    QStringList addHeaders;
    QByteArray postData;
    TauHTTPProxy proxy;
    TauHTTPRange range;
    TauHTTPTimeouts timeouts;
    TauHTTPRequestMethod method = rmAutoDetect;
    bool useCache = true, useCookies = true, workOffline = false, uploadMode = false;
    int bufferSize = 4096;
    bool hasHeaderInfo = false, hasProgress = false, hasUploadProgress = false, hasPassword = false,
         hasProxyAuth = false;
    TauHTTPRedirected onRedirected; // runs on the worker
    QByteArray uploadBody;

    // State the procedure leaves.
    int statusCode = -1;
    bool succeeded = false;
    bool tryAgain = false;
    bool continueDownload = true;
    bool writeFailed = false;
    QString rawHeaders, contentType, contentLanguage, contentEncoding, location;
    double date = 0, lastModified = 0, expires = 0;
    QString proxyUsername, proxyPassword;
    int dataSize = 0;
    int bytesRead = 0;
    uint32_t startTick = 0;

    // Destination: memory or the output file (written under a temporary name,
    // renamed into place only when the whole answer has arrived).
    std::unique_ptr<QBuffer> memory;
    std::unique_ptr<QTemporaryFile> file;
    std::unique_ptr<QBuffer> spareMemory;      // made on the UI thread, taken by
    std::unique_ptr<QTemporaryFile> spareFile; // the destination step
    bool fileCommitted = false;
    QIODevice* DataStream() const;

    // Answer parsing (worker).
    struct Answer;
    std::unique_ptr<Answer> answer;
};
