#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

// Worker-thread priorities, in increasing order.
enum TThreadPriority : uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// Nice value (Linux) that a priority maps to; tpNormal is the process's own.
int NiceOfPriority(TThreadPriority priority);

class TauEventThread;

// Owns one worker thread object at a time: starts a fresh thread per run, runs
// its execute handler there and its finish handler on the UI thread, and lets
// the worker run code on the UI thread and wait for it (RunInMainThread).
//
// Stopping never kills a thread: the old worker is detached. From the moment
// ResetWorker returns nothing of it is delivered any more; it leaves at its next
// look at Stopped().
class TauCustomThread : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QObject* Sender)>;

    explicit TauCustomThread(QObject* owner = nullptr);
    ~TauCustomThread() override;

    // Runs the handlers on a new thread. With WaitThread, returns when the
    // worker has finished (true) or the wait timed out (false).
    bool StartWorker();
    // Detaches the current worker and puts a fresh idle one in its place.
    void ResetWorker();
    // Stops delivery to the owner for good (called when the owner is going away).
    void SuspendWorker();

    // From the worker thread: run fn on the UI thread and wait until it has run.
    // Returns false (without running fn) when this worker was stopped.
    // Exceptions thrown by fn are caught on the UI thread and dropped.
    static bool RunInMainThread(const std::function<void()>& fn);
    // From any thread: run fn on the UI thread soon, without waiting.
    static void RunLaterInMainThread(std::function<void()> fn);
    // From the worker thread: true once its worker was stopped.
    static bool Stopped();

    bool Running() const;
    TThreadPriority Priority() const { return priority_; }
    void SetPriority(TThreadPriority priority) { priority_ = priority; }

    bool WaitThread = false;
    int WaitTimeout = 0; // milliseconds; 0 means no limit

    // Handlers used by the next StartWorker. Sender is the owner.
    Handler OnExecute;   // worker thread
    Handler OnException; // UI thread, after OnExecute or OnFinish threw
    Handler OnFinish;    // UI thread, after OnExecute has returned
    Handler OnWaitTimeout;

    // Worker objects in existence in the process (old detached ones included).
    static int LiveCount();
    // Tests only: the next count thread starts fail as when the system has no
    // thread left to give.
    static void FailThreadStartsForTests(int count);

private:
    std::shared_ptr<TauEventThread> current_;
    TThreadPriority priority_ = tpNormal;
    bool suspended_ = false;
};
