// The server service's share list as the helper decodes it from the pipe:
// a whole answer in one or many fragments, every comment whole and every
// type exact; and whatever a server sends instead, cut or corrupted, is
// refused without a crash or a runaway allocation.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "lan/helper/srvsvc.h"

using namespace srvsvc;

namespace {

struct Out {
    std::string bytes;
    void U8(uint8_t v) { bytes += static_cast<char>(v); }
    void U16(uint16_t v) { U8(v & 0xFF), U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Align() { while (bytes.size() % 4) U8(0); }
    void String(const std::u16string& s)
    {
        Align();
        U32(static_cast<uint32_t>(s.size() + 1));
        U32(0);
        U32(static_cast<uint32_t>(s.size() + 1));
        for (char16_t c : s)
            U16(c);
        U16(0);
    }
};

struct Row {
    std::u16string name;
    uint32_t type;
    std::u16string comment;
    bool nullName = false, nullComment = false;
};

// The stub of a NetrShareEnum answer as a server sends it.
std::string Stub(const std::vector<Row>& rows, uint32_t status = 0)
{
    Out o;
    o.U32(1);
    o.U32(1);
    o.U32(0x20000);
    o.U32(static_cast<uint32_t>(rows.size()));
    o.U32(rows.empty() ? 0 : 0x20004);
    if (!rows.empty()) {
        o.U32(static_cast<uint32_t>(rows.size()));
        uint32_t ref = 0x20008;
        for (const Row& r : rows) {
            o.U32(r.nullName ? 0 : ref++);
            o.U32(r.type);
            o.U32(r.nullComment ? 0 : ref++);
        }
        for (const Row& r : rows) {
            if (!r.nullName)
                o.String(r.name);
            if (!r.nullComment)
                o.String(r.comment);
        }
    }
    o.Align();
    o.U32(static_cast<uint32_t>(rows.size()));
    o.U32(0x30000);
    o.U32(0);
    o.U32(status);
    return o.bytes;
}

// A packet of `type` carrying `body`, cut into fragments of at most
// `fragment` body bytes.
std::string Packets(uint8_t type, const std::string& body, uint32_t callId, size_t fragment = 4000)
{
    std::string out;
    for (size_t at = 0; at < body.size() || (at == 0 && body.empty());) {
        const std::string part = body.substr(at, fragment);
        const bool first = at == 0, last = at + part.size() >= body.size();
        Out o;
        o.U8(5), o.U8(0), o.U8(type), o.U8((first ? 1 : 0) | (last ? 2 : 0));
        o.U8(0x10), o.U8(0), o.U8(0), o.U8(0);
        const size_t extra = type == 2 ? 8 : 0;
        o.U16(static_cast<uint16_t>(16 + extra + part.size()));
        o.U16(0);
        o.U32(callId);
        if (type == 2) {
            o.U32(static_cast<uint32_t>(body.size()));
            o.U16(0), o.U8(0), o.U8(0);
        }
        out += o.bytes + part;
        at += part.size();
        if (part.empty())
            break;
    }
    return out;
}

const std::vector<Row> kRows = {
    {u"DOCS", 0, u"Documents"},
    {u"PRN$", 0x80000001, u"An administrative printer"},
    {u"IPC$", 0x80000003, u"IPC Service"},
    {u"Gr\u00fc\u00dfe", 0, std::u16string(3000, u'y') + u"\u20ac"},
    {u"EMOJI", 0, u"\U0001F600 and a lone \xD800 surrogate"},
    {u"NULLS", 1, u"", false, true},
    {u"", 2, u"no name", true, false},
};

TEST(Srvsvc, AWholeAnswerInAnyNumberOfFragments)
{
    for (size_t fragment : {4000u, 1000u, 7u}) {
        for (size_t read : {1u, 13u, 65536u}) {
            const std::string wire = Packets(2, Stub(kRows), 9, fragment);
            Reply reply(9);
            Reply::State state = Reply::More;
            for (size_t at = 0; at < wire.size() && state == Reply::More; at += read)
                state = reply.Add(wire.substr(at, read));
            ASSERT_EQ(state, Reply::Done) << fragment << " " << read;
            std::vector<Share> shares;
            uint32_t status = 1;
            ASSERT_TRUE(ParseShareEnum(reply.Body(), &shares, &status));
            EXPECT_EQ(status, 0u);
            ASSERT_EQ(shares.size(), kRows.size());
            EXPECT_EQ(shares[0].name, "DOCS");
            EXPECT_EQ(shares[1].type, 0x80000001u);
            EXPECT_EQ(shares[2].type, 0x80000003u);
            EXPECT_EQ(shares[3].name, "Gr\xc3\xbc\xc3\x9f" "e");
            EXPECT_EQ(shares[3].comment, std::string(3000, 'y') + "\xe2\x82\xac");
            EXPECT_EQ(shares[4].comment, "\xf0\x9f\x98\x80 and a lone \xef\xbf\xbd surrogate");
            EXPECT_EQ(shares[5].comment, "");
            EXPECT_EQ(shares[6].name, "");
            EXPECT_EQ(shares[6].comment, "no name");
        }
    }
    // No shares at all, and the service's own refusal.
    for (uint32_t status : {0u, 5u}) {
        Reply reply(3);
        ASSERT_EQ(reply.Add(Packets(2, Stub({}, status), 3)), Reply::Done);
        std::vector<Share> shares;
        uint32_t got = 99;
        ASSERT_TRUE(ParseShareEnum(reply.Body(), &shares, &got));
        EXPECT_TRUE(shares.empty());
        EXPECT_EQ(got, status);
    }
}

TEST(Srvsvc, WhatIsNotAnAnswerIsRefused)
{
    const std::string good = Packets(2, Stub(kRows), 9);
    auto state = [](const std::string& wire, uint32_t callId = 9) {
        Reply reply(callId);
        return reply.Add(wire);
    };
    std::string other = good;
    other[0] = 4;   // another version
    EXPECT_EQ(state(other), Reply::Bad);
    other = good;
    other[4] = 0x00;   // big-endian integers
    EXPECT_EQ(state(other), Reply::Bad);
    other = good;
    other[8] = 3, other[9] = 0;   // shorter than its own header
    EXPECT_EQ(state(other), Reply::Bad);
    other = good;
    other[10] = 8;   // authentication we never asked for
    EXPECT_EQ(state(other), Reply::Bad);
    EXPECT_EQ(state(good, 10), Reply::Bad) << "another call's answer";
    EXPECT_EQ(state(good + good), Reply::Bad) << "bytes after the last fragment";
    const std::string fragments = Packets(2, Stub(kRows), 9, 100);
    EXPECT_EQ(state(fragments.substr(116)), Reply::Bad) << "no first fragment";
    EXPECT_EQ(state(Packets(3, std::string(8, '\0') + std::string("\x05\x00\x00\x00", 4), 9)), Reply::Done) << "a fault is an answer";
    Reply fault(9);
    fault.Add(Packets(3, std::string(8, '\0') + std::string("\x05\x00\x00\x00", 4), 9));
    EXPECT_EQ(fault.Type(), 3);
    EXPECT_EQ(fault.Fault(), 5u);
}

TEST(Srvsvc, CutOrCorruptedStubsAreRefusedSafely)
{
    const std::string stub = Stub(kRows);
    std::vector<Share> shares;
    uint32_t status;
    for (size_t n = 0; n < stub.size(); ++n)
        EXPECT_FALSE(ParseShareEnum(stub.substr(0, n), &shares, &status)) << "cut at " << n;
    // Every single byte changed: never a crash, never more shares than the
    // bytes could hold.
    for (size_t i = 0; i < stub.size(); ++i) {
        for (unsigned char v : {0x00, 0x7f, 0xff}) {
            std::string bad = stub;
            bad[i] = static_cast<char>(v);
            if (ParseShareEnum(bad, &shares, &status)) {
                EXPECT_LE(shares.size(), bad.size() / 12);
            }
        }
    }
    Out huge;
    huge.U32(1), huge.U32(1), huge.U32(0x20000), huge.U32(0x7FFFFFFF), huge.U32(0x20004), huge.U32(0x7FFFFFFF);
    EXPECT_FALSE(ParseShareEnum(huge.bytes, &shares, &status)) << "a count no answer could hold";
    Out level2;
    level2.U32(2), level2.U32(2), level2.U32(0);
    EXPECT_FALSE(ParseShareEnum(level2.bytes, &shares, &status)) << "another level";
}

TEST(Srvsvc, BindAnswers)
{
    Out ack;
    ack.U16(4280), ack.U16(4280), ack.U32(0x1234);
    ack.U16(13);
    ack.bytes += std::string("\\PIPE\\srvsvc") + '\0';
    while ((ack.bytes.size() + 16) % 4)
        ack.U8(0);
    ack.U8(1), ack.U8(0), ack.U16(0);
    ack.U16(0), ack.U16(0);
    ack.bytes += std::string(20, '\0');
    EXPECT_TRUE(BindAccepted(ack.bytes));
    std::string refused = ack.bytes;
    refused[refused.size() - 24] = 2;   // provider rejection
    EXPECT_FALSE(BindAccepted(refused));
    for (size_t n = 0; n < ack.bytes.size() - 20; ++n)
        EXPECT_FALSE(BindAccepted(ack.bytes.substr(0, n))) << n;

    const std::string bind = BindRequest(1);
    EXPECT_EQ(FragmentLength(bind), bind.size());
    EXPECT_EQ(bind[2], 11) << "a bind";
    const std::string request = ShareEnumRequest(2, "\\\\ANVIL");
    EXPECT_EQ(FragmentLength(request), request.size());
    EXPECT_EQ(request[22], 15) << "NetrShareEnum";
}

TEST(Srvsvc, TextBetweenUtf8AndUtf16)
{
    EXPECT_EQ(Utf16FromUtf8("Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x98\x80"), u"Gr\u00fc\u00dfe \U0001F600");
    EXPECT_EQ(Utf16FromUtf8("bad \xff"), u"bad \uFFFD");
    EXPECT_EQ(Utf8FromUtf16(u"\xDC00 lone"), "\xef\xbf\xbd lone");
}

} // namespace
