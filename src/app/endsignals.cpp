#include "app/endsignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The one thing a signal handler can reach is a global; it holds the pipe's write end
// while an EndSignals object lives.
volatile std::sig_atomic_t signalPipe = -1;

void onEndSignal(int sig)
{
    const char byte = static_cast<char>(sig);
    if (signalPipe >= 0) {
        // A full pipe already holds a signal that is still to be read: nothing is lost.
        const ssize_t written = ::write(signalPipe, &byte, 1);
        static_cast<void>(written);
    }
}

constexpr int EndSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

EndSignals::EndSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::pipe(m_pipe) != 0)
        return;
    for (const int fd : m_pipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    signalPipe = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : EndSignalNumbers)
        ::sigaction(sig, &action, nullptr);
}

EndSignals::~EndSignals()
{
    for (const int sig : EndSignalNumbers)
        std::signal(sig, SIG_DFL);
    signalPipe = -1;
    for (const int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void EndSignals::readSignal()
{
    char bytes[16];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
    }
    m_onSignal();
}

#else

EndSignals::EndSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
}

EndSignals::~EndSignals() = default;

void EndSignals::readSignal() {}

#endif
