#pragma once

#include "gpib/busexecutor.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class GpibBackend;

// While the window waits for a bus call, what the user types and clicks must wait too, as
// it would behind a blocking driver, but the window must still repaint. A platform whose
// event loop cannot hold input back by itself (X11 holds the close request back with it)
// gives the bus thread one of these.
class InputHold
{
public:
    virtual ~InputHold() = default;
    // From now on keys and clicks are kept instead of handled.
    virtual void hold() = 0;
    // Hands the kept keys and clicks back to the window, in their order.
    virtual void release() = 0;
};

// The program's one bus thread. Every backend call is posted to it, and the window's
// thread waits for the result in a nested event loop that leaves out user input: the
// window repaints, answers the accessibility bus and shows the busy cursor, while keys and
// clicks wait until the call has returned. The backend is made, used and destroyed on
// this thread, since its sockets belong to the thread that made them.
class BusThread final : public BusExecutor
{
public:
    BusThread();
    // Destroys the backend on the bus thread, then stops the thread.
    ~BusThread() override;
    BusThread(const BusThread &) = delete;
    BusThread &operator=(const BusThread &) = delete;

    // From the window's thread; runs inline when called on the bus thread itself.
    void run(const std::function<void()> &call) override;

    // The backend whose calls cancel() interrupts; owned from now on.
    void adopt(std::unique_ptr<GpibBackend> backend);
    GpibBackend *backend() const { return m_backend.get(); }
    // Destroys the backend on the bus thread (a gateway's links are destroyed).
    void releaseBackend();

    // The busy cursor: `begin` once a wait has lasted `delayMs`, `end` when it is over.
    void setBusyIndicator(std::function<void()> begin, std::function<void()> end, int delayMs);
    void setInputHold(InputHold *hold) { m_hold = hold; }

    // True while the window's thread waits for a call.
    bool waiting() const { return m_depth > 0; }

    // The program must end (its window was closed, or it was told to end). During a wait,
    // the call is cancelled and, once it has returned, `ending` (setEndHandler) runs before
    // the waiting code goes on; it is expected to shut down and end the program. Returns
    // false when no call is awaited: the caller ends the program its usual way.
    bool requestEnd();
    void setEndHandler(std::function<void()> ending) { m_ending = std::move(ending); }

    // Runs `f` on the window's thread once the call under way has returned (at once when
    // none is): news a backend finds during a call waits for the call's own outcome.
    // Safe from the bus thread.
    void afterCall(std::function<void()> f);

private:
    void finishCall();
    void postPending();
    void deliverPending();

    void workLoop();
    void post(std::function<void()> task);

    std::unique_ptr<QThread> m_thread;
    std::mutex m_queueMutex;
    std::condition_variable m_queueReady;
    std::deque<std::function<void()>> m_queue;
    std::atomic<int> m_queued{0};
    bool m_stopping = false;
    QObject m_context;           // the window's thread: what is posted there dies with us
    std::unique_ptr<GpibBackend> m_backend;
    InputHold *m_hold = nullptr;
    std::function<void()> m_busyBegin;
    std::function<void()> m_busyEnd;
    int m_busyDelayMs = 0;
    std::function<void()> m_ending;
    int m_depth = 0;
    bool m_endRequested = false;
    bool m_endRunning = false;

    std::mutex m_pendingMutex;
    std::vector<std::function<void()>> m_pending;
};
