#include "gpib/eventwaiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

void QtEventWaiter::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void QtEventWaiter::waitForEvents(Clock::Duration deadline)
{
    const auto remaining = deadline - m_clock.now();
    if (remaining <= Clock::Duration::zero())
        return;
    // Round up, so that the loop does not wake a little early and go round again.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(ms.count(), 1 << 30)));
    if (loop.exec() == -1) {
        // The application is quitting and no event loop runs any more: just wait, rather
        // than spin through event loops that return at once.
        m_clock.sleepFor(remaining);
    }
}
