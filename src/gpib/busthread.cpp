#include "gpib/busthread.h"

#include "bus/backend.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QTimer>

#include <chrono>

// The bus thread waits for its next call on a condition variable rather than in an event
// loop: it needs none (the backends wait for their sockets themselves), and it wakes in a
// few microseconds.
BusThread::BusThread() : m_thread(QThread::create([this] { workLoop(); }))
{
    m_thread->setObjectName(QStringLiteral("gpib"));
    m_thread->start();
}

void BusThread::workLoop()
{
    while (true) {
        // A procedure's next call follows its last within microseconds: staying awake
        // that long spares it the thread's wake-up, which costs tens of microseconds.
        const auto awakeUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
        while (m_queued.load() == 0 && std::chrono::steady_clock::now() < awakeUntil)
            QThread::yieldCurrentThread();
        std::function<void()> task;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueReady.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
            --m_queued;
        }
        task();
    }
}

void BusThread::post(std::function<void()> task)
{
    {
        const std::lock_guard lock(m_queueMutex);
        m_queue.push_back(std::move(task));
        ++m_queued;
    }
    m_queueReady.notify_one();
}

BusThread::~BusThread()
{
    // The window and its cursor may be gone by now.
    m_hold = nullptr;
    m_busyBegin = nullptr;
    m_busyEnd = nullptr;
    releaseBackend();
    {
        const std::lock_guard lock(m_queueMutex);
        m_stopping = true;
    }
    m_queueReady.notify_one();
    m_thread->wait();
}

void BusThread::adopt(std::unique_ptr<GpibBackend> backend)
{
    m_backend = std::move(backend);
}

void BusThread::releaseBackend()
{
    if (!m_backend)
        return;
    std::unique_ptr<GpibBackend> doomed = std::move(m_backend);
    run([&doomed] { doomed.reset(); });
}

void BusThread::setBusyIndicator(std::function<void()> begin, std::function<void()> end,
                                 int delayMs)
{
    m_busyBegin = std::move(begin);
    m_busyEnd = std::move(end);
    m_busyDelayMs = delayMs;
}

void BusThread::run(const std::function<void()> &call)
{
    if (QThread::currentThread() == m_thread.get()) {
        call();
        return;
    }
    // A cancel belongs to the call it was meant for, never to the next one.
    if (m_backend)
        m_backend->allowCalls();
    QEventLoop loop;
    QSemaphore done;
    // The quit is posted before the release, so the loop object outlives the post.
    post([&] {
        call();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        done.release();
    });
    // Most calls return within microseconds: waiting that long here spares the window's
    // thread a trip through its event loop, and the window cannot paint that fast anyway.
    const auto spinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    while (std::chrono::steady_clock::now() < spinUntil) {
        if (done.tryAcquire()) {
            finishCall();
            return;
        }
        QThread::yieldCurrentThread();
    }

    bool busyShown = false;
    QTimer busy;
    busy.setSingleShot(true);
    if (m_busyBegin) {
        QObject::connect(&busy, &QTimer::timeout, &busy, [&] {
            busyShown = true;
            m_busyBegin();
        });
        busy.start(m_busyDelayMs);
    }
    if (m_depth++ == 0 && m_hold)
        m_hold->hold();
    // With an input hold the platform keeps the input itself; otherwise the loop does.
    loop.exec(m_hold ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    // exec() returns at once while the application quits: then simply wait.
    done.acquire();
    busy.stop();
    if (busyShown && m_busyEnd)
        m_busyEnd();
    if (--m_depth == 0 && m_hold)
        m_hold->release();
    finishCall();
}

void BusThread::finishCall()
{
    {
        const std::lock_guard lock(m_pendingMutex);
        if (!m_pending.empty())
            postPending();
    }
    if (m_endRequested && !m_endRunning && m_depth == 0) {
        m_endRunning = true;
        if (m_ending)
            m_ending();
    }
}

bool BusThread::requestEnd()
{
    if (m_endRunning)
        return true; // the end is under way: its own calls must go through
    if (m_depth == 0)
        return false;
    m_endRequested = true;
    if (m_backend)
        m_backend->cancelCalls();
    return true;
}

void BusThread::afterCall(std::function<void()> f)
{
    {
        const std::lock_guard lock(m_pendingMutex);
        m_pending.push_back(std::move(f));
    }
    if (QThread::currentThread() != m_thread.get())
        postPending();
}

void BusThread::postPending()
{
    // Posted, not called: they come after what the returning call leads to at once (the
    // program's own box for a failed call), as they did behind a blocking driver.
    QTimer::singleShot(0, &m_context, [this] { deliverPending(); });
}

void BusThread::deliverPending()
{
    // Never in the middle of another call: the end of that wait posts them again.
    if (m_depth > 0)
        return;
    std::vector<std::function<void()>> pending;
    {
        const std::lock_guard lock(m_pendingMutex);
        pending.swap(m_pending);
    }
    for (auto &f : pending)
        f();
}
