// The line protocol between the Windows side and the helper: what a reader
// accepts, and that everything malformed is an error, never a guess.
#include <gtest/gtest.h>
#include <string>
#include "lan/protocol.h"

using namespace lanproto;

namespace {

TEST(LanProtocol, TextSurvivesTheWireWhateverItHolds)
{
    const std::string texts[] = {"", "DOCS", "with space", "tab\there", "line\nbreak", "100% sure", "%41",
                                 "\x7f\x01", "Gr\xc3\xbc\xc3\x9f" "e", "\xe2\x82\xac uro", std::string(5000, 'x')};
    for (const std::string& text : texts) {
        const std::string wire = Escape(text);
        EXPECT_EQ(wire.find_first_of("\t\n\r"), std::string::npos) << text;
        std::string back;
        ASSERT_TRUE(Unescape(wire, &back)) << wire;
        EXPECT_EQ(back, text);
    }
    // A whole reply, records with every kind of text, read back the same.
    const std::vector<Record> shares = {{"DOCS", "0", "Documents"}, {"IPC$", "2147483651", "Remote IPC"},
                                        {"a\tb", "4294967295", "50%\n"}, {"", "1", ""}};
    Reply reply;
    ASSERT_TRUE(ParseReply(Verb::Shares, FormatOk(Verb::Shares, shares), &reply));
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.records, shares);
    ASSERT_TRUE(ParseReply(Verb::Servers, FormatOk(Verb::Servers, {}), &reply));
    EXPECT_TRUE(reply.ok);
    EXPECT_TRUE(reply.records.empty());
    ASSERT_TRUE(ParseReply(Verb::Shares, FormatError(53), &reply));
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, 53u);
}

TEST(LanProtocol, AMalformedReplyIsAnError)
{
    const struct {
        const char* why;
        Verb verb;
        std::string text;
    } rows[] = {
        {"nothing", Verb::Shares, ""},
        {"cut before the first line ends", Verb::Shares, "OK\t1"},
        {"cut after the head", Verb::Shares, "OK\t1\n"},
        {"cut in a record", Verb::Shares, "OK\t1\nDOCS\t0\tDocu"},
        {"no END", Verb::Shares, "OK\t1\nDOCS\t0\tDocs\n"},
        {"END without its LF", Verb::Shares, "OK\t1\nDOCS\t0\tDocs\nEND"},
        {"bytes after END", Verb::Shares, "OK\t0\nEND\nOK\t0\nEND\n"},
        {"more records than counted", Verb::Shares, "OK\t1\nA\t0\ta\nB\t0\tb\nEND\n"},
        {"fewer records than counted", Verb::Shares, "OK\t2\nA\t0\ta\nEND\n"},
        {"too few fields", Verb::Shares, "OK\t1\nDOCS\t0\nEND\n"},
        {"too many fields", Verb::Servers, "OK\t1\nANVIL\tForge\textra\nEND\n"},
        {"type not a number", Verb::Shares, "OK\t1\nDOCS\tdisk\tDocs\nEND\n"},
        {"type negative", Verb::Shares, "OK\t1\nDOCS\t-1\tDocs\nEND\n"},
        {"type past 32 bits", Verb::Shares, "OK\t1\nDOCS\t4294967296\tDocs\nEND\n"},
        {"type empty", Verb::Shares, "OK\t1\nDOCS\t\tDocs\nEND\n"},
        {"type with a sign", Verb::Shares, "OK\t1\nDOCS\t+1\tDocs\nEND\n"},
        {"escape cut short", Verb::Servers, "OK\t1\nAN%4\tx\nEND\n"},
        {"escape not hex", Verb::Servers, "OK\t1\nAN%G1\tx\nEND\n"},
        {"raw control byte", Verb::Servers, "OK\t1\nAN\rVIL\tx\nEND\n"},
        {"not UTF-8", Verb::Servers, "OK\t1\nAN\xff\tx\nEND\n"},
        {"escaped not UTF-8", Verb::Servers, "OK\t1\nAN%C3\tx\nEND\n"},
        {"overlong UTF-8", Verb::Servers, "OK\t1\n\xc0\xaf\tx\nEND\n"},
        {"UTF-8 surrogate", Verb::Servers, "OK\t1\n\xed\xa0\x80\tx\nEND\n"},
        {"count not a number", Verb::Shares, "OK\tmany\nEND\n"},
        {"count past the limit", Verb::Shares, "OK\t100001\n"},
        {"count with spaces", Verb::Shares, "OK\t 1\nA\t0\ta\nEND\n"},
        {"unknown head", Verb::Shares, "YES\t0\nEND\n"},
        {"lower-case head", Verb::Shares, "ok\t0\nEND\n"},
        {"error without a code", Verb::Shares, "ERR\t\n"},
        {"error code zero", Verb::Shares, "ERR\t0\n"},
        {"error code not a number", Verb::Shares, "ERR\tdenied\n"},
        {"error with a trailer", Verb::Shares, "ERR\t5\nmore\n"},
        {"CRLF lines", Verb::Shares, "OK\t0\r\nEND\r\n"},
    };
    for (const auto& row : rows) {
        Reply reply;
        EXPECT_FALSE(ParseReply(row.verb, row.text, &reply)) << row.why;
        EXPECT_FALSE(reply.ok) << row.why;
        EXPECT_TRUE(reply.records.empty()) << row.why;
    }
    // Past the size limit, however well formed.
    std::string huge = "OK\t1\nA\t0\t" + std::string(kMaxReply, 'x') + "\nEND\n";
    Reply reply;
    EXPECT_FALSE(ParseReply(Verb::Shares, huge, &reply));
}

TEST(LanProtocol, RequestsAreReadExactly)
{
    Verb verb;
    std::string argument;
    ASSERT_TRUE(ParseRequest("SHARES\tANVIL", &verb, &argument));
    EXPECT_EQ(verb, Verb::Shares);
    EXPECT_EQ(argument, "ANVIL");
    ASSERT_TRUE(ParseRequest("WORKGROUPS\t", &verb, &argument));
    EXPECT_EQ(verb, Verb::Workgroups);
    EXPECT_EQ(argument, "");
    const std::string round = FormatRequest(Verb::Servers, "IRON WORKS\t%");
    ASSERT_EQ(round.back(), '\n');
    ASSERT_TRUE(ParseRequest(round.substr(0, round.size() - 1), &verb, &argument));
    EXPECT_EQ(verb, Verb::Servers);
    EXPECT_EQ(argument, "IRON WORKS\t%");

    const char* bad[] = {"", "SHARES", "SHARES\tA\tB", "shares\tANVIL", "DELETE\tANVIL", "SHARES\tAN%ZZ",
                         "SHARES\t\xff", "SHARES\tA\r"};
    for (const char* line : bad)
        EXPECT_FALSE(ParseRequest(line, &verb, &argument)) << line;
    EXPECT_FALSE(ParseRequest("SHARES\t" + std::string(kMaxRequest, 'A'), &verb, &argument));
}

} // namespace
