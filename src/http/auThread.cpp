#include "http/auThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

class Dispatcher;

// Process-wide: the live count of worker objects, under one lock that is
// never held while calling out.
std::mutex g_lock;
int g_live = 0;

// Threads still running (detached ones included); waited for at exit so no
// worker outlives the libraries it calls into.
std::mutex g_threadLock;
std::condition_variable g_threadCv;
int g_threads = 0;

// Thread starts that fail on purpose (tests).
std::atomic<int> g_failStarts{0};

// How long a worker spins for the UI thread's answer before it sleeps: waking
// a sleeping thread costs tens of microseconds on an idle machine, more than
// the usual handler takes to run.
constexpr auto kSpinLimit = std::chrono::microseconds(50);

// Waiting busy only pays with a second core to run the other side meanwhile.
bool MayWaitBusy() {
    static const bool several = std::thread::hardware_concurrency() > 1;
    return several;
}

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::User + 0x7FF);

} // namespace

int NiceOfPriority(TThreadPriority priority) {
    switch (priority) {
    case tpIdle:
        return 19;
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpNormal:
        return 0;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -20;
    }
    return 0;
}

// One worker thread object. Shared by the component (current worker), the
// thread itself and queued deliveries, so a detached worker never touches
// freed memory.
class TauEventThread {
public:
    enum class CallState { Idle, Queued, Running, Done };

    explicit TauEventThread(QObject* owner);
    ~TauEventThread();

    void Stop() {
        std::lock_guard lk(m);
        stopped.store(true);
        cv.notify_all();
    }

    QObject* const owner; // sender of the handlers; dereferenced on the UI thread only
    TauCustomThread::Handler onExecute, onException, onFinish;
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{false};

    // Changed under m; read without it by a worker that spins for the answer.
    std::mutex m;
    std::condition_variable cv;
    std::atomic<CallState> state{CallState::Idle};
    const std::function<void()>* call = nullptr; // guarded by m
    bool ran = false;                            // written under m before state becomes Done

    // UI thread only.
    QEventLoop* waitLoop = nullptr;
    bool finishedOnMain = false;
};

namespace {

thread_local TauEventThread* t_worker = nullptr;
thread_local std::shared_ptr<TauEventThread>* t_workerRef = nullptr;

// Runs workers' pending calls and chores on the UI thread: drained in
// customEvent after one posted event, so a burst costs one wake-up. The posted
// event carries nothing; all data goes through our own lock. Lives for the
// whole process (made on the UI thread with the first component).
class Dispatcher : public QObject {
public:
    static Dispatcher& Instance() {
        static Dispatcher* instance = new Dispatcher;
        return *instance;
    }

    void Enqueue(std::shared_ptr<TauEventThread> worker) {
        std::unique_lock lk(m_);
        queue_.push_back(std::move(worker));
        Wake(lk);
    }

    void Later(std::function<void()> chore) {
        std::unique_lock lk(m_);
        chores_.push_back(std::move(chore));
        Wake(lk);
    }

    // At exit, without an event loop.
    void RunChores() {
        std::deque<std::function<void()>> chores;
        {
            std::lock_guard lk(m_);
            chores.swap(chores_);
        }
        for (auto& chore : chores)
            chore();
    }

protected:
    void customEvent(QEvent*) override {
        std::deque<std::shared_ptr<TauEventThread>> batch;
        std::deque<std::function<void()>> chores;
        {
            std::lock_guard lk(m_);
            batch.swap(queue_);
            chores.swap(chores_);
            posted_ = false;
        }
        for (auto& worker : batch)
            Run(*worker);
        for (auto& chore : chores)
            chore();
    }

private:
    void Wake(std::unique_lock<std::mutex>& lk) {
        // Made under our lock so the UI thread's next lock orders its deletion.
        QEvent* event = posted_ ? nullptr : new QEvent(kDeliverEvent);
        posted_ = true;
        lk.unlock();
        if (event)
            QCoreApplication::postEvent(this, event);
    }

    static void Run(TauEventThread& w) {
        const std::function<void()>* fn = nullptr;
        {
            std::lock_guard lk(w.m);
            if (w.state != TauEventThread::CallState::Queued)
                return;
            if (w.stopped.load()) {
                // The worker has left its wait already; its call is gone.
                w.ran = false;
                w.state = TauEventThread::CallState::Done;
                w.cv.notify_all();
                return;
            }
            w.state = TauEventThread::CallState::Running;
            fn = w.call;
        }
        try {
            (*fn)();
        } catch (...) {
            // Handler failures never reach the worker.
        }
        {
            std::lock_guard lk(w.m);
            w.ran = true;
            w.state = TauEventThread::CallState::Done;
        }
        // Outside the lock: a worker that spun and saw Done must not find it taken.
        w.cv.notify_all();
    }

    std::mutex m_;
    std::deque<std::shared_ptr<TauEventThread>> queue_;
    std::deque<std::function<void()>> chores_;
    bool posted_ = false;
};

struct ThreadReaper {
    ~ThreadReaper() {
        {
            std::unique_lock lk(g_threadLock);
            g_threadCv.wait_for(lk, std::chrono::seconds(3), [] { return g_threads == 0; });
        }
        Dispatcher::Instance().RunChores();
    }
} g_reaper;

} // namespace

TauEventThread::TauEventThread(QObject* owner_) : owner(owner_) {
    Dispatcher::Instance();
    std::lock_guard lk(g_lock);
    ++g_live;
}

TauEventThread::~TauEventThread() {
    std::lock_guard lk(g_lock);
    --g_live;
}

void TauCustomThread::RunLaterInMainThread(std::function<void()> fn) {
    Dispatcher::Instance().Later(std::move(fn));
}

bool TauCustomThread::RunInMainThread(const std::function<void()>& fn) {
    TauEventThread* w = t_worker;
    if (!w) {
        fn();
        return true;
    }
    {
        std::unique_lock lk(w->m);
        if (w->stopped.load())
            return false;
        w->call = &fn;
        w->state = TauEventThread::CallState::Queued;
    }
    Dispatcher::Instance().Enqueue(*t_workerRef);
    if (MayWaitBusy()) {
        const auto until = std::chrono::steady_clock::now() + kSpinLimit;
        for (int i = 0; w->state.load() != TauEventThread::CallState::Done && !w->stopped.load();
             ++i) {
            CpuRelax();
            if (i % 64 == 63 && std::chrono::steady_clock::now() > until)
                break;
        }
        if (w->state.load() == TauEventThread::CallState::Done) {
            // ran and the call's effects were written before Done.
            const bool ran = w->ran;
            w->call = nullptr;
            w->state = TauEventThread::CallState::Idle;
            return ran;
        }
    }
    std::unique_lock lk(w->m);
    // Once the UI thread runs the call we wait for its end even when stopped:
    // the call refers to this thread's stack.
    w->cv.wait(lk, [w] {
        return w->state == TauEventThread::CallState::Done ||
               (w->stopped.load() && w->state == TauEventThread::CallState::Queued);
    });
    w->call = nullptr;
    if (w->state != TauEventThread::CallState::Done)
        return false; // left behind in the queue; the UI thread will skip it
    w->state = TauEventThread::CallState::Idle;
    return w->ran;
}

bool TauCustomThread::Stopped() {
    TauEventThread* w = t_worker;
    return w && w->stopped.load();
}

void TauCustomThread::FailThreadStartsForTests(int count) {
    g_failStarts.store(count);
}

int TauCustomThread::LiveCount() {
    std::lock_guard lk(g_lock);
    return g_live;
}

TauCustomThread::TauCustomThread(QObject* owner)
    : QObject(owner), current_(std::make_shared<TauEventThread>(owner)) {}

TauCustomThread::~TauCustomThread() {
    if (current_) {
        current_->Stop();
        if (current_->waitLoop)
            current_->waitLoop->quit();
    }
    current_.reset();
}

bool TauCustomThread::Running() const {
    return current_ && current_->running.load();
}

void TauCustomThread::SuspendWorker() {
    suspended_ = true;
    if (current_) {
        current_->Stop();
        if (current_->waitLoop)
            current_->waitLoop->quit();
    }
}

void TauCustomThread::ResetWorker() {
    if (!current_)
        return;
    auto old = current_;
    old->Stop();
    if (old->waitLoop)
        old->waitLoop->quit();
    current_ = std::make_shared<TauEventThread>(parent());
}

namespace {

// On the UI thread, after the execute step (or in place of a thread that could
// not start). The handlers go afterwards: what they hold must not outlive the run.
void FinishStep(TauEventThread& w) {
    if (w.onFinish) {
        try {
            w.onFinish(w.owner);
        } catch (...) {
            if (w.onException && !w.stopped.load())
                w.onException(w.owner);
        }
    }
    if (w.stopped.load())
        return; // the finish handler stopped or replaced this worker
    w.onExecute = nullptr;
    w.onException = nullptr;
    w.onFinish = nullptr;
    w.finishedOnMain = true;
    if (w.waitLoop)
        w.waitLoop->quit();
}

void ThreadMain(std::shared_ptr<TauEventThread> self, int nice) {
    t_worker = self.get();
    t_workerRef = &self;
    if (nice != 0)
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice); // may be refused: fine
    TauEventThread& w = *self;
    if (w.onExecute && !w.stopped.load()) {
        try {
            w.onExecute(w.owner);
        } catch (...) {
            if (w.onException)
                TauCustomThread::RunInMainThread([&w] { w.onException(w.owner); });
        }
    }
    w.running.store(false);
    TauCustomThread::RunInMainThread([&w] { FinishStep(w); });
    t_worker = nullptr;
    t_workerRef = nullptr;
    self.reset();
    std::lock_guard lk(g_threadLock);
    if (--g_threads == 0)
        g_threadCv.notify_all();
}

// Restarts the wait limit whenever the UI thread gets an event, the timer's
// own excepted.
class WaitRestarter : public QObject {
public:
    explicit WaitRestarter(QTimer* timer) : timer_(timer) {}

protected:
    bool eventFilter(QObject* watched, QEvent*) override {
        if (watched != timer_)
            timer_->start();
        return false;
    }

private:
    QTimer* timer_;
};

} // namespace

bool TauCustomThread::StartWorker() {
    ResetWorker();
    if (suspended_)
        return true;
    auto w = current_;
    w->onExecute = OnExecute;
    w->onException = OnException;
    w->onFinish = OnFinish;
    // Set before the thread runs, so IsBusy never reads false in between.
    w->running.store(true);
    {
        std::lock_guard lk(g_threadLock);
        ++g_threads;
    }
    try {
        if (g_failStarts.load() > 0 && g_failStarts.fetch_sub(1) > 0)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        std::thread(ThreadMain, w, NiceOfPriority(priority_)).detach();
    } catch (const std::system_error&) {
        // No thread, so no transfer: the owner still hears its end, at once,
        // and IsBusy does not stay true.
        w->running.store(false);
        {
            std::lock_guard lk(g_threadLock);
            if (--g_threads == 0)
                g_threadCv.notify_all();
        }
        FinishStep(*w);
        return true;
    }
    if (!WaitThread)
        return true;

    QPointer<TauCustomThread> guard(this);
    // A handler run during the wait may destroy this component: after the wait
    // only locals are touched until the guard says it is still there.
    const int waitTimeout = WaitTimeout;
    QEventLoop loop;
    QTimer timer;
    bool timedOut = false;
    WaitRestarter restarter(&timer);
    if (waitTimeout > 0) {
        timer.setSingleShot(true);
        timer.setInterval(waitTimeout);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        timer.start();
        QCoreApplication::instance()->installEventFilter(&restarter);
    }
    if (!w->finishedOnMain && !w->stopped.load()) {
        w->waitLoop = &loop;
        loop.exec();
        w->waitLoop = nullptr;
    }
    if (waitTimeout > 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(&restarter);
    if (!guard)
        return true; // destroyed while waiting
    if (timedOut && current_ == w && !w->finishedOnMain) {
        ResetWorker();
        if (OnWaitTimeout)
            OnWaitTimeout(parent());
        return false;
    }
    return true;
}
