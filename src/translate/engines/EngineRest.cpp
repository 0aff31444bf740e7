#include "translate/engines/EngineRest.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {

constexpr int kMostStrikes = 32;

std::optional<RestReason> ReasonOf(const EngineFailure& failure) {
    switch (failure.kind) {
    case FailureKind::Refused:
        if (failure.status == 429 || failure.status == 403)
            return RestReason::Busy;
        return std::nullopt;
    case FailureKind::Unreachable:
    case FailureKind::Silent:
        return RestReason::Down;
    case FailureKind::Unreadable:
    case FailureKind::NotOffered:
        break;
    }
    return std::nullopt;
}

qint64 LongestRest(RestReason reason) {
    return reason == RestReason::Busy ? kBusyLongestRestMs : kDownLongestRestMs;
}

qint64 FirstRest(RestReason reason) {
    return reason == RestReason::Busy ? kBusyFirstRestMs : kDownFirstRestMs;
}

QLatin1String ReasonName(RestReason reason) {
    return reason == RestReason::Busy ? QLatin1String("busy") : QLatin1String("down");
}

bool KnownEngine(const QString& name) {
    return name == QLatin1String("google") || name == QLatin1String("bing") ||
           name == QLatin1String("libretranslate") || name == QLatin1String("llm");
}

} // namespace

std::optional<EngineRest> RestAfter(const std::optional<EngineRest>& before,
                                    const EngineFailure& failure, qint64 nowMs) {
    const std::optional<RestReason> reason = ReasonOf(failure);
    if (!reason)
        return std::nullopt;
    const qint64 longest = LongestRest(*reason);
    EngineRest rest;
    rest.reason = *reason;
    const bool inARow = before && before->reason == *reason && nowMs - before->untilMs < longest;
    rest.strikes = inARow ? std::min(before->strikes + 1, kMostStrikes) : 1;
    qint64 length = FirstRest(*reason);
    for (int i = 1; i < rest.strikes && length < longest; ++i)
        length *= 2;
    if (*reason == RestReason::Busy && failure.retryAfterSecs >= 0)
        length = qint64(failure.retryAfterSecs) * 1000;
    rest.untilMs = nowMs + std::min(length, longest);
    return rest;
}

bool IsResting(const EngineRest& rest, qint64 nowMs) {
    return nowMs < rest.untilMs;
}

int RetryAfterSeconds(QStringView rawHeaders, qint64 nowMs) {
    for (QStringView line : rawHeaders.split(u'\n')) {
        line = line.trimmed();
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0 ||
            line.first(colon).trimmed().compare(u"Retry-After", Qt::CaseInsensitive) != 0)
            continue;
        const QStringView value = line.sliced(colon + 1).trimmed();
        bool ok = false;
        const qint64 seconds = value.toLongLong(&ok);
        if (ok)
            return seconds < 0 ? -1 : int(std::min<qint64>(seconds, 1 << 30));
        // HTTP dates name their zone "GMT", which the parser does not take.
        QString date = value.toString();
        if (date.endsWith(QLatin1String(" GMT")))
            date = date.chopped(3) + QLatin1String("+0000");
        const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
        if (!when.isValid())
            return -1;
        const qint64 left = (when.toMSecsSinceEpoch() - nowMs + 999) / 1000;
        return int(std::clamp<qint64>(left, 0, 1 << 30));
    }
    return -1;
}

QByteArray WriteRests(const RestMap& rests) {
    QJsonObject all;
    for (auto it = rests.begin(); it != rests.end(); ++it)
        all.insert(it.key(), QJsonObject{{QStringLiteral("until"), double(it->untilMs)},
                                         {QStringLiteral("strikes"), it->strikes},
                                         {QStringLiteral("reason"), ReasonName(it->reason)}});
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}

RestMap ReadRests(QByteArrayView bytes, qint64 nowMs) {
    RestMap rests;
    const QJsonObject all = QJsonDocument::fromJson(bytes.toByteArray()).object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        const QString reason = o.value(QLatin1String("reason")).toString();
        const double until = o.value(QLatin1String("until")).toDouble(-1);
        const int strikes = o.value(QLatin1String("strikes")).toInt(0);
        if (!KnownEngine(it.key()) || strikes < 1 || strikes > kMostStrikes || !(until >= 0) ||
            (reason != ReasonName(RestReason::Busy) && reason != ReasonName(RestReason::Down)))
            continue;
        EngineRest rest;
        rest.reason = reason == ReasonName(RestReason::Busy) ? RestReason::Busy : RestReason::Down;
        rest.strikes = strikes;
        // A clock set back, or a file written by hand, never rests an engine
        // longer than its reason allows.
        rest.untilMs = qint64(std::min(until, double(nowMs + LongestRest(rest.reason))));
        rests.insert(it.key(), rest);
    }
    return rests;
}
