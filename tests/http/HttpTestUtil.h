#pragma once

#include "http/auHTTP.h"
#include "http/auTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <functional>

// Serves the UI thread's events until done() holds or the time is up.
inline bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    if (done())
        return true;
    QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

inline void SpinFor(int ms) {
    SpinUntil([] { return false; }, ms);
}

// Records the component's events as short texts, in order.
struct EventLog {
    QStringList events;
    QByteArray body;         // stream content handed to OnDone / OnConnLost / OnHTTPError
    bool streamNull = false; // OnDone got no stream

    explicit EventLog(TauCustomHTTP& http) {
        auto grab = [this](QIODevice* s) {
            streamNull = s == nullptr;
            body = s ? s->readAll() : QByteArray();
        };
        http.OnDone = [this, grab](QObject*, const QString&, int size, QIODevice* s) {
            grab(s);
            events << QStringLiteral("Done(%1)").arg(size);
        };
        http.OnAnyError = [this](QObject*) { events << "AnyError"; };
        http.OnConnLost = [this, grab](QObject*, const QString&, int size, int read, QIODevice* s) {
            grab(s);
            events << QStringLiteral("ConnLost(%1,%2)").arg(size).arg(read);
        };
        http.OnHTTPError = [this, grab](QObject*, int code, QIODevice* s) {
            grab(s);
            events << QStringLiteral("HTTPError(%1)").arg(code);
        };
        http.OnHostUnreachable = [this](QObject*) { events << "HostUnreachable"; };
        http.OnDoneInterrupted = [this](QObject*) { events << "DoneInterrupted"; };
        http.OnAborted = [this](QObject*) { events << "Aborted"; };
        http.OnWaitTimeoutExpired = [this](QObject*) { events << "WaitTimeoutExpired"; };
    }

    // True once an outcome event has arrived. Entries with a colon are a
    // test's own notes (handlers it added), never an outcome.
    bool Ended() const {
        for (const QString& e : events)
            if (e != "AnyError" && !e.contains(':'))
                return true;
        return false;
    }
    bool Wait(int timeoutMs = 5000) {
        return SpinUntil([this] { return Ended(); }, timeoutMs);
    }
};

// Other limits on silence and on connecting for the transfers started while it
// lives, so a test of them waits seconds, not half a minute.
class ScopedLimits {
public:
    ScopedLimits(uint32_t connectMs, uint32_t silenceMs) : saved_(DefaultTransferLimits()) {
        SetDefaultTransferLimits({connectMs, silenceMs});
    }
    ~ScopedLimits() { SetDefaultTransferLimits(saved_); }

private:
    TransferLimits saved_;
};

// An environment variable for one scope; libcurl and the component read them
// when a transfer starts, so change them only while none runs.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), saved_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, saved_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray saved_;
    bool had_;
};
