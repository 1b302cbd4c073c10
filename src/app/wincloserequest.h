#pragma once

#include <QAbstractNativeEventFilter>

#include <functional>

// The window's close on Windows while the window waits for a bus call. Qt keeps WM_CLOSE
// back with the user's input during such a wait, so the close would wait for the call;
// the system's close command (the close button, Alt+F4, the taskbar) is seen here
// instead and handed to `onClose` when `waiting` says a call is under way.
class WinCloseRequest final : public QAbstractNativeEventFilter
{
public:
    WinCloseRequest(std::function<bool()> waiting, std::function<void()> onClose);
    ~WinCloseRequest() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message,
                           qintptr *result) override;

private:
    std::function<bool()> m_waiting;
    std::function<void()> m_onClose;
};
