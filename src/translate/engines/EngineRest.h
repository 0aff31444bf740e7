#pragma once

#include "translate/engines/EngineFailure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringView>
#include <optional>

// Why an engine rests: it asked us to slow down (429, 403), or it could not be
// reached at all (unreachable, silent).
enum class RestReason { Busy, Down };

struct EngineRest {
    qint64 untilMs = 0; // milliseconds since the epoch
    int strikes = 0;    // failures of this reason in a row
    RestReason reason = RestReason::Busy;
};

// Rests by engine name.
using RestMap = QMap<QString, EngineRest>;

inline constexpr qint64 kBusyFirstRestMs = 60 * 1000;
inline constexpr qint64 kBusyLongestRestMs = 30 * 60 * 1000;
inline constexpr qint64 kDownFirstRestMs = 5 * 60 * 1000;
inline constexpr qint64 kDownLongestRestMs = 6 * 60 * 60 * 1000;

// The rest that follows a failure: the answer's Retry-After, else the first
// rest of its reason doubled for each failure in a row, up to the reason's
// longest. A failure that long after the last rest ended starts over. None
// for a failure that gives no rest (the rest before, if any, stays).
std::optional<EngineRest> RestAfter(const std::optional<EngineRest>& before,
                                    const EngineFailure& failure, qint64 nowMs);

bool IsResting(const EngineRest& rest, qint64 nowMs);

// The Retry-After of a block of header lines, in seconds: a number of
// seconds, or an HTTP date counted from nowMs (a date past gives 0). -1 when
// absent or unreadable.
int RetryAfterSeconds(QStringView rawHeaders, qint64 nowMs);

// The shared file's text, and its reading: whatever the bytes, only known
// engine names with a reason, a count of strikes and an end no later than the
// reason's longest rest from now are kept.
QByteArray WriteRests(const RestMap& rests);
RestMap ReadRests(QByteArrayView bytes, qint64 nowMs);
