#include "gpib/busthread.h"

#include "bus/backend.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QTimer>

#include <chrono>

BusThread::BusThread()
{
    m_thread.setObjectName(QStringLiteral("gpib"));
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

BusThread::~BusThread()
{
    // The window and its cursor may be gone by now.
    m_hold = nullptr;
    m_busyBegin = nullptr;
    m_busyEnd = nullptr;
    releaseBackend();
    m_thread.quit();
    m_thread.wait();
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
    if (QThread::currentThread() == &m_thread) {
        call();
        return;
    }
    // A cancel belongs to the call it was meant for, never to the next one.
    if (m_backend)
        m_backend->allowCalls();
    QEventLoop loop;
    QSemaphore done;
    // The quit is posted before the release, so the loop object outlives the post.
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            call();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            done.release();
        },
        Qt::QueuedConnection);
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
    if (QThread::currentThread() != &m_thread)
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
