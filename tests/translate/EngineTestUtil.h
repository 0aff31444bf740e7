#pragma once

// Helpers of the engine tests: engines pointed at the loopback stand-in, and
// one translation run to its end.
#include "ServiceStandIn.h"
#include "translate/TranslateService.h"

#include <QEventLoop>
#include <QTimer>
#include <optional>

inline EngineSettings Engine(const char* name, QString url = {}, QString model = {},
                             QString key = {}, QString authUrl = {}) {
    EngineSettings e;
    e.name = QString::fromLatin1(name);
    e.url = std::move(url);
    e.model = std::move(model);
    e.key = std::move(key);
    e.authUrl = std::move(authUrl);
    return e;
}

// Each engine's usual place on the stand-in.
inline EngineSettings GoogleAt(const ServiceStandIn& s) {
    return Engine("google", s.Url(u"/translate_a/single"));
}
inline EngineSettings BingAt(const ServiceStandIn& s) {
    return Engine("bing", s.Url(u"/translate"), {}, {}, s.Url(u"/translate/auth"));
}
inline EngineSettings LibreAt(const ServiceStandIn& s, QString key = {}) {
    return Engine("libretranslate", s.Url(u"/libre/"), {}, std::move(key));
}
inline EngineSettings LlmAt(const ServiceStandIn& s, QString model, QString key = {}) {
    return Engine("llm", s.Url(u"/v1"), std::move(model), std::move(key));
}

// Starts a translation and waits for its end; none when it would not start
// or never ended.
inline std::optional<TranslateResult> Translate(TranslateService& service, const QString& source,
                                                const QString& target, const QString& text) {
    std::optional<TranslateResult> result;
    QEventLoop loop;
    service.OnFinished = [&](const TranslateResult& r) {
        result = r;
        loop.quit();
    };
    if (!service.Start(source, target, text))
        return std::nullopt;
    if (!result) {
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

inline StandInAnswer Json(const QByteArray& body, int status = 200, HeaderList headers = {}) {
    headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    return StandInReply(body, status, headers);
}
