#include "bus/oncrpc.h"
#include "bus/xdr.h"
#include "support/paramname.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bus/vxi11/vxi11.h"

namespace {

std::string header(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

struct RecordRow
{
    const char *name;
    std::string stream;
    size_t chunk; // bytes fed at a time
    size_t limit;
    std::vector<std::string> records;
    bool failed;
};

class RecordReaderTest : public ::testing::TestWithParam<RecordRow>
{
};

TEST_P(RecordReaderTest, AssemblesRecords)
{
    const RecordRow &row = GetParam();
    oncrpc::RecordReader reader(row.limit);
    bool ok = true;
    for (size_t i = 0; i < row.stream.size(); i += row.chunk)
        ok = reader.feed(std::string_view(row.stream).substr(i, row.chunk));
    std::vector<std::string> got;
    while (auto r = reader.next())
        got.push_back(*r);
    EXPECT_EQ(got, row.records);
    EXPECT_EQ(!ok, row.failed);
    EXPECT_EQ(reader.failed(), row.failed);
}

const std::string two = oncrpc::frameRecord("abc") + oncrpc::frameRecord("");

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordReaderTest,
    ::testing::Values(
        RecordRow{"two_whole", two, 64, 16, {"abc", ""}, false},
        RecordRow{"byte_by_byte", two, 1, 16, {"abc", ""}, false},
        RecordRow{"fragments", header(2) + "ab" + header(0x80000001) + "c", 3, 16, {"abc"}, false},
        RecordRow{"cut_short", header(0x80000005) + "abc", 1, 16, {}, false},
        RecordRow{"at_limit", oncrpc::frameRecord("abcd"), 2, 4, {"abcd"}, false},
        RecordRow{"fragments_over_limit", header(3) + "abc" + header(0x80000002) + "de", 8, 4, {},
                  true},
        RecordRow{"huge_header", header(0xFFFFFFFF), 4, 1 << 20, {}, true}),
    ByName());

TEST(OncRpc, CallRoundTrip)
{
    char device[] = "gpib0,5";
    Create_LinkParms in{};
    in.clientId = 7;
    in.lock_timeout = 1000;
    in.device = device;
    const std::string call = oncrpc::encodeCall(0x1234, DEVICE_CORE, DEVICE_CORE_VERSION,
                                                create_link, xdr::proc<xdr_Create_LinkParms>, &in);
    const auto c = oncrpc::decodeCallHeader(call);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->xid, 0x1234u);
    EXPECT_EQ(c->rpcvers, 2u);
    EXPECT_EQ(c->prog, static_cast<uint32_t>(DEVICE_CORE));
    EXPECT_EQ(c->proc, static_cast<uint32_t>(create_link));
    xdr::Decoded<xdr_Create_LinkParms> out;
    ASSERT_TRUE(oncrpc::decodeArgs(call, *c, out.proc, &out.value));
    EXPECT_EQ(out.value.clientId, 7);
    EXPECT_STREQ(out.value.device, "gpib0,5");
    oncrpc::releaseDecoded(out.proc, &out.value);
    EXPECT_FALSE(oncrpc::decodeArgs(call.substr(0, call.size() - 4), *c, out.proc, &out.value));
    EXPECT_FALSE(oncrpc::decodeCallHeader(call.substr(0, 20)));
}

struct ReplyRow
{
    const char *name;
    std::string reply;
    oncrpc::ReplyStatus status;
    uint32_t low, high;
};

Device_WriteResp writeResp{0, 12};
const auto writeProc = xdr::proc<xdr_Device_WriteResp>;
const std::string success = oncrpc::encodeSuccess(9, writeProc, &writeResp);

class ReplyTest : public ::testing::TestWithParam<ReplyRow>
{
};

TEST_P(ReplyTest, Decodes)
{
    const ReplyRow &row = GetParam();
    Device_WriteResp resp{};
    const oncrpc::Reply r = oncrpc::decodeReply(row.reply, 9, writeProc, &resp);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.low, row.low);
    EXPECT_EQ(r.high, row.high);
    EXPECT_EQ(resp.size, row.status == oncrpc::ReplyStatus::Success ? 12u : 0u);
}

using S = oncrpc::ReplyStatus;
INSTANTIATE_TEST_SUITE_P(
    Rows, ReplyTest,
    ::testing::Values(
        ReplyRow{"success", success, S::Success, 0, 0},
        ReplyRow{"other_xid", oncrpc::encodeSuccess(8, writeProc, &writeResp), S::WrongXid, 0, 0},
        ReplyRow{"results_cut", success.substr(0, success.size() - 2), S::Malformed, 0, 0},
        ReplyRow{"header_cut", success.substr(0, 10), S::Malformed, 0, 0},
        ReplyRow{"a_call", oncrpc::encodeCall(9, 1, 1, 1, writeProc, &writeResp), S::Malformed, 0,
                 0},
        ReplyRow{"prog_unavail", oncrpc::encodeError(9, S::ProgUnavail), S::ProgUnavail, 0, 0},
        ReplyRow{"proc_unavail", oncrpc::encodeError(9, S::ProcUnavail), S::ProcUnavail, 0, 0},
        ReplyRow{"garbage", oncrpc::encodeError(9, S::GarbageArgs), S::GarbageArgs, 0, 0},
        ReplyRow{"mismatch", oncrpc::encodeProgMismatch(9, 1, 3), S::ProgMismatch, 1, 3},
        ReplyRow{"rpc_mismatch", oncrpc::encodeRpcMismatch(9), S::RpcMismatch, 2, 2}),
    ByName());

TEST(OncRpc, OtherRpcVersionIsReportedForDenial)
{
    std::string call = oncrpc::encodeCall(5, 1, 1, 1, writeProc, &writeResp);
    call[11] = 3;
    const auto c = oncrpc::decodeCallHeader(call);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->rpcvers, 3u);
}

} // namespace
