// The request half of the transfer procedure: libcurl's options, the send,
// the upload body, the limits, and the repeated send after a 401 or 407.
#include "base/Tick.h"
#include "http/auProcedure.h"

#include <algorithm>
#include <cstring>

namespace {

// libcurl's receive buffer; our steps of TransferBufferSize are cut from it.
constexpr long kCurlBufferSize = 102400;

TauTransportError TransportErrorOf(CURLcode code, bool silenced) {
    switch (code) {
    case CURLE_OK:
        return teNone;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return teCouldNotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return teTimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
        return silenced ? teTimedOut : teOther;
    default:
        return teOther;
    }
}

// Every callback catches everything: no exception may unwind through libcurl.
class RequestSide {
public:
    RequestSide(const TransferRequest& request, TransferResult& result, TransferSink& sink)
        : request_(request), state_(result.state), sink_(sink),
          answer_(request, result, sink, activity_) {}

    void Run();

private:
    bool Setup(CURL* h, const RawUrlParts& raw, bool secure, const QString& user,
               const QString& pass);
    void SetProxy(CURL* h);
    void SetLimits(CURL* h);
    void SetBody(CURL* h, bool post);

    static size_t OnRead(char* data, size_t size, size_t count, void* user);
    static int OnSeek(void* user, curl_off_t offset, int origin);
    static int OnXferInfo(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow);

    const TransferRequest& request_;
    TransferState& state_;
    TransferSink& sink_;
    Activity activity_;
    AnswerSide answer_;
    CurlSlist headers_;
    qint64 uploadOffset_ = 0;
    uint32_t silenceMs_ = 0;
    bool silenced_ = false; // the silence limit ended the pass
    curl_off_t downloaded_ = 0, uploaded_ = 0;
};

void RequestSide::Run() {
    // A URL that cannot be split leaves every part empty.
    RawUrlParts raw;
    SplitUrlRaw(request_.url, raw);
    QString scheme, host, user, pass, path, extra;
    uint16_t port = 0;
    SplitUrl(request_.url, scheme, host, port, user, pass, path, extra);
    if (user.isEmpty())
        user = request_.username;
    if (pass.isEmpty())
        pass = request_.password;

    if (scheme == QLatin1String("file")) {
        answer_.ReadLocalFile(path);
        return;
    }

    CurlEasy easy;
    state_.succeeded = static_cast<bool>(easy);
    if (!state_.succeeded) {
        state_.transportError = teOther;
        return;
    }
    CURL* h = easy.get();
    const bool secure = scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    // No connection without a host; a refused header block sends nothing.
    if (host.isEmpty() || !Setup(h, raw, secure, user, pass)) {
        state_.succeeded = false;
        state_.transportError = host.isEmpty() ? teCouldNotConnect : teOther;
        return;
    }

    const bool post = UsesPost(request_);
    for (;;) {
        answer_.BeginPass();
        uploadOffset_ = 0;
        downloaded_ = uploaded_ = 0;
        if (post && request_.uploadMode) {
            state_.dataSize =
                static_cast<int>(std::min<qsizetype>(request_.uploadBody.size(), 2147483647));
            state_.bytesRead = 0;
        }
        if (request_.workOffline)
            break; // offline: nothing is cached here, so nothing can be served
        activity_.Note();
        silenced_ = false;
        const CURLcode code = curl_easy_perform(h);
        if (sink_.Stopped())
            return;
        state_.transportError = TransportErrorOf(code, silenced_);
        answer_.EndPass(code);
        const std::optional<AuthRetry>& retry = answer_.Retry();
        if (!retry)
            break;
        // Between passes: libcurl takes no options from inside its callbacks.
        const QByteArray u = retry->credentials.user.toUtf8();
        const QByteArray p = retry->credentials.password.toUtf8();
        curl_easy_setopt(h, retry->proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, u.constData());
        curl_easy_setopt(h, retry->proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, p.constData());
    }
    answer_.Finish();
}

bool RequestSide::Setup(CURL* h, const RawUrlParts& raw, bool secure, const QString& user,
                        const QString& pass) {
    const std::optional<QList<QByteArray>> lines = BuildHeaderLines(request_);
    if (!lines)
        return false;
    for (const QByteArray& line : *lines)
        if (!headers_.Append(line.constData()))
            return false;

    curl_easy_setopt(h, CURLOPT_URL, BuildTarget(raw, secure).constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kCurlBufferSize);
    // libcurl copies every text option; the header list and POSTFIELDS it does not.
    const QByteArray agent = request_.agent.toUtf8();
    if (!agent.isEmpty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, agent.constData());
    const QByteArray referer = request_.referer.toUtf8();
    if (!referer.isEmpty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.constData());
    const QByteArray userBytes = user.toUtf8(), passBytes = pass.toUtf8();
    if (!userBytes.isEmpty() || !passBytes.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, userBytes.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, passBytes.constData());
    }
    if (!request_.caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, request_.caFile.constData());
    if (!request_.caPath.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAPATH, request_.caPath.constData());
    SetProxy(h);
    if (request_.useCookies) {
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(h, CURLOPT_SHARE, SharedCookieStore());
    }
    SetLimits(h);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get());
    SetBody(h, UsesPost(request_));
    answer_.Attach(h);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &RequestSide::OnXferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    return true;
}

void RequestSide::SetProxy(CURL* h) {
    const TauHTTPProxy& proxy = request_.proxy;
    if (!request_.unixSocketPath.isEmpty()) {
        // The socket is the whole route: no proxy, from the environment or not.
        curl_easy_setopt(h, CURLOPT_UNIX_SOCKET_PATH, request_.unixSocketPath.constData());
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    } else if (proxy.AccessType == atDirect) {
        curl_easy_setopt(h, CURLOPT_PROXY, "");
    } else if (proxy.AccessType == atUseProxy) {
        const QByteArray text =
            (proxy.ProxyServer + ':' + QString::number(proxy.ProxyPort)).toUtf8();
        QByteArray bypass;
        for (const QString& entry : proxy.ProxyBypass.split(';', Qt::SkipEmptyParts)) {
            if (!bypass.isEmpty())
                bypass += ',';
            bypass += entry.trimmed().toUtf8();
        }
        curl_easy_setopt(h, CURLOPT_PROXY, text.constData());
        curl_easy_setopt(h, CURLOPT_NOPROXY, bypass.constData());
    } // atPreconfig: the environment's proxy variables, as libcurl reads them
}

void RequestSide::SetLimits(CURL* h) {
    const TauHTTPTimeouts& t = request_.timeouts;
    const uint32_t connect = t.ConnectTimeout != 0 ? t.ConnectTimeout : request_.limits.connectMs;
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect));
    // libcurl has no limit on a single receive or send: silence of that long
    // in either direction ends the transfer.
    for (uint32_t v : {t.ReceiveTimeout, t.SendTimeout})
        if (v != 0 && (silenceMs_ == 0 || v < silenceMs_))
            silenceMs_ = v;
    if (silenceMs_ == 0)
        silenceMs_ = request_.limits.silenceMs;
    // The body goes out at once: a server that answers 100 first is still
    // understood, one that never does costs no second per upload.
    curl_easy_setopt(h, CURLOPT_EXPECT_100_TIMEOUT_MS, 0L);
}

void RequestSide::SetBody(CURL* h, bool post) {
    if (!post) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (!request_.uploadMode) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request_.postData.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request_.postData.constData());
    } else {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request_.uploadBody.size()));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &RequestSide::OnRead);
        curl_easy_setopt(h, CURLOPT_READDATA, this);
        curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &RequestSide::OnSeek);
        curl_easy_setopt(h, CURLOPT_SEEKDATA, this);
    }
}

size_t RequestSide::OnRead(char* data, size_t size, size_t count, void* user) {
    auto* p = static_cast<RequestSide*>(user);
    try {
        if (p->sink_.Stopped())
            return CURL_READFUNC_ABORT;
        const QByteArray& body = p->request_.uploadBody;
        const qint64 left = body.size() - p->uploadOffset_;
        const qint64 n =
            std::min<qint64>({left, qint64(p->request_.bufferSize), qint64(size * count)});
        if (n <= 0)
            return 0;
        std::memcpy(data, body.constData() + p->uploadOffset_, static_cast<size_t>(n));
        p->uploadOffset_ += n;
        p->state_.bytesRead = static_cast<int>(std::min<qint64>(p->uploadOffset_, 2147483647));
        if (p->request_.reportsUploadProgress) {
            if (!p->sink_.UploadProgress(p->state_))
                return CURL_READFUNC_ABORT;
            p->activity_.Note();
        }
        return static_cast<size_t>(n);
    } catch (...) {
        return CURL_READFUNC_ABORT;
    }
}

int RequestSide::OnSeek(void* user, curl_off_t offset, int origin) {
    auto* p = static_cast<RequestSide*>(user);
    if (origin != SEEK_SET || offset < 0 || offset > p->request_.uploadBody.size())
        return CURL_SEEKFUNC_CANTSEEK;
    p->uploadOffset_ = offset;
    return CURL_SEEKFUNC_OK;
}

// Called at least once a second, bytes or not: the silence watchdog, and the
// hand-over of body bytes that wait for the progress handler.
int RequestSide::OnXferInfo(void* user, curl_off_t, curl_off_t dlnow, curl_off_t,
                            curl_off_t ulnow) {
    auto* p = static_cast<RequestSide*>(user);
    if (p->sink_.Stopped())
        return 1;
    if (dlnow != p->downloaded_ || ulnow != p->uploaded_) {
        p->downloaded_ = dlnow;
        p->uploaded_ = ulnow;
        p->activity_.Note();
    }
    if (!p->answer_.FlushIfDue())
        return 1;
    p->silenced_ = p->activity_.SilentFor(p->silenceMs_);
    return p->silenced_ ? 1 : 0;
}

} // namespace

void RunTransfer(const TransferRequest& request, TransferResult& result, TransferSink& sink) {
    TransferState& state = result.state;
    state.statusCode = -1;
    if (!state.texts->contentType.isEmpty())
        state.EditTexts().contentType.clear();
    state.startTick = GetTickCount();
    result.continueDownload = true;
    RequestSide(request, result, sink).Run();
}
