// The gateway's interface link: interface clear, remote enable and the listener search,
// with what a gateway does without that link or its commands.
#include "bus/vxi11/vxi11bus.h"

#include "bus/vxi11/vxi11protocol.h"

#include <vector>

using namespace vxi11client;

bool Vxi11Bus::start(std::string &why)
{
    long error = vxi11::NoError;
    m_interfaceLink = createLink(m_interface, error);
    if (m_lost) {
        why = "it did not answer the link to " + m_interface + ": " + m_coreLink->failure();
        return false;
    }
    if (!m_interfaceLink)
        return true; // bus-level calls are then done through the instruments' links
    // A client that holds the interface locked would refuse everything we send.
    Device_LockParms lock{m_interfaceLink->lid, 0, 0};
    xdr::Decoded<xdr_Device_Error> r;
    const auto out = coreCall(device_lock, xdr::proc<xdr_Device_LockParms>, &lock, r.proc, &r.value,
                              m_timing.command, m_interfaceLink->lid);
    if (out == RpcChannel::Outcome::Done && r.value.error == vxi11::Locked) {
        why = "its interface " + m_interface +
              " is locked by another client (VXI-11 error 11, device locked by another link)";
        return false;
    }
    if (out == RpcChannel::Outcome::Done && r.value.error == vxi11::NoError) {
        Device_Link link = m_interfaceLink->lid;
        xdr::Decoded<xdr_Device_Error> u;
        coreCall(device_unlock, xdr::proc<xdr_Device_Link>, &link, u.proc, &u.value,
                 m_timing.command, m_interfaceLink->lid);
    }
    if (m_lost) {
        why = "it did not answer: " + m_coreLink->failure();
        return false;
    }
    return true;
}

Vxi11Bus::Docmd Vxi11Bus::docmd(long cmd, std::string_view data, long datasize, std::string *out)
{
    if (!m_interfaceLink || m_docmdUnsupported.count(cmd))
        return Docmd::Unsupported;
    std::string in(data);
    Device_DocmdParms p{};
    p.lid = m_interfaceLink->lid;
    p.io_timeout = millis(m_timing.command);
    p.cmd = cmd;
    p.network_order = TRUE;
    p.datasize = datasize;
    p.data_in.data_in_len = static_cast<u_int>(in.size());
    p.data_in.data_in_val = in.data();
    xdr::Decoded<decodeDocmdResp> r;
    const auto o = coreCall(device_docmd, xdr::proc<xdr_Device_DocmdParms>, &p, r.proc, &r.value,
                            m_timing.command, m_interfaceLink->lid);
    if (o == RpcChannel::Outcome::Refused ||
        (o == RpcChannel::Outcome::Done && r.value.error == vxi11::NotSupported)) {
        // Gateways implement these commands each on its own: REN may be missing
        // where the listener search works.
        m_docmdUnsupported.insert(cmd);
        return Docmd::Unsupported;
    }
    if (o != RpcChannel::Outcome::Done || r.value.error != vxi11::NoError)
        return Docmd::Failed;
    if (out)
        out->assign(r.value.data_out.data_out_val, r.value.data_out.data_out_len);
    return Docmd::Done;
}

void Vxi11Bus::SendIFC(int board)
{
    if (!boardCallAllowed(board))
        return;
    if (m_lost) {
        linkFailed();
        return;
    }
    // A gateway without an interface link pulses IFC itself when it starts.
    if (docmd(vxi11::CmdIfc, {}, 0, nullptr) == Docmd::Failed) {
        linkFailed();
        return;
    }
    done(0);
}

int Vxi11Bus::ibsre(int board, int value)
{
    if (board != 0)
        return failed(gpib::ENEB);
    if (m_lost)
        return linkFailed();
    const bool on = value != 0;
    m_remote = false;
    switch (docmd(vxi11::CmdRen, shortWord(on ? 1 : 0), 2, nullptr)) {
    case Docmd::Done:
        return done(0); // REN is on the bus: instruments go remote as they are addressed
    case Docmd::Failed:
        return linkFailed();
    case Docmd::Unsupported:
        break;
    }
    // Without the interface: each instrument's link goes remote, now and when it is made.
    m_remote = on;
    for (const auto &[pad, link] : m_remote ? m_links : std::map<int, Link>()) {
        remote(link.lid);
        if (m_lost)
            return linkFailed();
    }
    return done(0);
}

// On the interface link: address the one listener, with the controller as talker, and
// see whether anybody holds NDAC. nullopt when the gateway failed; `unsupported` when it
// has no such commands.
std::optional<int> Vxi11Bus::listenerByNdac(int pad, int controller, bool &unsupported)
{
    const std::string addressing = {Unlisten, static_cast<char>(0x40 | controller),
                                    static_cast<char>(0x20 | pad)};
    std::string status;
    Docmd d = docmd(vxi11::CmdSendCommand, addressing, 1, nullptr);
    if (d == Docmd::Done)
        d = docmd(vxi11::CmdBusStatus, shortWord(StatusNdac), 2, &status);
    unsupported = d == Docmd::Unsupported;
    if (d != Docmd::Done || status.size() < 2)
        return std::nullopt;
    return (static_cast<unsigned char>(status[0]) << 8) | static_cast<unsigned char>(status[1]);
}

// Without the interface: a listener is one that answers a short serial poll. A link made
// for the poll alone is given up again when nobody answered.
std::optional<bool> Vxi11Bus::probe(int pad)
{
    const bool had = m_links.count(pad) != 0;
    const std::optional<Link> link = deviceLink(pad);
    if (!link)
        return m_lost ? std::nullopt : std::optional<bool>(false);
    Device_GenericParms g{link->lid, 0, 0, millis(m_timing.probe)};
    xdr::Decoded<xdr_Device_ReadStbResp> r;
    const auto o = coreCall(device_readstb, xdr::proc<xdr_Device_GenericParms>, &g, r.proc,
                            &r.value, m_timing.probe, link->lid);
    if (m_lost)
        return std::nullopt;
    const bool answered = o == RpcChannel::Outcome::Done && r.value.error == vxi11::NoError;
    if (!answered && !had) {
        destroyLink(link->lid);
        m_links.erase(pad);
    }
    if (m_lost)
        return std::nullopt;
    return answered;
}

void Vxi11Bus::FindLstn(int board, const uint16_t *addressList, uint16_t *resultList, int limit)
{
    if (!listenerSearchAllowed(board, addressList, resultList, limit))
        return;
    if (m_lost) {
        linkFailed();
        return;
    }
    int controller = 0;
    std::string own;
    bool unsupported = docmd(vxi11::CmdBusStatus, shortWord(StatusBusAddress), 2, &own) ==
                       Docmd::Unsupported;
    if (own.size() >= 2)
        controller = static_cast<unsigned char>(own[1]) & 0x1F;
    std::vector<uint16_t> found;
    for (const uint16_t *a = addressList; *a != gpib::NOADDR && !m_lost; ++a) {
        const int pad = *a & 0xFF;
        if ((*a >> 8) != 0 || pad > gpib::MaxPad)
            continue; // the links address no secondary addresses
        bool present = pad == 0; // the interface itself listens at its own address 0
        if (pad != 0 && !unsupported) {
            const std::optional<int> ndac = listenerByNdac(pad, controller, unsupported);
            present = ndac && *ndac != 0;
        }
        if (pad != 0 && unsupported)
            present = probe(pad).value_or(false);
        if (present)
            found.push_back(*a);
    }
    if (!unsupported)
        docmd(vxi11::CmdSendCommand, std::string{Unlisten, Untalk}, 1, nullptr);
    if (m_lost) {
        linkFailed();
        return;
    }
    deliverListenersOrBusError(found, resultList, limit);
}
