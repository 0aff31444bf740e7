#include "http/auTransfer.h"

#include "base/Tick.h"
#include "http/CurlHandles.h"
#include "http/auUtils.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Header values longer than this count as absent, like a query into a
// 4096-byte buffer with its terminating zero.
constexpr qsizetype kHeaderValueLimit = 4095;
// Memory reserved up front for an announced length; more grows as it arrives,
// so a lying Content-Length cannot make us allocate gigabytes at once.
constexpr qsizetype kReserveLimit = 256 * 1024 * 1024;
// libcurl's receive buffer; our steps of TransferBufferSize are cut from it.
constexpr long kCurlBufferSize = 102400;

QString Latin1(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

} // namespace

// Texts never share their data between the UI thread and a worker: the
// reference count of shared data lives inside Qt, where ThreadSanitizer cannot
// see it, and a detached worker may drop its copy at any time.
QString Deep(const QString& s) {
    return s.isNull() ? QString() : QString(s.constData(), s.size());
}
QByteArray Deep(const QByteArray& b) {
    return b.isNull() ? QByteArray() : QByteArray(b.constData(), b.size());
}
QStringList Deep(const QStringList& list) {
    QStringList out;
    out.reserve(list.size());
    for (const QString& s : list)
        out.append(Deep(s));
    return out;
}

namespace {

// Escapes what may not stand in a request target, leaving existing %xx alone.
QByteArray EscapeTarget(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// A decimal number that fits a signed 32-bit value; 0 otherwise.
int ContentLengthValue(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty() || t.size() > 10)
        return 0;
    qint64 value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value > 2147483647 ? 0 : static_cast<int>(value);
}

bool ValidHeaderLine(const QString& line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == '\r' || c == '\n' || c == QChar(0))
            return false;
        if (i < colon && (c.unicode() <= ' ' || c.unicode() >= 0x7F))
            return false;
    }
    return true;
}

bool HasHeader(const QStringList& lines, const char* name) {
    const QString prefix = QString::fromLatin1(name) + ':';
    for (const QString& line : lines)
        if (line.trimmed().startsWith(prefix, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

struct TauTransfer::Answer {
    CURL* curl = nullptr;
    QByteArray statusLine;
    QList<QByteArray> lines; // header lines of the answer being received
    int status = -1;
    bool finalHeaders = false; // the last answer's headers were handled
    bool retry = false;        // a 401/407 handler asked to send again
    bool stopReading = false;  // ContinueDownload cleared or no destination
    bool failed = false;       // a callback failed; the transfer is over
    qint64 uploadOffset = 0;

    // First value of a header, or false when absent or too long.
    bool Value(const char* name, QByteArray& value) const {
        const QByteArray prefix = QByteArray(name) + ':';
        for (const QByteArray& line : lines) {
            if (line.size() >= prefix.size() &&
                qstrnicmp(line.constData(), prefix.constData(), prefix.size()) == 0) {
                const QByteArray v = line.mid(prefix.size()).trimmed();
                if (v.size() > kHeaderValueLimit)
                    return false;
                value = v;
                return true;
            }
        }
        return false;
    }
};

TauTransfer::TauTransfer(TauCustomHTTP* component) : self(component) {
    const TauCustomHTTP& c = *component;
    url = Deep(c.URL);
    agent = Deep(c.Agent);
    acceptTypes = Deep(c.AcceptTypes);
    referer = Deep(c.Referer);
    outputFileName = Deep(c.OutputFileName);
    username = Deep(c.Username);
    password = Deep(c.Password);
    addHeaders = Deep(c.AddHeaders);
    postData = Deep(c.POSTData);
    proxy = c.Proxy;
    proxy.ProxyServer = Deep(c.Proxy.ProxyServer);
    proxy.ProxyBypass = Deep(c.Proxy.ProxyBypass);
    range = c.Range;
    timeouts = c.Timeouts;
    method = c.RequestMethod;
    useCache = c.UseCache;
    useCookies = c.UseCookies;
    workOffline = c.WorkOffline;
    bufferSize = std::max(255, c.TransferBufferSize);
    hasHeaderInfo = static_cast<bool>(c.OnHeaderInfo);
    hasProgress = static_cast<bool>(c.OnProgress);
    hasUploadProgress = static_cast<bool>(c.OnUploadProgress);
    hasPassword = static_cast<bool>(c.OnPasswordRequest);
    hasProxyAuth = static_cast<bool>(c.OnProxyAuthenticationRequest);
    onRedirected = c.OnRedirected;
    // Kept from the previous transfer unless refreshed.
    succeeded = c.Succeeded;
    rawHeaders = Deep(c.RawHeadersCRLF);
    contentLanguage = Deep(c.ContentLanguage);
    contentEncoding = Deep(c.ContentEncoding);
    location = Deep(c.Location);
    date = c.Date;
    lastModified = c.LastModified;
    expires = c.Expires;
    proxyUsername = Deep(c.ProxyUsername);
    proxyPassword = Deep(c.ProxyPassword);
    dataSize = c.DataSize;
    bytesRead = c.BytesRead;
}

TauTransfer::~TauTransfer() = default;

std::shared_ptr<TauTransfer> TauTransfer::Make(TauCustomHTTP* component) {
    auto* made = new TauTransfer(component);
    // Qt objects are made here on the UI thread, never on the worker.
    made->spareMemory = std::make_unique<QBuffer>();
    if (!made->outputFileName.isEmpty())
        made->spareFile =
            std::make_unique<QTemporaryFile>(made->outputFileName + QStringLiteral(".XXXXXX"));
    return std::shared_ptr<TauTransfer>(made, [](TauTransfer* job) {
        // The Qt stream objects die on the thread that made them.
        if (std::this_thread::get_id() == job->uiThread)
            delete job;
        else
            TauCustomThread::RunLaterInMainThread([job] { delete job; });
    });
}

QIODevice* TauTransfer::DataStream() const {
    if (memory)
        return memory.get();
    return file.get();
}

void TauTransfer::Publish() const {
    TauCustomHTTP& c = *self;
    c.StatusCode = statusCode;
    c.Succeeded = succeeded;
    c.RawHeadersCRLF = Deep(rawHeaders);
    c.ContentType = Deep(contentType);
    c.ContentLanguage = Deep(contentLanguage);
    c.ContentEncoding = Deep(contentEncoding);
    c.Location = Deep(location);
    c.Date = date;
    c.LastModified = lastModified;
    c.Expires = expires;
    c.ProxyUsername = Deep(proxyUsername);
    c.ProxyPassword = Deep(proxyPassword);
    c.DataSize = dataSize;
    c.BytesRead = bytesRead;
    c.StartTick = startTick;
}

namespace {

// Raises an event of the component on the UI thread, with the transfer's state
// published to it first. False when the transfer was cancelled meanwhile (by
// the handler itself, or because the component is going away).
template <class Raise> bool RaiseInMainThread(TauTransfer& t, const Raise& raise) {
    TauCustomThread::RunInMainThread([&t, &raise] {
        if (!t.Alive())
            return;
        t.Publish();
        raise(t.self);
    });
    return t.Alive();
}

// The procedure's steps on libcurl. Every callback catches everything: no
// exception may unwind through libcurl's C frames.
class Procedure {
public:
    explicit Procedure(TauTransfer& t) : t_(t), a_(*t.answer) {}

    void Run();

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* user);
    static size_t OnWrite(char* data, size_t size, size_t count, void* user);
    static size_t OnRead(char* data, size_t size, size_t count, void* user);
    static int OnSeek(void* user, curl_off_t offset, int origin);
    static int OnXferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    bool HeaderLine(const QByteArray& line);
    bool EndOfHeaders();
    bool Authenticate();
    void SetCredentials(CURLoption userOption, const QString& user, CURLoption passwordOption,
                        const QString& password, bool tryAgain);
    bool AnswerHeaders();
    bool MakeDestination();
    bool Store(const char* data, qsizetype size);
    void Outcome();
    void RunLocalFile(const QString& path);

    TauTransfer& t_;
    TauTransfer::Answer& a_;
};

void Procedure::Run() {
    TauTransfer& t = t_;
    // Step 2: a URL that cannot be split leaves every part empty.
    RawUrlParts raw;
    SplitUrlRaw(t.url, raw);
    QString scheme, host, user, pass, path, extra;
    uint16_t port = 0;
    SplitUrl(t.url, scheme, host, port, user, pass, path, extra);
    if (user.isEmpty())
        user = t.username;
    if (pass.isEmpty())
        pass = t.password;

    if (scheme == QLatin1String("file")) {
        RunLocalFile(path);
        return;
    }

    CurlEasy easy;
    t.succeeded = static_cast<bool>(easy);
    if (!t.succeeded)
        return;
    CURL* h = easy.get();
    a_.curl = h;

    if (host.isEmpty()) {
        t.succeeded = false; // no connection without a host
        return;
    }

    const bool secure = scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    QByteArray target = secure ? "https://" : "http://";
    target +=
        raw.hostName.contains(':') ? '[' + raw.hostName.toUtf8() + ']' : raw.hostName.toUtf8();
    target += ':' + QByteArray::number(port ? port : (secure ? 443 : 80));
    target += raw.urlPath.isEmpty() ? QByteArray("/") : EscapeTarget(raw.urlPath);
    target += EscapeTarget(raw.extraInfo);

    curl_easy_setopt(h, CURLOPT_URL, target.constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kCurlBufferSize);
    const QByteArray agent = t.agent.toUtf8();
    if (!agent.isEmpty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, agent.constData());
    const QByteArray referer = t.referer.toUtf8();
    if (!referer.isEmpty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.constData());
    QByteArray userBytes = user.toUtf8(), passBytes = pass.toUtf8();
    if (!userBytes.isEmpty() || !passBytes.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, userBytes.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, passBytes.constData());
    }

    // Proxy.
    const QByteArray proxyText =
        (t.proxy.ProxyServer + ':' + QString::number(t.proxy.ProxyPort)).toUtf8();
    QByteArray bypass;
    for (const QString& entry : t.proxy.ProxyBypass.split(';', Qt::SkipEmptyParts)) {
        if (!bypass.isEmpty())
            bypass += ',';
        bypass += entry.trimmed().toUtf8();
    }
    if (t.proxy.AccessType == atDirect) {
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    } else if (t.proxy.AccessType == atUseProxy) {
        curl_easy_setopt(h, CURLOPT_PROXY, proxyText.constData());
        curl_easy_setopt(h, CURLOPT_NOPROXY, bypass.isEmpty() ? "" : bypass.constData());
    } // atPreconfig: the environment's proxy variables, as libcurl reads them

    if (t.useCookies) {
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(h, CURLOPT_SHARE, SharedCookieStore());
    }

    // Timeouts. libcurl has no per-receive limit: a stall of that long aborts.
    if (t.timeouts.ConnectTimeout != 0)
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(t.timeouts.ConnectTimeout));
    uint32_t stall = 0;
    for (uint32_t v : {t.timeouts.ReceiveTimeout, t.timeouts.SendTimeout})
        if (v != 0 && (stall == 0 || v < stall))
            stall = v;
    if (stall != 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>((stall + 999) / 1000));
    }

    // Verb.
    bool post = false;
    switch (t.method) {
    case rmGET:
        post = false;
        break;
    case rmPOST:
        post = true;
        break;
    case rmAutoDetect:
        post = !t.postData.isEmpty() || t.uploadMode;
        break;
    }

    // Header block: Accept, the caller's lines in order, the range line.
    CurlSlist headers;
    bool ok = true;
    if (!t.acceptTypes.isEmpty())
        ok = headers.Append(("Accept: " + t.acceptTypes).toUtf8().constData());
    for (const QString& line : t.addHeaders) {
        if (line.trimmed().isEmpty())
            continue;
        if (!ValidHeaderLine(line)) {
            ok = false; // refused like a malformed block; nothing is sent
            break;
        }
        ok = ok && headers.Append(line.toUtf8().constData());
    }
    if (t.range.StartRange != 0 || t.range.EndRange != 0) {
        QByteArray rangeLine = "RANGE: bytes=" + QByteArray::number(t.range.StartRange) + '-';
        if (t.range.EndRange != 0)
            rangeLine += QByteArray::number(t.range.EndRange);
        ok = ok && headers.Append(rangeLine.constData());
    }
    if (!t.useCache) {
        ok = ok && headers.Append("Pragma: no-cache");
        ok = ok && headers.Append("Cache-Control: no-cache");
    }
    // libcurl would add these on its own; the request carries only ours.
    if (!HasHeader(t.addHeaders, "Expect"))
        ok = ok && headers.Append("Expect:");
    if (post && !HasHeader(t.addHeaders, "Content-Type"))
        ok = ok && headers.Append(t.uploadMode ? "Content-Type:"
                                               : "Content-Type: application/x-www-form-urlencoded");
    if (!ok) {
        t.succeeded = false;
        return;
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    if (!post) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (!t.uploadMode) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(t.postData.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, t.postData.constData());
    } else {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(t.uploadBody.size()));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &Procedure::OnRead);
        curl_easy_setopt(h, CURLOPT_READDATA, this);
        curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &Procedure::OnSeek);
        curl_easy_setopt(h, CURLOPT_SEEKDATA, this);
    }
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Procedure::OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Procedure::OnWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Procedure::OnXferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    // Send, and again while an authentication handler asks for it.
    do {
        a_.retry = false;
        a_.finalHeaders = false;
        a_.stopReading = false;
        a_.failed = false;
        a_.status = -1;
        a_.lines.clear();
        a_.uploadOffset = 0;
        t.tryAgain = false;
        if (post && t.uploadMode) {
            t.dataSize = static_cast<int>(std::min<qsizetype>(t.uploadBody.size(), 2147483647));
            t.bytesRead = 0;
        }
        if (t.workOffline)
            break; // offline: nothing is cached here, so nothing can be served
        curl_easy_perform(h);
        if (!t.Alive())
            return;
    } while (a_.retry);

    if (!a_.finalHeaders) {
        t.succeeded = false; // no status obtained (or the repeated send failed)
        return;
    }
    if (!t.continueDownload || a_.stopReading)
        return;
    Outcome();
}

void Procedure::RunLocalFile(const QString& path) {
    TauTransfer& t = t_;
    // Plain descriptors: no Qt object is ever made on a worker thread.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) {
        t.statusCode = 200;
        t.dataSize = static_cast<int>(static_cast<uint32_t>(st.st_size & 0xFFFFFFFF));
        t.succeeded = true;
    } else {
        t.statusCode = 404;
        t.dataSize = 0;
        t.succeeded = false;
    }
    if (MakeDestination() && t.statusCode == 200) {
        QByteArray buffer(t.bufferSize, Qt::Uninitialized);
        while (t.Alive()) {
            const ssize_t n = ::read(fd, buffer.data(), static_cast<size_t>(buffer.size()));
            if (n <= 0 || !Store(buffer.constData(), n))
                break;
        }
        if (t.Alive())
            Outcome();
    }
    if (fd >= 0)
        ::close(fd);
}

size_t Procedure::OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<Procedure*>(user);
    const size_t total = size * count;
    try {
        if (!p->t_.Alive())
            return 0;
        QByteArray line(data, static_cast<qsizetype>(total));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return p->HeaderLine(line) ? total : 0;
    } catch (...) {
        p->a_.failed = true;
        return 0;
    }
}

bool Procedure::HeaderLine(const QByteArray& line) {
    if (line.startsWith("HTTP/")) {
        a_.statusLine = line;
        a_.lines.clear();
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        const int code = parts.size() > 1 ? parts[1].toInt(&ok) : 0;
        a_.status = ok ? code : 0;
        return true;
    }
    if (!line.isEmpty()) {
        a_.lines.append(line);
        return true;
    }
    return EndOfHeaders();
}

bool Procedure::EndOfHeaders() {
    const int status = a_.status;
    if (status >= 100 && status < 200)
        return true; // an interim answer such as "100 Continue"
    QByteArray location;
    const bool followed =
        (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
        a_.Value("Location", location) && !location.isEmpty();
    if (followed) {
        if (t_.onRedirected) {
            QByteArray next = location;
            char* base = nullptr;
            curl_easy_getinfo(a_.curl, CURLINFO_EFFECTIVE_URL, &base);
            if (CURLU* u = curl_url()) {
                char* full = nullptr;
                if (base && curl_url_set(u, CURLUPART_URL, base, 0) == CURLUE_OK &&
                    curl_url_set(u, CURLUPART_URL, location.constData(), 0) == CURLUE_OK &&
                    curl_url_get(u, CURLUPART_URL, &full, 0) == CURLUE_OK) {
                    next = full;
                    curl_free(full);
                }
                curl_url_cleanup(u);
            }
            try {
                t_.onRedirected(t_.self, Latin1(next));
            } catch (...) {
            }
        }
        return true;
    }
    a_.finalHeaders = true;
    t_.statusCode = status;
    t_.succeeded = true;
    if (!Authenticate())
        return false;
    if (a_.retry)
        return false; // ends this pass; the request goes out again
    return AnswerHeaders();
}

bool Procedure::Authenticate() {
    TauTransfer& t = t_;
    const int status = a_.status;
    if (status == 401 && t.hasPassword) {
        QByteArray value;
        t.succeeded = a_.Value("WWW-Authenticate", value);
        if (t.succeeded) {
            t.contentType = Latin1(value);
            const qsizetype at = value.indexOf("=\"");
            if (at >= 0)
                t.contentType = Latin1(value.mid(at + 2, value.size() - (at + 2) - 1));
        } else {
            t.contentType.clear();
        }
        bool tryAgain = false;
        const bool alive = RaiseInMainThread(t, [&t, &tryAgain](TauCustomHTTP* c) {
            const QString realm = c->ContentType;
            c->OnPasswordRequest(c, realm, tryAgain);
            if (!t.Alive())
                return;
            t.username = Deep(c->Username);
            t.password = Deep(c->Password);
        });
        if (!alive)
            return false;
        SetCredentials(CURLOPT_USERNAME, t.username, CURLOPT_PASSWORD, t.password, tryAgain);
    } else if (status == 407 && t.hasProxyAuth) {
        bool tryAgain = false;
        const bool alive = RaiseInMainThread(t, [&t, &tryAgain](TauCustomHTTP* c) {
            QString user = c->ProxyUsername, pass = c->ProxyPassword;
            c->OnProxyAuthenticationRequest(c, user, pass, tryAgain);
            t.proxyUsername = Deep(user);
            t.proxyPassword = Deep(pass);
        });
        if (!alive)
            return false;
        SetCredentials(CURLOPT_PROXYUSERNAME, t.proxyUsername, CURLOPT_PROXYPASSWORD,
                       t.proxyPassword, tryAgain);
    }
    return true;
}

void Procedure::SetCredentials(CURLoption userOption, const QString& user,
                               CURLoption passwordOption, const QString& password, bool tryAgain) {
    t_.tryAgain = tryAgain;
    // libcurl copies the strings.
    const QByteArray u = user.toUtf8(), p = password.toUtf8();
    curl_easy_setopt(a_.curl, userOption, u.constData());
    curl_easy_setopt(a_.curl, passwordOption, p.constData());
    a_.retry = tryAgain;
}

bool Procedure::AnswerHeaders() {
    TauTransfer& t = t_;
    QByteArray value;
    if (a_.Value("Content-Type", value))
        t.contentType = Latin1(value);
    t.succeeded = a_.Value("Content-Length", value);
    t.dataSize = t.succeeded ? ContentLengthValue(value) : 0;

    if (t.hasHeaderInfo) {
        QByteArray raw = a_.statusLine + "\r\n";
        for (const QByteArray& line : a_.lines)
            raw += line + "\r\n";
        raw += "\r\n";
        t.rawHeaders = raw.size() <= kHeaderValueLimit ? Latin1(raw) : QString();
        auto text = [this](const char* name) {
            QByteArray v;
            return a_.Value(name, v) ? Latin1(v) : QString();
        };
        t.contentLanguage = text("Content-Language");
        t.contentEncoding = text("Content-Encoding");
        t.location = text("Set-Cookie");
        t.date = HttpDateToDateTime(text("Date"));
        t.lastModified = HttpDateToDateTime(text("Last-Modified"));
        t.expires = HttpDateToDateTime(text("Expires"));
        bool cont = true;
        const bool alive = RaiseInMainThread(t, [&cont](TauCustomHTTP* c) {
            c->OnHeaderInfo(c, c->RawHeadersCRLF, c->ContentType, c->ContentLanguage,
                            c->ContentEncoding, c->Location, c->DataSize, c->Date, c->LastModified,
                            c->Expires, cont);
        });
        if (!alive)
            return false;
        t.continueDownload = cont;
        if (!cont) {
            a_.stopReading = true;
            return false;
        }
    }
    if (!MakeDestination()) {
        a_.stopReading = true;
        return false;
    }
    return true;
}

bool Procedure::MakeDestination() {
    TauTransfer& t = t_;
    bool made = false;
    if (t.succeeded && !t.outputFileName.isEmpty()) {
        const QByteArray name = QFile::encodeName(t.outputFileName);
        struct stat st {};
        // Never replace a device, a folder or a link we did not make.
        if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            return false;
        ::unlink(name.constData());
        if (t.spareFile && t.spareFile->open()) {
            t.file = std::move(t.spareFile);
            made = true;
        }
    } else if (t.spareMemory) {
        t.memory = std::move(t.spareMemory);
        if (t.succeeded)
            t.memory->buffer().reserve(std::min<qsizetype>(t.dataSize, kReserveLimit));
        made = t.memory->open(QIODevice::ReadWrite);
    }
    t.bytesRead = 0;
    return made && t.Alive();
}

size_t Procedure::OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<Procedure*>(user);
    const size_t total = size * count;
    try {
        if (!p->t_.Alive() || !p->a_.finalHeaders || p->a_.stopReading)
            return p->a_.finalHeaders ? 0 : total; // bodies of answers we do not keep
        return p->Store(data, static_cast<qsizetype>(total)) ? total : 0;
    } catch (...) {
        p->a_.failed = true;
        p->t_.writeFailed = true;
        return 0;
    }
}

// One read step: curl hands over up to its buffer; we store and report at most
// TransferBufferSize bytes per step so progress events match the setting.
bool Procedure::Store(const char* data, qsizetype size) {
    TauTransfer& t = t_;
    QIODevice* stream = t.DataStream();
    if (!stream)
        return false;
    // Without a progress handler the steps are not observable: one write.
    const qsizetype step = t.hasProgress ? t.bufferSize : size;
    for (qsizetype at = 0; at < size;) {
        const qsizetype n = std::min<qsizetype>(step, size - at);
        if (stream->write(data + at, n) != n) {
            t.writeFailed = true;
            return false;
        }
        at += n;
        t.bytesRead = static_cast<int>(std::min<qint64>(qint64(t.bytesRead) + n, 2147483647));
        if (t.hasProgress && !RaiseInMainThread(t, [&t](TauCustomHTTP* c) {
                c->UpdateProgressStats(GetTickCount());
                c->OnProgress(c, c->ContentType, c->DataSize, c->BytesRead, c->ElapsedTime,
                              c->EstimatedTimeLeft, c->PercentsDone, c->TransferRate,
                              t.DataStream());
            }))
            return false;
    }
    return true;
}

size_t Procedure::OnRead(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<Procedure*>(user);
    TauTransfer& t = p->t_;
    try {
        if (!t.Alive())
            return CURL_READFUNC_ABORT;
        const qint64 left = t.uploadBody.size() - p->a_.uploadOffset;
        const qint64 n = std::min<qint64>({left, qint64(t.bufferSize), qint64(size * count)});
        if (n <= 0)
            return 0;
        std::memcpy(data, t.uploadBody.constData() + p->a_.uploadOffset, static_cast<size_t>(n));
        p->a_.uploadOffset += n;
        t.bytesRead = static_cast<int>(std::min<qint64>(p->a_.uploadOffset, 2147483647));
        if (t.hasUploadProgress && !RaiseInMainThread(t, [](TauCustomHTTP* c) {
                c->UpdateProgressStats(GetTickCount());
                c->OnUploadProgress(c, c->DataSize, c->BytesRead, c->ElapsedTime,
                                    c->EstimatedTimeLeft, c->PercentsDone, c->TransferRate);
            }))
            return CURL_READFUNC_ABORT;
        return static_cast<size_t>(n);
    } catch (...) {
        p->a_.failed = true;
        return CURL_READFUNC_ABORT;
    }
}

int Procedure::OnSeek(void* user, curl_off_t offset, int origin) {
    auto* p = static_cast<Procedure*>(user);
    if (origin != SEEK_SET || offset < 0 || offset > p->t_.uploadBody.size())
        return CURL_SEEKFUNC_CANTSEEK;
    p->a_.uploadOffset = offset;
    return CURL_SEEKFUNC_OK;
}

int Procedure::OnXferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Procedure*>(user)->t_.Alive() ? 0 : 1;
}

void Procedure::Outcome() {
    TauTransfer& t = t_;
    t.succeeded = t.statusCode == 200;
    if (t.succeeded && t.dataSize != 0 && t.DataStream())
        t.succeeded = t.bytesRead == t.dataSize;
    // A failed write (a full disk) is a failure, never a short success.
    if (t.writeFailed || a_.failed)
        t.succeeded = false;
    if (t.succeeded && t.file) {
        QTemporaryFile& f = *t.file;
        bool ok = f.flush();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                         QFileDevice::ReadOther);
        f.close();
        ok = ok && f.error() == QFileDevice::NoError;
        ok = ok && std::rename(QFile::encodeName(f.fileName()).constData(),
                               QFile::encodeName(t.outputFileName).constData()) == 0;
        if (ok) {
            f.setAutoRemove(false);
            t.fileCommitted = true;
        } else {
            t.writeFailed = true;
            t.succeeded = false;
        }
    }
}

} // namespace

void TauTransfer::Run() {
    statusCode = -1;
    contentType.clear();
    startTick = GetTickCount();
    continueDownload = true;
    writeFailed = false;
    answer = std::make_unique<Answer>();
    Procedure(*this).Run();
    answer.reset();
}
