#include "history/HistoryRecorder.h"

#include "history/HistoryStore.h"

#include <QMetaObject>
#include <chrono>
#include <thread>
#include <utility>

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

HistoryRecorder::HistoryRecorder(QString path, bool enabled, QObject* parent)
    : QObject(parent), path_(std::move(path)), enabled_(enabled) {
    thread_ = std::thread([this] { Run(); });
}

HistoryRecorder::~HistoryRecorder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HistoryRecorder::Record(HistoryEntry entry) {
    if (!enabled_)
        return;
    if (entry.source.trimmed().isEmpty() || entry.target.trimmed().isEmpty()) {
        Post(QStringLiteral("没有可记录的原文或译文。"));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        queue_.append(std::move(entry));
        ++queued_;
    }
    changed_.notify_all();
}

bool HistoryRecorder::Flush(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const uint64_t target = queued_;
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return written_ >= target; });
}

void HistoryRecorder::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto woken = [&] { return stopping_ || !queue_.empty(); };
        if (retrying_)
            changed_.wait_for(lock, std::chrono::milliseconds(kRetryMs), woken);
        else
            changed_.wait(lock, woken);
        if (stopping_ && queue_.empty())
            break;
        const QList<HistoryEntry> entries = std::exchange(queue_, {});
        lock.unlock();
        Write(entries);
        lock.lock();
        written_ += uint64_t(entries.size());
        changed_.notify_all();
    }
    lock.unlock();
    // What failed before gets a last try; a history that other processes
    // keep locked is waited for, within bounds, so closing loses no entry.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kBusyPatienceMs);
    while (!pending_.isEmpty()) {
        Write({});
        if (pending_.isEmpty() || !retrying_ || Clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    store_.reset();
}

void HistoryRecorder::Write(const QList<HistoryEntry>& entries) {
    // What failed before goes first, so the order stays; a history that stays
    // unusable keeps only the latest entries waiting.
    pending_ << entries;
    if (pending_.size() > kMaxPending)
        pending_.remove(0, pending_.size() - kMaxPending);
    // A file found damaged while in use is opened again with every page
    // checked, which moves it aside; the entries then go to the new file.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!store_) {
            HistoryOpenResult opened = HistoryStore::Open(path_, thorough_);
            thorough_ = false;
            if (!opened.notice.isEmpty())
                Report(opened.notice);
            if (!opened.store) {
                Failure({opened.error, opened.busy});
                return;
            }
            store_ = std::move(opened.store);
        }
        const HistoryStatus status = store_->Record(pending_);
        if (status.ok()) {
            pending_.clear();
            lastError_.clear();
            retrying_ = false;
            busySince_.reset();
            if (store_->CheckpointDue() && Idle())
                store_->Checkpoint();
            return;
        }
        if (!store_->SawDamage()) {
            Failure(status);
            return;
        }
        store_.reset();
        thorough_ = true;
    }
}

bool HistoryRecorder::Idle() {
    std::lock_guard lock(mutex_);
    return queue_.isEmpty();
}

void HistoryRecorder::Failure(const HistoryStatus& status) {
    retrying_ = status.busy && !pending_.isEmpty();
    if (!status.busy) {
        busySince_.reset();
    } else {
        const Clock::time_point now = Clock::now();
        if (!busySince_)
            busySince_ = now;
        if (now - *busySince_ < std::chrono::milliseconds(kBusyPatienceMs))
            return; // most likely written at the next try
    }
    Report(status.error);
}

void HistoryRecorder::Report(const QString& message) {
    if (message == lastError_)
        return;
    lastError_ = message;
    Post(message);
}

void HistoryRecorder::Post(const QString& message) {
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (OnMessage)
                OnMessage(message);
        },
        Qt::QueuedConnection);
}

namespace {

HistoryStatus RecordOnce(const QString& path, const HistoryEntry& entry, QString* notice) {
    HistoryOpenResult opened = HistoryStore::Open(path);
    if (notice && !opened.notice.isEmpty())
        *notice = opened.notice;
    if (!opened.store)
        return {opened.error, opened.busy};
    HistoryStatus status = opened.store->Record(entry);
    if (status.ok() || !opened.store->SawDamage())
        return status;
    opened.store.reset();
    opened = HistoryStore::Open(path, true);
    if (notice && !opened.notice.isEmpty())
        *notice = opened.notice;
    return opened.store ? opened.store->Record(entry) : HistoryStatus{opened.error, opened.busy};
}

} // namespace

HistoryStatus RecordTranslationNow(const QString& path, const HistoryEntry& entry, bool enabled,
                                   QString* notice) {
    if (notice)
        notice->clear();
    if (!enabled)
        return {};
    // One try waits out SQLite's busy timeout; a run that exits right after
    // must not lose its entry to a longer spell of other writers.
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(HistoryRecorder::kBusyPatienceMs);
    for (;;) {
        const HistoryStatus status = RecordOnce(path, entry, notice);
        if (!status.busy || Clock::now() >= deadline)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(HistoryRecorder::kRetryMs));
    }
}
