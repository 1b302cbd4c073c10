#include "app/xcbinputhold.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstring>

namespace {

uint32_t atom(xcb_connection_t *c, const char *name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const uint32_t a = reply ? reply->atom : uint32_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

// The events Qt itself counts as user input, besides the close request.
bool isUserInput(uint8_t type)
{
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
        return true;
    default:
        return false;
    }
}

} // namespace

std::unique_ptr<XcbInputHold> XcbInputHold::create(std::function<void()> onClose)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return nullptr;
    std::unique_ptr<XcbInputHold> hold(new XcbInputHold(
        c, atom(c, "WM_PROTOCOLS"), atom(c, "WM_DELETE_WINDOW"), std::move(onClose)));
    QCoreApplication::instance()->installNativeEventFilter(hold.get());
    return hold;
}

XcbInputHold::XcbInputHold(void *connection, uint32_t protocolsAtom, uint32_t deleteAtom,
                           std::function<void()> onClose)
    : m_connection(connection), m_protocolsAtom(protocolsAtom), m_deleteAtom(deleteAtom),
      m_onClose(std::move(onClose))
{
}

XcbInputHold::~XcbInputHold()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool XcbInputHold::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!m_holding || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_CLIENT_MESSAGE) {
        const auto *m = static_cast<const xcb_client_message_event_t *>(message);
        if (m->format != 32 || m->type != m_protocolsAtom || m->data.data32[0] != m_deleteAtom)
            return false;
        m_onClose();
        return true;
    }
    if (!isUserInput(type))
        return false;
    std::array<char, 32> copy;
    std::memcpy(copy.data(), message, copy.size());
    m_held.push_back(copy);
    return true;
}

void XcbInputHold::release()
{
    m_holding = false;
    auto *c = static_cast<xcb_connection_t *>(m_connection);
    for (const auto &bytes : m_held) {
        // Key, button, motion and crossing events name their window at the same place.
        const auto *e = reinterpret_cast<const xcb_key_press_event_t *>(bytes.data());
        xcb_send_event(c, 0, e->event, XCB_EVENT_MASK_NO_EVENT, bytes.data());
    }
    if (!m_held.empty())
        xcb_flush(c);
    m_held.clear();
}
