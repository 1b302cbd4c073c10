#include "app/wincloserequest.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

WinCloseRequest::WinCloseRequest(std::function<bool()> waiting, std::function<void()> onClose)
    : m_waiting(std::move(waiting)), m_onClose(std::move(onClose))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WinCloseRequest::~WinCloseRequest()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WinCloseRequest::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#ifdef Q_OS_WIN
    if (eventType != "windows_generic_MSG" || !m_waiting())
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    const bool close = msg->message == WM_CLOSE ||
                       (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == SC_CLOSE);
    if (!close)
        return false;
    m_onClose();
    return true;
#else
    static_cast<void>(eventType);
    static_cast<void>(message);
    return false;
#endif
}
