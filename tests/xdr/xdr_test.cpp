// Our XDR (src/xdr) against the bytes libtirpc gives for the same messages, and its bounds
// on what it decodes. Built without libtirpc, so it runs on Windows too.
#include "support/paramname.h"

#include <gtest/gtest.h>

#include <rpc/pmap_prot.h>
#include <rpc/rpc.h>

#include <string>

#include "bus/vxi11/vxi11.h"

namespace {

constexpr uint32_t Denied = 100; // a reply's row: denied for the RPC version
const auto readProc = reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp);

// A call (with create_link's or GETPORT's arguments), or a reply.
struct Message
{
    bool call;
    bool decoded = false;
    rpc_msg msg{};
    Create_LinkParms link{};
    Device_ReadResp read{};
    pmap map{};

    // The row's values: `what` is the program called, or the reply's accept status.
    void fill(uint32_t what)
    {
        msg = {0x01020304, call ? CALL : REPLY, {}};
        link = {-2, TRUE, 0xFFFFFFFFu, const_cast<char *>("inst0")};
        read = {4, 2, {3, const_cast<char *>("abc")}};
        map = {DEVICE_CORE, DEVICE_CORE_VERSION, 6, 0};
        if (call) {
            const bool mapper = what == PMAPPROG;
            msg.rm_call = {2, what, mapper ? 2u : 1u, mapper ? 3u : 10u, {}, {}};
        } else if (what == Denied) {
            msg.rm_reply.rp_stat = MSG_DENIED;
            msg.rjcted_rply.rj_vers = {2, 2};
        } else if (what == SUCCESS) {
            msg.acpted_rply.ar_results = {reinterpret_cast<caddr_t>(&read), readProc};
        } else {
            msg.acpted_rply.ar_stat = static_cast<accept_stat>(what);
            msg.acpted_rply.ar_vers = {1, 3};
        }
    }
    ~Message()
    {
        if (decoded) {
            xdr_free(reinterpret_cast<xdrproc_t>(xdr_Create_LinkParms), &link);
            xdr_free(readProc, &read);
        }
    }
};

bool_t code(XDR *x, Message *m)
{
    if (!m->call) {
        if (x->x_op == XDR_DECODE) // into the read's results, should it be a success
            m->msg.acpted_rply.ar_results = {reinterpret_cast<caddr_t>(&m->read), readProc};
        return xdr_replymsg(x, &m->msg);
    }
    return xdr_callmsg(x, &m->msg) &&
           (m->msg.rm_call.cb_prog == PMAPPROG ? xdr_pmap(x, &m->map)
                                               : xdr_Create_LinkParms(x, &m->link));
}

std::string bytesOf(std::string hexWords)
{
    std::string out;
    for (size_t i = 0; i + 1 < hexWords.size(); i += hexWords[i] == ' ' ? 1 : 2)
        if (hexWords[i] != ' ')
            out += static_cast<char>(std::stoi(hexWords.substr(i, 2), nullptr, 16));
    return out;
}

std::string encode(Message &m)
{
    std::string out(1024, '\0');
    XDR x;
    xdrmem_create(&x, out.data(), static_cast<u_int>(out.size()), XDR_ENCODE);
    out.resize(code(&x, &m) ? XDR_GETPOS(&x) : 0);
    return out;
}

bool decodes(const std::string &bytes, Message &m)
{
    XDR x;
    xdrmem_create(&x, const_cast<char *>(bytes.data()), static_cast<u_int>(bytes.size()),
                  XDR_DECODE);
    m.decoded = true;
    return code(&x, &m);
}

struct Row
{
    const char *name;
    bool call;
    uint32_t what;
    std::string golden; // libtirpc's bytes
};

class XdrTest : public ::testing::TestWithParam<Row>
{
};

// Encoded as libtirpc does, and decoded back to the same; cut short anywhere, it does not
// decode.
TEST_P(XdrTest, EncodesAsLibtirpcAndDecodesOnlyWhole)
{
    Message m{GetParam().call};
    m.fill(GetParam().what);
    const std::string bytes = encode(m);
    EXPECT_EQ(bytes, bytesOf(GetParam().golden));
    EXPECT_EQ(xdr_sizeof(reinterpret_cast<xdrproc_t>(code), &m), bytes.size());
    for (size_t n = 0; n < bytes.size(); ++n) {
        Message cut{m.call};
        EXPECT_FALSE(decodes(bytes.substr(0, n), cut)) << n;
    }
    Message d{m.call};
    ASSERT_TRUE(decodes(bytes, d));
    EXPECT_EQ(encode(d), bytes);
}

const std::string linkCall = "01020304 00000000 00000002 000607af 00000001 0000000a 00000000 "
                             "00000000 00000000 00000000 fffffffe 00000001 ffffffff 00000005 "
                             "696e7374 30000000";
const std::string readReply = "01020304 00000001 00000000 00000000 00000000 00000000 00000004 "
                              "00000002 00000003 61626300";

INSTANTIATE_TEST_SUITE_P(
    Rows, XdrTest,
    ::testing::Values(
        Row{"create_link", true, DEVICE_CORE, linkCall},
        Row{"getport", true, PMAPPROG,
            "01020304 00000000 00000002 000186a0 00000002 00000003 00000000 00000000 "
            "00000000 00000000 000607af 00000001 00000006 00000000"},
        Row{"read_success", false, SUCCESS, readReply},
        Row{"prog_mismatch", false, PROG_MISMATCH,
            "01020304 00000001 00000000 00000000 00000000 00000002 00000001 00000003"},
        Row{"rpc_mismatch", false, Denied,
            "01020304 00000001 00000001 00000000 00000002 00000002"}),
    ByName());

// A length beyond the bytes left, or beyond the field's limit, fails before anything is
// allocated for it; so does a call of another RPC version.
TEST(Xdr, RefusesBeforeAllocating)
{
    const std::string link = bytesOf(linkCall), read = bytesOf(readReply);
    const std::pair<bool, std::string> rows[] = {
        {false, read.substr(0, 32) + bytesOf("7ffffff0") + read.substr(36)},
        {true, link.substr(0, 52) + bytesOf("ffffffff") + link.substr(56)}, // no room for NUL
        {true, link.substr(0, 11) + '\3' + link.substr(12)},                // RPC version 3
        // credentials of 404 bytes, all there: over the 400 allowed
        {true, link.substr(0, 28) + bytesOf("00000194") + std::string(404, 'x') + link.substr(32)},
    };
    for (const auto &[call, bytes] : rows) {
        Message d{call};
        EXPECT_FALSE(decodes(bytes, d));
        EXPECT_EQ(d.read.data.data_val, nullptr);
        EXPECT_EQ(d.link.device, nullptr);
        EXPECT_EQ(d.msg.rm_call.cb_cred.oa_base, nullptr);
    }
}

} // namespace
