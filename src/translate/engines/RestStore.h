#pragma once

#include "translate/engines/EngineRest.h"

// The engines' rests, kept in one file that every process of the user shares
// (the window, later starts, the command line). Each change reads the file,
// changes one engine and writes it back atomically, under a lock beside it;
// a file that cannot be read counts as no rests. Without a file the rests
// last as long as this object.
class RestStore {
public:
    explicit RestStore(QString file);

    RestMap Load(qint64 nowMs) const;
    void Failed(const QString& engine, const EngineFailure& failure, qint64 nowMs);
    // A success ends the rest, and the count of failures in a row.
    void Succeeded(const QString& engine, qint64 nowMs);

private:
    template <class Change> void Update(qint64 nowMs, const Change& change);

    QString file_;
    RestMap memory_;
};

// Most bytes of the file that are read; a longer one is not ours.
inline constexpr qsizetype kMaxRestFileSize = 64 * 1024;
