#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a closed terminal) turned into a call on the
// window's thread, so that the program ends as the close of its window ends it: with its
// shut-down sequence, the output switched off and a gateway's links destroyed. The signal
// handler only writes a byte into a pipe; the event loop reads it. Not on Windows, whose
// console events are not signals.
class EndSignals final : public QObject
{
public:
    explicit EndSignals(std::function<void()> onSignal, QObject *parent = nullptr);
    ~EndSignals() override;

private:
    void readSignal();

    std::function<void()> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
};
