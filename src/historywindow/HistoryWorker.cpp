#include "historywindow/HistoryWorker.h"

#include "history/HistoryStore.h"

#include <QFileInfo>
#include <QMetaObject>
#include <utility>

HistoryWorker::HistoryWorker(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)) {
    thread_ = std::thread([this] { Run(); });
}

HistoryWorker::~HistoryWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void HistoryWorker::Post(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void HistoryWorker::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (stopping_)
            break;
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        const Access access = Acquire();
        Reply reply = job(access);
        // A file found damaged while in use is opened again with every page
        // checked, which moves it aside.
        if (store_ && store_->SawDamage()) {
            store_.reset();
            thorough_ = true;
        }
        if (reply)
            QMetaObject::invokeMethod(this, std::move(reply), Qt::QueuedConnection);
        lock.lock();
    }
    lock.unlock();
    store_.reset();
}

HistoryWorker::Access HistoryWorker::Acquire() {
    if (store_)
        return {store_.get(), {}};
    if (path_.isEmpty() || !QFileInfo::exists(path_))
        return {};
    HistoryOpenResult opened = HistoryStore::Open(path_, thorough_);
    thorough_ = false;
    if (!opened.notice.isEmpty())
        QMetaObject::invokeMethod(
            this,
            [this, notice = opened.notice] {
                if (OnMessage)
                    OnMessage(notice);
            },
            Qt::QueuedConnection);
    if (!opened.store)
        return {nullptr, opened.error};
    store_ = std::move(opened.store);
    return {store_.get(), {}};
}
