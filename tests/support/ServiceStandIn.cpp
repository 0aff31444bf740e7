#include "ServiceStandIn.h"

#include "LoopbackServer.h"
#include "base/Endpoints.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

bool HasHeader(const HeaderList& headers, QByteArrayView name) {
    return FindHeader(headers, name) != nullptr;
}

// The endpoints the program knows, and the path each is served under.
struct EndpointPath {
    Endpoint endpoint;
    const char* path;
};
constexpr EndpointPath kEndpointPaths[] = {
    {Endpoint::Translate, kTranslatePath}, {Endpoint::Ocr1, kOcr1Path},
    {Endpoint::Ocr2, kOcr2Path},           {Endpoint::Tts, kTtsPath},
    {Endpoint::Update, kUpdatePath},       {Endpoint::Feedback, kFeedbackPath},
    {Endpoint::Home, kHomePath},           {Endpoint::BingAuth, kBingAuthPath},
    {Endpoint::Bing, kBingPath},
};

QJsonObject ToJson(const StandInRequest& r) {
    QJsonArray headers;
    for (const auto& h : r.headers)
        headers.append(QJsonArray{QString::fromLatin1(h.first), QString::fromLatin1(h.second)});
    return QJsonObject{{"method", QString::fromLatin1(r.method)},
                       {"target", QString::fromLatin1(r.target)},
                       {"version", QString::fromLatin1(r.version)},
                       {"headers", headers},
                       {"body", QString::fromLatin1(r.body.toBase64())}};
}

StandInRequest FromJson(const QJsonObject& o) {
    StandInRequest r;
    r.method = o.value("method").toString().toLatin1();
    r.target = o.value("target").toString().toLatin1();
    r.version = o.value("version").toString().toLatin1();
    for (const QJsonValue& h : o.value("headers").toArray()) {
        const QJsonArray pair = h.toArray();
        r.headers.append({pair.at(0).toString().toLatin1(), pair.at(1).toString().toLatin1()});
    }
    r.body = QByteArray::fromBase64(o.value("body").toString().toLatin1());
    return r;
}

StandInRequest Convert(const RecordedRequest& r) {
    return StandInRequest{r.method, r.target, r.version, r.headers, r.body};
}

} // namespace

QByteArray StandInRequest::path() const {
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

QByteArray StandInRequest::header(QByteArrayView name) const {
    const QByteArray* value = FindHeader(headers, name);
    return value ? *value : QByteArray();
}

bool StandInRequest::hasHeader(QByteArrayView name) const {
    return HasHeader(headers, name);
}

struct ServiceStandIn::State {
    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    QHash<QByteArray, QList<StandInAnswer>> answers;
    QHash<QByteArray, qsizetype> used;
    QString recordFile;
    size_t recorded = 0;
    std::thread recorder;
    QList<QPair<QByteArray, std::optional<QByteArray>>> savedEnv;
    // Last, so that it goes first: its connections use everything above.
    LoopbackServer server;

    LoopbackScript ScriptFor(const RecordedRequest& request);
    // Appends the requests that came in since the last call to the record file.
    void RecordNew();
};

LoopbackScript ServiceStandIn::State::ScriptFor(const RecordedRequest& request) {
    StandInAnswer a;
    {
        std::lock_guard lock(mutex);
        const auto it = answers.constFind(request.path);
        if (it == answers.cend() || it->isEmpty()) {
            a.status = 404;
        } else {
            qsizetype& n = used[request.path];
            a = it->at(qMin(n, it->size() - 1));
            ++n;
        }
    }
    LoopbackScript script;
    if (a.neverAnswer)
        return script.hang();
    if (a.hangUp)
        return script;
    if (!a.raw.isEmpty()) {
        script.then(a.raw, a.headerDelayMs);
        return script;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(a.status) + ' ' +
                      (a.reason.isEmpty() ? HttpReasonPhrase(a.status) : a.reason) + "\r\n";
    for (const auto& h : a.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (a.chunkSize > 0)
        head += "Transfer-Encoding: chunked\r\n";
    else if (a.contentLength && !HasHeader(a.headers, "Content-Length"))
        head += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
    if (!HasHeader(a.headers, "Connection"))
        head += "Connection: close\r\n";
    head += "\r\n";
    QByteArray body = a.body;
    if (a.chunkSize > 0) {
        body.clear();
        for (qsizetype i = 0; i < a.body.size(); i += a.chunkSize) {
            const QByteArray piece = a.body.mid(i, a.chunkSize);
            body += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        body += "0\r\n\r\n";
    }
    if (a.closeAfter >= 0)
        body.truncate(a.closeAfter);
    script.then(head, a.headerDelayMs).then(body, a.bodyDelayMs);
    return script;
}

void ServiceStandIn::State::RecordNew() {
    const std::vector<RecordedRequest> all = server.requests();
    std::lock_guard lock(mutex);
    if (all.size() < recorded)
        recorded = 0; // the list was cleared
    if (recordFile.isEmpty() || all.size() == recorded)
        return;
    QFile file(recordFile);
    if (!file.open(QIODevice::Append))
        return;
    for (; recorded < all.size(); ++recorded) {
        file.write(QJsonDocument(ToJson(Convert(all[recorded]))).toJson(QJsonDocument::Compact));
        file.write("\n");
    }
}

ServiceStandIn::ServiceStandIn() : d_(std::make_shared<State>()) {
    d_->server.setHandler(
        [state = d_.get()](const RecordedRequest& request) { return state->ScriptFor(request); });
}

ServiceStandIn::~ServiceStandIn() {
    {
        std::lock_guard lock(d_->mutex);
        d_->stopping = true;
    }
    d_->stopped.notify_all();
    if (d_->recorder.joinable())
        d_->recorder.join();
    for (const auto& [name, value] : d_->savedEnv) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

bool ServiceStandIn::IsListening() const {
    return d_->server.port() != 0;
}

quint16 ServiceStandIn::Port() const {
    return d_->server.port();
}

QString ServiceStandIn::Url(QStringView path) const {
    return d_->server.url(path.toString());
}

void ServiceStandIn::SetAnswer(const QByteArray& path, const StandInAnswer& answer) {
    SetAnswers(path, {answer});
}

void ServiceStandIn::SetAnswers(const QByteArray& path, const QList<StandInAnswer>& answers) {
    std::lock_guard lock(d_->mutex);
    d_->answers[path] = answers;
    d_->used[path] = 0;
}

void ServiceStandIn::AddAnswer(const QByteArray& path, const StandInAnswer& answer) {
    std::lock_guard lock(d_->mutex);
    d_->answers[path].append(answer);
}

QList<StandInRequest> ServiceStandIn::Requests() const {
    QList<StandInRequest> requests;
    for (const RecordedRequest& r : d_->server.requests())
        requests.append(Convert(r));
    return requests;
}

qsizetype ServiceStandIn::RequestCount() const {
    return qsizetype(d_->server.requestCount());
}

void ServiceStandIn::ClearRequests() {
    d_->server.clearRequests();
}

bool ServiceStandIn::WaitForRequests(qsizetype count, int timeoutMs) const {
    return d_->server.waitForRequests(size_t(count), timeoutMs);
}

bool ServiceStandIn::RecordTo(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::Append))
        return false;
    std::lock_guard lock(d_->mutex);
    d_->recordFile = file;
    d_->recorded = d_->server.requestCount();
    if (!d_->recorder.joinable()) {
        d_->recorder = std::thread([state = d_.get()] {
            std::unique_lock lock(state->mutex);
            while (!state->stopping) {
                const size_t next = state->recorded + 1;
                lock.unlock();
                state->server.waitForRequests(next, 50);
                state->RecordNew();
                lock.lock();
            }
            lock.unlock();
            // Whatever came in during the last wait.
            state->RecordNew();
        });
    }
    return true;
}

void ServiceStandIn::PointEndpointsHere() {
    for (const EndpointPath& e : kEndpointPaths) {
        const QByteArray name = EndpointVariable(e.endpoint);
        bool known = false;
        for (const auto& saved : d_->savedEnv)
            known = known || saved.first == name;
        if (!known)
            d_->savedEnv.append({name, qEnvironmentVariableIsSet(name.constData())
                                           ? std::optional(qgetenv(name.constData()))
                                           : std::nullopt});
        qputenv(name.constData(), Url(QString::fromLatin1(e.path)).toUtf8());
    }
}

QList<StandInRequest> ReadRecordedRequests(const QString& file) {
    QList<StandInRequest> requests;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            requests.append(FromJson(QJsonDocument::fromJson(line).object()));
    return requests;
}

bool ParseAnswerLine(QByteArrayView line, QByteArray& path, StandInAnswer& answer, QString& error) {
    const QList<QByteArray> words = line.toByteArray().simplified().split(' ');
    if (words.isEmpty() || !words[0].startsWith('/')) {
        error = QStringLiteral("an answer line begins with its path");
        return false;
    }
    path = words[0];
    answer = StandInAnswer{};
    auto readFile = [&error](const QByteArray& name, QByteArray& into) {
        QFile f(QString::fromLocal8Bit(name));
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read ") + f.fileName();
            return false;
        }
        into = f.readAll();
        return true;
    };
    auto number = [&error](const QByteArray& key, const QByteArray& text, auto& into) {
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (!ok || n < 0) {
            error = QStringLiteral("%1 needs a number").arg(QString::fromLatin1(key));
            return false;
        }
        into = std::remove_reference_t<decltype(into)>(n);
        return true;
    };
    for (qsizetype i = 1; i < words.size(); ++i) {
        const qsizetype eq = words[i].indexOf('=');
        const QByteArray key = eq < 0 ? words[i] : words[i].left(eq);
        const QByteArray value =
            eq < 0 ? QByteArray() : QByteArray::fromPercentEncoding(words[i].mid(eq + 1));
        bool ok = true;
        if (key == "no-length" && eq < 0) {
            answer.contentLength = false;
        } else if (key == "never-answer" && eq < 0) {
            answer.neverAnswer = true;
        } else if (key == "hang-up" && eq < 0) {
            answer.hangUp = true;
        } else if (eq < 0) {
            error = QStringLiteral("unknown word ") + QString::fromLatin1(words[i]);
            ok = false;
        } else if (key == "status") {
            ok = number(key, value, answer.status);
        } else if (key == "reason") {
            answer.reason = value;
        } else if (key == "header") {
            const qsizetype colon = value.indexOf(':');
            if (colon <= 0) {
                error = QStringLiteral("header= needs Name:Value");
                ok = false;
            } else {
                answer.headers.append({value.left(colon), value.mid(colon + 1).trimmed()});
            }
        } else if (key == "body") {
            answer.body = value;
        } else if (key == "body-file") {
            ok = readFile(value, answer.body);
        } else if (key == "raw") {
            answer.raw = value;
        } else if (key == "raw-file") {
            ok = readFile(value, answer.raw);
        } else if (key == "chunk") {
            ok = number(key, value, answer.chunkSize);
        } else if (key == "header-delay") {
            ok = number(key, value, answer.headerDelayMs);
        } else if (key == "body-delay") {
            ok = number(key, value, answer.bodyDelayMs);
        } else if (key == "close-after") {
            ok = number(key, value, answer.closeAfter);
        } else {
            error = QStringLiteral("unknown key ") + QString::fromLatin1(key);
            ok = false;
        }
        if (!ok)
            return false;
    }
    return true;
}

bool LoadAnswerScript(const QString& file, ServiceStandIn& standIn, QString& error) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read ") + file;
        return false;
    }
    int number = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        ++number;
        const QByteArray text = line.trimmed();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        QByteArray path;
        StandInAnswer answer;
        if (!ParseAnswerLine(text, path, answer, error)) {
            error = QStringLiteral("%1:%2: ").arg(file).arg(number) + error;
            return false;
        }
        standIn.AddAnswer(path, answer);
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
