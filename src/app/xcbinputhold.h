#pragma once

#include "gpib/busthread.h"

#include <QAbstractNativeEventFilter>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// Keys and clicks held back on X11 while the window waits for a bus call. Qt's own way
// (an event loop without user input) also holds back the window manager's close request,
// which would then wait for the call; here the close is seen at once and handed to
// `onClose`, and the input is kept and sent back to our own windows, in order, when the
// wait is over. X11 sends back core events only, so the program asks Qt for core input
// (QT_XCB_NO_XI2), which costs it nothing: it has no touch or tablet input.
class XcbInputHold final : public QAbstractNativeEventFilter, public InputHold
{
public:
    // Null when the program does not run on X11.
    static std::unique_ptr<XcbInputHold> create(std::function<void()> onClose);
    ~XcbInputHold() override;

    void hold() override { m_holding = true; }
    void release() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message,
                           qintptr *result) override;

private:
    XcbInputHold(void *connection, uint32_t protocolsAtom, uint32_t deleteAtom,
                 std::function<void()> onClose);

    void *m_connection; // xcb_connection_t, owned by Qt
    uint32_t m_protocolsAtom;
    uint32_t m_deleteAtom;
    std::function<void()> m_onClose;
    bool m_holding = false;
    std::vector<std::array<char, 32>> m_held; // core X events are 32 bytes
};
