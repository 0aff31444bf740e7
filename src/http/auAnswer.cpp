// The answer half of the transfer procedure: header blocks, destination, body,
// outcome; and the local file branch, which reads a file like a body.
#include "http/auProcedure.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Texts longer than a 4096-byte query buffer count as absent.
constexpr qsizetype kHeaderValueLimit = 4095;
// One header block may hold this much; more is an answer we refuse, not one
// we keep growing memory for.
constexpr qsizetype kHeaderBlockLimit = 64 * 1024;
// Memory reserved up front for an announced length; more grows as it arrives,
// so a lying Content-Length cannot make us allocate gigabytes at once.
constexpr qsizetype kReserveLimit = 256 * 1024 * 1024;
// With a progress handler the body is handed to the UI thread in batches of up
// to this much, or whatever came within kProgressDelay: one wake-up of the UI
// thread per step would cost more than the step. Small enough for the batch
// buffer to stay in the cache.
constexpr qsizetype kProgressBatch = 256 * 1024;
constexpr auto kProgressDelay = std::chrono::milliseconds(20);

QString Latin1(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

struct CurlFree {
    void operator()(char* p) const { curl_free(p); }
};

// Location resolved against the URL of the request it answers.
QString ResolveLocation(CURL* curl, const QByteArray& location) {
    char* base = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &base);
    CurlUrl url;
    char* full = nullptr;
    if (url && base && curl_url_set(url.get(), CURLUPART_URL, base, 0) == CURLUE_OK &&
        curl_url_set(url.get(), CURLUPART_URL, location.constData(), 0) == CURLUE_OK &&
        curl_url_get(url.get(), CURLUPART_URL, &full, 0) == CURLUE_OK) {
        const std::unique_ptr<char, CurlFree> owned(full);
        return QString::fromLatin1(owned.get());
    }
    return Latin1(location);
}

} // namespace

AnswerSide::AnswerSide(const TransferRequest& request, TransferResult& result, TransferSink& sink,
                       Activity& activity)
    : request_(request), result_(result), state_(result.state), sink_(sink), activity_(activity) {}

void AnswerSide::Attach(CURL* curl) {
    curl_ = curl;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &AnswerSide::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AnswerSide::OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
}

void AnswerSide::BeginPass() {
    block_ = HeaderBlock();
    final_ = false;
    stopReading_ = false;
    failed_ = false;
    transportFailed_ = false;
    retry_.reset();
}

void AnswerSide::EndPass(CURLcode code) {
    Flush(); // what arrived was received, whatever happens next
    // A connection that broke (or went silent) inside the body leaves an
    // incomplete answer, announced length or not.
    if (final_ && code != CURLE_OK && !stopReading_)
        transportFailed_ = true;
}

void AnswerSide::Finish() {
    if (!final_) {
        state_.succeeded = false; // no status obtained (or the repeated send failed)
        return;
    }
    if (!result_.continueDownload || stopReading_)
        return;
    Outcome();
}

void AnswerSide::Outcome() {
    state_.succeeded = state_.statusCode == 200;
    if (state_.succeeded && state_.dataSize != 0 && result_.destination.Stream())
        state_.succeeded = state_.bytesRead == state_.dataSize;
    // A failed write (a full disk) or a broken connection is a failure, never a
    // short success.
    if (failed_ || transportFailed_)
        state_.succeeded = false;
    if (state_.succeeded && result_.destination.file)
        CommitFile();
}

void AnswerSide::CommitFile() {
    QTemporaryFile& f = *result_.destination.file;
    bool ok = f.flush();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                     QFileDevice::ReadOther);
    f.close();
    ok = ok && f.error() == QFileDevice::NoError;
    ok = ok && std::rename(QFile::encodeName(f.fileName()).constData(),
                           QFile::encodeName(request_.outputFileName).constData()) == 0;
    if (ok) {
        f.setAutoRemove(false);
        result_.destination.committed = true;
    } else {
        state_.succeeded = false;
    }
}

size_t AnswerSide::OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<AnswerSide*>(user);
    const size_t total = size * count;
    try {
        p->activity_.Note();
        if (p->sink_.Stopped())
            return 0;
        QByteArray line(data, static_cast<qsizetype>(total));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return p->HeaderLine(line) ? total : 0;
    } catch (...) {
        p->failed_ = true;
        return 0;
    }
}

bool AnswerSide::HeaderLine(const QByteArray& line) {
    if (final_)
        return true; // trailers after a chunked body: the answer's headers are done
    const int status = StatusOfLine(line);
    if (status >= 0) {
        block_ = HeaderBlock();
        block_.statusLine = line;
        block_.status = status;
    }
    block_.size += line.size() + 2;
    if (block_.size > kHeaderBlockLimit) {
        failed_ = true;
        return false;
    }
    if (status >= 0)
        return true;
    if (!line.isEmpty()) {
        block_.lines.append(line);
        return true;
    }
    return EndOfBlock();
}

bool AnswerSide::EndOfBlock() {
    // libcurl keeps the proxy's CONNECT status apart from the origin's.
    long code = 0, connectCode = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_getinfo(curl_, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    const bool proxyAnswer =
        block_.status > 0 && code != block_.status && connectCode == block_.status;
    QByteArray location;
    const bool hasLocation = block_.Value("Location", location) && !location.isEmpty();
    switch (ClassifyBlock(block_.status, proxyAnswer, hasLocation)) {
    case BlockKind::Interim:
    case BlockKind::Tunnel:
        return true;
    case BlockKind::Followed:
        if (request_.reportsRedirect)
            sink_.Redirected(ResolveLocation(curl_, location));
        return true;
    case BlockKind::Final:
        break;
    }
    final_ = true;
    state_.statusCode = block_.status;
    state_.succeeded = true;
    if (!Authenticate())
        return false;
    if (retry_) {
        stopReading_ = true; // ends this pass; the request goes out again
        return false;
    }
    return AnswerHeaders();
}

bool AnswerSide::Authenticate() {
    const int status = block_.status;
    if (status == 401 && request_.reportsPassword) {
        QByteArray value;
        state_.succeeded = block_.Value("WWW-Authenticate", value);
        state_.EditTexts().contentType = state_.succeeded ? Latin1(RealmOf(value)) : QString();
        Credentials credentials;
        bool tryAgain = false;
        if (!sink_.PasswordRequest(state_, credentials, tryAgain))
            return false;
        activity_.Note();
        if (tryAgain)
            retry_ = AuthRetry{false, credentials};
    } else if (status == 407 && request_.reportsProxyAuth) {
        Credentials credentials{state_.texts->proxyUsername, state_.texts->proxyPassword};
        bool tryAgain = false;
        if (!sink_.ProxyAuthentication(state_, credentials, tryAgain))
            return false;
        activity_.Note();
        AnswerTexts& texts = state_.EditTexts();
        texts.proxyUsername = credentials.user;
        texts.proxyPassword = credentials.password;
        if (tryAgain)
            retry_ = AuthRetry{true, credentials};
    }
    return true;
}

bool AnswerSide::AnswerHeaders() {
    QByteArray value;
    if (block_.Value("Content-Type", value))
        state_.EditTexts().contentType = Latin1(value);
    // From here to the end of reading, Succeeded means the answer announced its length.
    state_.succeeded = !block_.TransferCoded() && block_.Value("Content-Length", value);
    state_.dataSize = state_.succeeded ? ContentLengthValue(value) : 0;

    if (request_.reportsHeaderInfo) {
        AnswerTexts& texts = state_.EditTexts();
        const QByteArray raw = block_.Raw();
        texts.rawHeaders = raw.size() <= kHeaderValueLimit ? Latin1(raw) : QString();
        auto text = [this](const char* name) {
            QByteArray v;
            return block_.Value(name, v) ? Latin1(v) : QString();
        };
        texts.contentLanguage = text("Content-Language");
        texts.contentEncoding = text("Content-Encoding");
        texts.location = text("Set-Cookie");
        texts.date = HttpDateToDateTime(text("Date"));
        texts.lastModified = HttpDateToDateTime(text("Last-Modified"));
        texts.expires = HttpDateToDateTime(text("Expires"));
        bool cont = true;
        if (!sink_.HeaderInfo(state_, cont))
            return false;
        activity_.Note();
        result_.continueDownload = cont;
        if (!cont) {
            stopReading_ = true;
            return false;
        }
    }
    if (!MakeDestination()) {
        stopReading_ = true;
        return false;
    }
    return true;
}

bool AnswerSide::MakeDestination() {
    Destination& spare = result_.spare;
    Destination& destination = result_.destination;
    bool made = false;
    if (state_.succeeded && !request_.outputFileName.isEmpty()) {
        const QByteArray name = QFile::encodeName(request_.outputFileName);
        struct stat st {};
        // Never replace a device, a folder or a link we did not make.
        if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return false;
        ::unlink(name.constData());
        if (spare.file && spare.file->open()) {
            destination.file = std::move(spare.file);
            made = true;
        }
    } else if (spare.memory) {
        destination.memory = std::move(spare.memory);
        if (state_.succeeded)
            destination.memory->buffer().reserve(
                std::min<qsizetype>(state_.dataSize, kReserveLimit));
        made = destination.memory->open(QIODevice::ReadWrite);
    }
    state_.bytesRead = 0;
    return made && !sink_.Stopped();
}

size_t AnswerSide::OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<AnswerSide*>(user);
    const size_t total = size * count;
    try {
        p->activity_.Note();
        if (p->sink_.Stopped())
            return 0;
        if (!p->final_)
            return total; // the body of an answer we do not keep (a redirect, say)
        if (p->stopReading_)
            return 0;
        return p->Store(data, static_cast<qsizetype>(total)) ? total : 0;
    } catch (...) {
        p->failed_ = true;
        return 0;
    }
}

// curl hands over up to its buffer at once. Without a progress handler the
// steps are not observable: one write. With one, the UI thread stores the
// bytes in steps of TransferBufferSize with an event after each, so the events
// match the setting.
bool AnswerSide::Store(const char* data, qsizetype size) {
    QIODevice* stream = result_.destination.Stream();
    if (!stream)
        return false;
    if (!request_.reportsProgress) {
        if (stream->write(data, size) != size) {
            failed_ = true;
            return false;
        }
        state_.bytesRead =
            static_cast<int>(std::min<qint64>(qint64(state_.bytesRead) + size, 2147483647));
        return true;
    }
    // Reserved once and reused: growing it batch by batch would fault in fresh
    // pages each time. Untouched pages cost nothing.
    if (pending_.capacity() < kProgressBatch)
        pending_.reserve(kProgressBatch);
    pending_.append(data, size);
    if (pending_.size() >= kProgressBatch || Activity::Clock::now() - lastFlush_ >= kProgressDelay)
        return Flush();
    return true;
}

bool AnswerSide::Flush() {
    if (pending_.isEmpty())
        return true;
    const qsizetype stored = sink_.StoreWithProgress(state_, result_.destination.Stream(), pending_,
                                                     request_.bufferSize);
    lastFlush_ = Activity::Clock::now();
    activity_.Note();
    state_.bytesRead =
        static_cast<int>(std::min<qint64>(qint64(state_.bytesRead) + stored, 2147483647));
    const bool whole = stored == pending_.size();
    pending_.truncate(0);
    if (sink_.Stopped())
        return false;
    if (!whole)
        failed_ = true;
    return whole;
}

bool AnswerSide::FlushIfDue() {
    if (pending_.isEmpty() || Activity::Clock::now() - lastFlush_ < kProgressDelay)
        return true;
    return Flush();
}

void AnswerSide::ReadLocalFile(const QString& path) {
    // Plain descriptors: no Qt object is ever made on a worker thread. A zero
    // byte would cut the name short and open another file; a name that is no
    // regular file (a FIFO, a device) could be read without end. Neither is
    // opened: non-blocking, so a FIFO without a writer cannot hold us either.
    const int fd = path.contains(QChar(0)) ? -1
                                           : ::open(QFile::encodeName(path).constData(),
                                                    O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        state_.statusCode = 200;
        state_.dataSize = static_cast<int>(static_cast<uint32_t>(st.st_size & 0xFFFFFFFF));
        state_.succeeded = true;
    } else {
        state_.statusCode = 404;
        state_.dataSize = 0;
        state_.succeeded = false;
    }
    final_ = true;
    if (MakeDestination() && state_.statusCode == 200) {
        QByteArray buffer(request_.bufferSize, Qt::Uninitialized);
        while (!sink_.Stopped()) {
            const ssize_t n = ::read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
            if (n <= 0 || !Store(buffer.constData(), n))
                break;
        }
        Flush();
        if (!sink_.Stopped())
            Outcome();
    }
    if (fd >= 0)
        ::close(fd);
}
