#pragma once

#include "history/HistoryEntry.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class HistoryStore;

// Records translations off the caller's thread: Record() only queues, and one
// background thread writes the queue in order (what piled up meanwhile in
// one transaction). The store is opened at the
// first entry, so with the switch off the file is never even made.
class HistoryRecorder : public QObject {
public:
    explicit HistoryRecorder(QString path, bool enabled, QObject* parent = nullptr);
    // Writes everything still queued, then stops.
    ~HistoryRecorder() override;

    // The user's switch: while off, Record() writes nothing.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool IsEnabled() const { return enabled_; }

    // Queues a translation; an entry without text is refused with a message.
    // Entries that could not be written (the history busy or unusable) are
    // tried again with the next ones, up to kMaxPending of them; while other
    // processes keep the history locked, also every kRetryMs on their own,
    // and the destructor waits up to kBusyPatienceMs for them.
    void Record(HistoryEntry entry);
    static constexpr qsizetype kMaxPending = 1000;
    static constexpr int kRetryMs = 100;
    // A history locked this long is reported; a shorter wait is not worth a word.
    static constexpr int kBusyPatienceMs = 30000;
    // Waits until everything queued before the call is written (or failed);
    // false when the time ran out first.
    bool Flush(int timeoutMs);

    // A message to show: a failed write, or an unusable file moved aside.
    // Raised on the thread that made the recorder (it needs an event loop);
    // the same failure is reported once, not for every entry.
    std::function<void(const QString& message)> OnMessage;

private:
    void Run();
    void Write(const QList<HistoryEntry>& entries);
    void Failure(const HistoryStatus& status); // the thread's
    void Report(const QString& message);       // the thread's: the same failure once
    void Post(const QString& message);
    bool Idle();

    const QString path_;
    std::atomic<bool> enabled_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QList<HistoryEntry> queue_;
    uint64_t queued_ = 0;  // entries ever queued
    uint64_t written_ = 0; // entries the thread is done with
    bool stopping_ = false;
    // The thread's own.
    std::unique_ptr<HistoryStore> store_;
    bool thorough_ = false;
    QString lastError_;
    QList<HistoryEntry> pending_;
    bool retrying_ = false; // pending_ waits for a busy history
    std::optional<std::chrono::steady_clock::time_point> busySince_;
    std::thread thread_;
};

// The command line's way, which exits right after: opens the store, records
// and closes it before returning. Nothing happens when `enabled` is false.
// A history that other processes keep locked is tried again until
// HistoryRecorder::kBusyPatienceMs have passed. `notice` receives the message
// of a file moved aside, if any.
HistoryStatus RecordTranslationNow(const QString& path, const HistoryEntry& entry, bool enabled,
                                   QString* notice = nullptr);
