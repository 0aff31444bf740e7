#include "history/HistoryRecorder.h"

#include "history/HistoryStore.h"

#include <QMetaObject>
#include <chrono>
#include <utility>

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
        changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            break; // stopping, and nothing left to write
        const QList<HistoryEntry> entries = std::exchange(queue_, {});
        lock.unlock();
        Write(entries);
        lock.lock();
        written_ += uint64_t(entries.size());
        changed_.notify_all();
    }
    if (!pending_.isEmpty())
        Write({}); // a last try for what failed before
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
                Report(opened.error);
                return;
            }
            store_ = std::move(opened.store);
        }
        const HistoryStatus status = store_->Record(pending_);
        if (status.ok()) {
            pending_.clear();
            lastError_.clear();
            if (store_->CheckpointDue() && Idle())
                store_->Checkpoint();
            return;
        }
        if (!store_->SawDamage()) {
            Report(status.error);
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

HistoryStatus RecordTranslationNow(const QString& path, const HistoryEntry& entry, bool enabled,
                                   QString* notice) {
    if (!enabled)
        return {};
    HistoryOpenResult opened = HistoryStore::Open(path);
    if (notice)
        *notice = opened.notice;
    if (!opened.store)
        return {opened.error};
    HistoryStatus status = opened.store->Record(entry);
    if (status.ok() || !opened.store->SawDamage())
        return status;
    opened.store.reset();
    opened = HistoryStore::Open(path, true);
    if (notice && !opened.notice.isEmpty())
        *notice = opened.notice;
    return opened.store ? opened.store->Record(entry) : HistoryStatus{opened.error};
}
