#pragma once

#include "history/HistoryEntry.h"

#include <QByteArray>

// One entry as a line of JSON (UTF-8, ending in "\n"): source, target, from,
// to, engine, time (ISO 8601 in UTC, with milliseconds) and starred.
QByteArray HistoryJsonLine(const HistoryEntry& entry);
