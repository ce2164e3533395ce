// The line protocol between the Windows side and the helper: what a reader
// accepts, that everything malformed is an error, never a guess, and that
// only the holder of the key is heard, in either direction.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "lan/common/hmac.h"
#include "lan/common/protocol.h"

using namespace lanproto;

namespace {

const std::string kKey(kKeyBytes, '\x5a');
const std::string kNonce = "0123456789abcdef0123456789abcdef";

// A reply's text with each '@' replaced by the MAC of what precedes it, as
// the helper would sign it: so a row is malformed for what it shows, not
// for a missing MAC.
std::string Signed(const std::string& text, const std::string& key = kKey, const std::string& nonce = kNonce)
{
    std::string out;
    for (char c : text)
        out += c == '@' ? ToHex(HmacSha256(key, "reply\n" + nonce + '\n' + out)) : std::string(1, c);
    return out;
}

// The same cases on both sides: this test is built natively (Nettle) and
// for Windows, run under Wine (bcrypt).
TEST(LanProtocol, MacsAreTheStandardOnes)
{
    std::string counting;
    for (char c = 1; c <= 25; ++c)
        counting += c;
    // RFC 4231, section 4: every case, HMAC-SHA-256 (case 5 is cut to 128 bits).
    const struct {
        std::string key, data, mac;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {counting, std::string(50, '\xcd'), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        {std::string(20, '\x0c'), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(131, '\xaa'),
         "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
         "hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    };
    int n = 0;
    for (const auto& c : cases) {
        ++n;
        const std::string mac = ToHex(HmacSha256(c.key, c.data));
        ASSERT_EQ(mac.size(), 64u) << "case " << n;
        EXPECT_EQ(mac.substr(0, c.mac.size()), c.mac) << "case " << n;
    }
}

TEST(LanProtocol, MacsAreComparedWhole)
{
    const std::string mac(32, '\x5a');
    std::string first = mac, last = mac;
    first[0] = static_cast<char>(first[0] ^ 1);
    last[31] = static_cast<char>(last[31] ^ 0x80);
    const struct {
        std::string other;
        bool same;
    } rows[] = {{mac, true}, {first, false}, {last, false}, {mac.substr(0, 31), false}, {mac + '\x5a', false},
                {"", false}};
    for (const auto& r : rows)
        EXPECT_EQ(SameBytes(mac, r.other), r.same) << ToHex(r.other);
    EXPECT_TRUE(SameBytes("", ""));
}

TEST(LanProtocol, TextSurvivesTheWireWhateverItHolds)
{
    const std::string texts[] = {"", "DOCS", "with space", "tab\there", "line\nbreak", "100% sure", "%41",
                                 "\x7f\x01", "Gr\xc3\xbc\xc3\x9f" "e", "\xe2\x82\xac uro", std::string(5000, 'x'),
                                 "not \xff UTF-8"};
    for (const std::string& text : texts) {
        const std::string wire = Escape(text);
        EXPECT_EQ(wire.find_first_of("\t\n\r"), std::string::npos) << text;
        std::string back;
        ASSERT_TRUE(Unescape(wire, &back)) << wire;
        EXPECT_EQ(back, text);
    }
    // A whole reply, records with every kind of text, read back the same;
    // text that is not UTF-8 too: it is shown, not refused.
    const std::vector<Record> shares = {{"DOCS", "0", "Documents"}, {"IPC$", "2147483651", "Remote IPC"},
                                        {"a\tb", "4294967295", "50%\n"}, {"", "1", ""},
                                        {"W\xfc", "0", std::string(3000, 'c') + "\xc3"}};
    Reply reply;
    ASSERT_EQ(ParseReply(kKey, kNonce, Verb::Shares, FormatOk(kKey, kNonce, Verb::Shares, shares), &reply), Read::Ok);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.records, shares);
    ASSERT_EQ(ParseReply(kKey, kNonce, Verb::Servers, FormatOk(kKey, kNonce, Verb::Servers, {}), &reply), Read::Ok);
    EXPECT_TRUE(reply.ok);
    EXPECT_TRUE(reply.records.empty());
    ASSERT_EQ(ParseReply(kKey, kNonce, Verb::Shares, FormatError(kKey, kNonce, 6118), &reply), Read::Ok);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, 6118u);
}

TEST(LanProtocol, OnlyTheHolderOfTheKeyIsHeard)
{
    const std::string other(kKeyBytes, '\x5b');
    const std::string good = FormatOk(kKey, kNonce, Verb::Shares, {{"DOCS", "0", "Documents"}});
    std::string tampered = good;
    tampered.replace(tampered.find("Documents"), 9, "Documentz");
    const struct {
        const char* why;
        std::string key, nonce, text;
    } replies[] = {
        {"signed with another key", kKey, kNonce, FormatOk(other, kNonce, Verb::Shares, {})},
        {"an error signed with another key", kKey, kNonce, FormatError(other, kNonce, 5)},
        {"the answer to another request", kKey, kNonce,
         FormatOk(kKey, "ffffffffffffffffffffffffffffffff", Verb::Shares, {})},
        {"a record changed on the way", kKey, kNonce, tampered},
        {"read with another key", other, kNonce, good},
    };
    for (const auto& r : replies) {
        Reply reply;
        EXPECT_EQ(ParseReply(r.key, r.nonce, Verb::Shares, r.text, &reply), Read::WrongKey) << r.why;
        EXPECT_FALSE(reply.ok) << r.why;
        EXPECT_TRUE(reply.records.empty()) << r.why;
    }

    const std::string request = FormatRequest(kKey, Verb::Shares, "ANVIL", kNonce);
    Verb verb;
    std::string argument, nonce;
    EXPECT_EQ(ParseRequest(other, request.substr(0, request.size() - 1), &verb, &argument, &nonce), Read::WrongKey);
    std::string forged = request.substr(0, request.size() - 1);
    forged.replace(forged.find("ANVIL"), 5, "ANVIM");
    EXPECT_EQ(ParseRequest(kKey, forged, &verb, &argument, &nonce), Read::WrongKey);
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
        {"END without its MAC", Verb::Shares, "OK\t1\nDOCS\t0\tDocs\nEND\n"},
        {"END without its LF", Verb::Shares, "OK\t1\nDOCS\t0\tDocs\nEND\t@"},
        {"bytes after END", Verb::Shares, "OK\t0\nEND\t@\nOK\t0\nEND\t@\n"},
        {"more records than counted", Verb::Shares, "OK\t1\nA\t0\ta\nB\t0\tb\nEND\t@\n"},
        {"fewer records than counted", Verb::Shares, "OK\t2\nA\t0\ta\nEND\t@\n"},
        {"too few fields", Verb::Shares, "OK\t1\nDOCS\t0\nEND\t@\n"},
        {"too many fields", Verb::Servers, "OK\t1\nANVIL\tForge\textra\nEND\t@\n"},
        {"type not a number", Verb::Shares, "OK\t1\nDOCS\tdisk\tDocs\nEND\t@\n"},
        {"type negative", Verb::Shares, "OK\t1\nDOCS\t-1\tDocs\nEND\t@\n"},
        {"type past 32 bits", Verb::Shares, "OK\t1\nDOCS\t4294967296\tDocs\nEND\t@\n"},
        {"type empty", Verb::Shares, "OK\t1\nDOCS\t\tDocs\nEND\t@\n"},
        {"type with a sign", Verb::Shares, "OK\t1\nDOCS\t+1\tDocs\nEND\t@\n"},
        {"escape cut short", Verb::Servers, "OK\t1\nAN%4\tx\nEND\t@\n"},
        {"escape not hex", Verb::Servers, "OK\t1\nAN%G1\tx\nEND\t@\n"},
        {"raw control byte", Verb::Servers, "OK\t1\nAN\rVIL\tx\nEND\t@\n"},
        {"count not a number", Verb::Shares, "OK\tmany\nEND\t@\n"},
        {"count with spaces", Verb::Shares, "OK\t 1\nA\t0\ta\nEND\t@\n"},
        {"unknown head", Verb::Shares, "YES\t0\nEND\t@\n"},
        {"lower-case head", Verb::Shares, "ok\t0\nEND\t@\n"},
        {"error without a code", Verb::Shares, "ERR\t\t@\n"},
        {"error code zero", Verb::Shares, "ERR\t0\t@\n"},
        {"error code not a number", Verb::Shares, "ERR\tdenied\t@\n"},
        {"error without its MAC", Verb::Shares, "ERR\t5\n"},
        {"error with a trailer", Verb::Shares, "ERR\t5\t@\nmore\n"},
        {"a MAC cut short", Verb::Shares, "OK\t0\nEND\tabcdef\n"},
        {"CRLF lines", Verb::Shares, "OK\t0\r\nEND\t@\r\n"},
    };
    for (const auto& row : rows) {
        Reply reply;
        EXPECT_EQ(ParseReply(kKey, kNonce, row.verb, Signed(row.text), &reply), Read::Malformed) << row.why;
        EXPECT_FALSE(reply.ok) << row.why;
        EXPECT_TRUE(reply.records.empty()) << row.why;
    }
    // Past the size limit, however well formed.
    const std::string huge = FormatOk(kKey, kNonce, Verb::Shares, {{"A", "0", std::string(kMaxReply, 'x')}});
    Reply reply;
    EXPECT_EQ(ParseReply(kKey, kNonce, Verb::Shares, huge, &reply), Read::Malformed);
}

TEST(LanProtocol, TheHelperCutsWhatNoAnswerMayHold)
{
    const std::string kilo(1023, 'c');   // with its separator, a KiB a record
    const std::string controls(1023, '\n');   // three times that, escaped
    const struct {
        const char* why;
        std::vector<Record> records;
        size_t kept;
    } rows[] = {
        {"a few", std::vector<Record>(3, Record{"S", "0", "c"}), 3},
        {"ten thousand", std::vector<Record>(10000, Record{"S", "0", ""}), 10000},
        {"one more than that", std::vector<Record>(10001, Record{"S", "0", ""}), 10000},
        {"4 MiB of comments, just", std::vector<Record>(4096, Record{kilo}), 4096},
        {"a record past 4 MiB", std::vector<Record>(4097, Record{kilo}), 4096},
        {"control bytes, counted as they travel", std::vector<Record>(2000, Record{controls}), 1366},
    };
    for (const auto& row : rows) {
        std::vector<Record> records = row.records;
        EXPECT_EQ(Cap(&records), row.kept < row.records.size()) << row.why;
        EXPECT_EQ(records.size(), row.kept) << row.why;
        EXPECT_TRUE(std::equal(records.begin(), records.end(), row.records.begin())) << row.why << ": the first kept";
    }
}

TEST(LanProtocol, AtMostAHundredThousandRecords)
{
    // Signed and well formed: only the count can make the one refused.
    const std::vector<Record> most(100000, Record{"S", "0", ""});
    Reply reply;
    EXPECT_EQ(ParseReply(kKey, kNonce, Verb::Shares, FormatOk(kKey, kNonce, Verb::Shares, most), &reply), Read::Ok);
    EXPECT_EQ(reply.records.size(), 100000u);
    std::vector<Record> more = most;
    more.push_back({"T", "0", ""});
    EXPECT_EQ(ParseReply(kKey, kNonce, Verb::Shares, FormatOk(kKey, kNonce, Verb::Shares, more), &reply),
              Read::Malformed);
    EXPECT_TRUE(reply.records.empty());
}

TEST(LanProtocol, RequestsAreReadExactly)
{
    Verb verb;
    std::string argument, nonce;
    const struct {
        Verb verb;
        std::string argument;
    } good[] = {{Verb::Shares, "ANVIL"}, {Verb::Workgroups, ""}, {Verb::Servers, "IRON WORKS\t%\n\x1b[2J"}};
    for (const auto& g : good) {
        const std::string line = FormatRequest(kKey, g.verb, g.argument, kNonce);
        ASSERT_EQ(line.back(), '\n');
        ASSERT_EQ(ParseRequest(kKey, line.substr(0, line.size() - 1), &verb, &argument, &nonce), Read::Ok);
        EXPECT_EQ(verb, g.verb);
        EXPECT_EQ(argument, g.argument);
        EXPECT_EQ(nonce, kNonce);
    }
    const std::string mac(64, 'a');
    const std::string bad[] = {"", "SHARES", "SHARES\tA", "SHARES\tA\t" + kNonce, "SHARES\tA\tB\t" + kNonce + "\t" + mac,
                               "shares\tANVIL\t" + kNonce + "\t" + mac, "DELETE\tANVIL\t" + kNonce + "\t" + mac,
                               "SHARES\tAN%ZZ\t" + kNonce + "\t" + mac, "SHARES\tA\r\t" + kNonce + "\t" + mac,
                               "SHARES\tA\tnot-a-nonce\t" + mac, "SHARES\tA\t" + kNonce + "\tshort",
                               "SHARES\t" + std::string(kMaxRequest, 'A') + "\t" + kNonce + "\t" + mac};
    for (const std::string& line : bad)
        EXPECT_EQ(ParseRequest(kKey, line, &verb, &argument, &nonce), Read::Malformed) << line;
}

TEST(LanProtocol, TextThatIsNotUtf8IsShownWithReplacements)
{
    const std::string kReplacement = "\xef\xbf\xbd";
    const struct {
        std::string in, out;
    } rows[] = {
        {"plain", "plain"},
        {"Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80", "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"cut \xc3", "cut " + kReplacement},
        {"x\xe2\x82", "x" + kReplacement + kReplacement},
        {"Latin-1 M\xfcller", "Latin-1 M" + kReplacement + "ller"},
        {"\xc0\xaf overlong", kReplacement + kReplacement + " overlong"},
        {"\xed\xa0\x80 surrogate", kReplacement + kReplacement + kReplacement + " surrogate"},
        {"\xf4\x90\x80\x80 past U+10FFFF", kReplacement + kReplacement + kReplacement + kReplacement + " past U+10FFFF"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ValidUtf8(r.in), r.out) << r.in;
        EXPECT_TRUE(IsUtf8(ValidUtf8(r.in))) << r.in;
    }
}

TEST(LanProtocol, KeyFiles)
{
    KeyFile file;
    file.port = 40123;
    file.key = std::string(kKeyBytes, '\x01');
    file.log = "/home/user/.local/state/ferrolink/lan.log";
    KeyFile back;
    ASSERT_TRUE(ParseKeyFile(FormatKeyFile(file), &back));
    EXPECT_EQ(back.port, file.port);
    EXPECT_EQ(back.key, file.key);
    EXPECT_EQ(back.log, file.log);
    const std::string key = "key=" + std::string(2 * kKeyBytes, 'a') + "\n";
    const std::string bad[] = {"", "port=1\n", key, "port=0\n" + key, "port=65536\n" + key, "port=x\n" + key,
                               "port=1\nkey=abc\n", "port=1\nkey=" + std::string(2 * kKeyBytes, 'g') + "\n",
                               "port=1\n" + key + "colour=red\n", "port=1\n" + key.substr(0, key.size() - 1) + "x"};
    for (const std::string& text : bad)
        EXPECT_FALSE(ParseKeyFile(text, &back)) << text;
    EXPECT_TRUE(ParseKeyFile("port=1\r\n" + key, &back)) << "written on Windows";
}

} // namespace
