#pragma once

#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class HistoryStore;

// The history file as a window uses it: every search and change runs on a
// thread of its own, one after another in the order posted, so the window
// never waits on the file (a search through a large history, another
// process holding the file). The store is opened at the first job and kept
// while the worker lives.
class HistoryWorker : public QObject {
public:
    explicit HistoryWorker(QString path, QObject* parent = nullptr);
    // Lets the job that runs finish; the others and every reply are dropped.
    ~HistoryWorker() override;

    // What a job gets. No store and no error: there is no history file yet
    // (reading never makes one). No store and an error: it cannot be opened
    // now; the next job tries again.
    struct Access {
        HistoryStore* store = nullptr;
        QString error;
    };
    // A job runs on the worker's thread and may return a reply, which runs
    // on the thread that made the worker. Neither may touch the other's data.
    using Reply = std::function<void()>;
    using Job = std::function<Reply(const Access& access)>;
    void Post(Job job);

    // A history file that was moved aside on opening (raised on the thread
    // that made the worker).
    std::function<void(const QString& message)> OnMessage;

private:
    void Run();
    Access Acquire();

    const QString path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    // The thread's own.
    std::unique_ptr<HistoryStore> store_;
    bool thorough_ = false;
    std::thread thread_;
};
