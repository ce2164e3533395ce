// What the helper reads from computers that announce themselves (NetBIOS
// node status, DNS-SD, WS-Discovery), what it sends them and how a pass
// merges their answers: the right name and workgroup from what the test
// world's nmbd, Avahi and wsdd really sent (tests/lan/answers, recorded by
// capture-answers.py from the computers of tests/e2e/worlds/lan-modern.json),
// and nothing, without a crash, from what is cut, looped, lies or hides.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include "lan/helper/discovery.h"
#include "lan/helper/dnssd.h"
#include "lan/helper/netbios.h"
#include "lan/helper/wsd.h"
#include "tests/lan/support.h"

using namespace discovery;

namespace {

std::string Answer(const std::string& name)
{
    std::ifstream in(std::string(FL_ANSWERS) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << name;
    return text.str();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// ---- NetBIOS node status ----

// Where the recorded answers' fields lie: a 12-byte header, the 34-byte
// name, type, class, TTL and length, then the count and 18 bytes a name.
constexpr size_t kCount = 12 + 34 + 10, kFirstName = kCount + 1;

TEST(Discovery, NodeStatusAnswers)
{
    // The computers as the world configured them (nmbd's own answers).
    const struct {
        const char* file;
        const char* name;
        const char* group;
    } recorded[] = {{"oldbox", "OLDBOX", "HOMENET"}, {"desk", "DESK", "HOMENET"}, {"secret", "SECRET", "HOMENET"},
                    {"garret", "GARRET", "ATTIC"}};
    for (const auto& r : recorded) {
        netbios::Status s;
        uint16_t id = 0;
        ASSERT_TRUE(netbios::ParseStatus(Answer(std::string("netbios/") + r.file + ".bin"), &id, &s)) << r.file;
        EXPECT_EQ(id, 0x4652) << r.file;   // capture-answers.py's query
        EXPECT_EQ(s.name, r.name);
        EXPECT_EQ(s.workgroup, r.group);
    }
    // OLDBOX holds OLDBOX<00>, <03>, <20>, __MSBROWSE__<01>, HOMENET<00>, <1d>, <1e>.
    const std::string whole = Answer("netbios/oldbox.bin");
    auto flags = [](size_t entry) { return kFirstName + entry * 18 + 16; };
    const struct {
        const char* why;
        std::function<void(std::string&)> change;
        const char* name;   // nullptr: refused
        const char* group;
    } cases[] = {
        {"as sent", [](std::string&) {}, "OLDBOX", "HOMENET"},
        {"more names than the data holds", [](std::string& p) { p[kCount] = '\x7f'; }, nullptr, ""},
        {"an error answer", [](std::string& p) { p[3] |= 0x03; }, nullptr, ""},
        {"a query, not an answer", [](std::string& p) { p[2] &= 0x7f; }, nullptr, ""},
        {"another type of record", [](std::string& p) { p[12 + 34 + 1] = 0x20; }, nullptr, ""},
        {"its <00> in conflict: its <20> names it", [&](std::string& p) { p[flags(0)] |= 0x08; }, "OLDBOX", "HOMENET"},
        {"every name of its own in conflict",
         [&](std::string& p) {
             for (size_t e : {0, 1, 2})
                 p[flags(e)] |= 0x08;
         },
         nullptr, ""},
        {"every name of its own inactive",
         [&](std::string& p) {
             for (size_t e : {0, 1, 2})
                 p[flags(e)] &= ~0x04;
         },
         nullptr, ""},
        {"its workgroup being released", [&](std::string& p) { p[flags(4)] |= 0x10; }, "OLDBOX", ""},
        {"a name no computer may have",
         [&](std::string& p) {
             for (size_t e : {0, 1, 2})
                 p[kFirstName + e * 18 + 3] = '.';
         },
         nullptr, ""},
    };
    for (const auto& c : cases) {
        std::string p = whole;
        c.change(p);
        netbios::Status s;
        uint16_t id;
        EXPECT_EQ(netbios::ParseStatus(p, &id, &s), c.name != nullptr) << c.why;
        if (c.name) {
            EXPECT_EQ(s.name, c.name) << c.why;
            EXPECT_EQ(s.workgroup, c.group) << c.why;
        }
    }
    for (size_t n = 0; n < whole.size(); ++n) {
        netbios::Status s;
        uint16_t id;
        EXPECT_FALSE(netbios::ParseStatus(whole.substr(0, n), &id, &s)) << "cut at " << n;
    }
    // RFC 1002's NBSTAT question for "*": half-bytes as letters from 'A'.
    EXPECT_EQ(netbios::StatusQuery(0x1234),
              std::string("\x12\x34\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12) + " CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" +
                  std::string("\x00\x00\x21\x00\x01", 5));
}

TEST(Discovery, NodeStatusCountsOnlyFromTheAddressAskedWithItsId)
{
    const uint32_t asked = Ip("127.77.0.11"), other = Ip("127.77.0.5");
    auto withId = [](uint16_t id) {
        std::string p = Answer("netbios/oldbox.bin");
        p[0] = static_cast<char>(id >> 8), p[1] = static_cast<char>(id & 0xFF);
        return p;
    };
    const struct {
        const char* why;
        uint32_t from;
        uint16_t port;
        uint16_t id;
        bool counts;
    } cases[] = {
        {"from another port", asked, 138, 0xBEEF, false},
        {"from an address not asked", other, 137, 0xBEEF, false},
        {"with another id", asked, 137, 0xBEF0, false},
        {"the answer", asked, 137, 0xBEEF, true},
        {"the answer again", asked, 137, 0xBEEF, false},
    };
    netbios::Queries queries;
    queries.Asked(asked, 0xBEEF);
    for (const auto& c : cases) {
        netbios::Status s;
        std::string why;
        EXPECT_EQ(queries.Accept(c.from, c.port, withId(c.id), &s, &why), c.counts) << c.why << ": " << why;
        if (c.counts) {
            EXPECT_EQ(s.name, "OLDBOX");
        }
    }
}

// ---- DNS-SD ----

TEST(Discovery, DnsSdAnswers)
{
    // Avahi's answer for NAS (127.77.0.16) to a query with id 0x1234.
    const std::string whole = Answer("dnssd/nas.bin");
    const uint32_t nas = Ip("127.77.0.16");
    std::vector<dnssd::Host> hosts;
    ASSERT_TRUE(dnssd::ParseAnswer(whole, 0x1234, &hosts));
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].name, "nas");
    EXPECT_EQ(hosts[0].address, nas);
    EXPECT_FALSE(dnssd::ParseAnswer(whole, 0x1235, &hosts)) << "an answer to another query";
    for (size_t n = 0; n < whole.size(); ++n) {
        dnssd::ParseAnswer(whole.substr(0, n), 0x1234, &hosts);
        EXPECT_TRUE(hosts.empty()) << "cut at " << n;
    }
    // The PTR's data (at 45, "\x03nas\xc0\x0c") pointing at itself.
    std::string loop = whole;
    loop[49] = '\xc0', loop[50] = 45;
    dnssd::ParseAnswer(loop, 0x1234, &hosts);
    EXPECT_TRUE(hosts.empty());

    const struct {
        const char* why;
        uint32_t from;
        uint16_t port;
        std::string packet;
        size_t hosts;
    } cases[] = {
        {"from NAS itself", nas, 5353, whole, 1},
        {"from another port", nas, 5354, whole, 0},
        {"for another address", Ip("127.77.0.5"), 5353, whole, 0},
        {"a name no computer may have", nas, 5353, Replaced(whole, "\x03nas\xc0\x16", "\x03n s\xc0\x16"), 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> why;
        EXPECT_EQ(dnssd::Accept(c.from, c.port, c.packet, 0x1234, &why).size(), c.hosts) << c.why;
        EXPECT_EQ(why.size(), 1 - c.hosts) << c.why;
    }
    // RFC 1035's question for _smb._tcp.local PTR IN, no recursion.
    EXPECT_EQ(dnssd::Query(7), std::string("\x00\x07\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00"
                                           "\x04_smb\x04_tcp\x05local\x00\x00\x0c\x00\x01",
                                           33));
}

// ---- WS-Discovery ----

const char kLaptop[] = "urn:uuid:f6ecde8b-0fab-536e-9e50-26949a49eff7";   // wsdd -U for LAPTOP

TEST(Discovery, WsDiscoveryMatches)
{
    const uint32_t laptop = Ip("127.77.0.13");
    wsd::Matches m;
    ASSERT_TRUE(wsd::ParseMatches(Answer("wsd/laptop-probe.xml"), &m));
    EXPECT_FALSE(m.resolve);
    EXPECT_EQ(m.relatesTo, "urn:uuid:29b3b21e-6f37-40b8-a8c4-aad33b9f7e98");   // capture's probe
    ASSERT_EQ(m.matches.size(), 1u);
    EXPECT_EQ(m.matches[0].endpoint, kLaptop);
    EXPECT_TRUE(m.matches[0].computer);
    EXPECT_TRUE(m.matches[0].xaddrs.empty()) << "wsdd gives its address only to a Resolve";
    const std::string probe = m.relatesTo;
    ASSERT_TRUE(wsd::ParseMatches(Answer("wsd/laptop-resolve.xml"), &m));
    EXPECT_TRUE(m.resolve);
    EXPECT_EQ(m.relatesTo, "urn:uuid:d77443d1-06e1-4ce3-8f9f-1c1231ba61a4");
    ASSERT_EQ(m.matches.size(), 1u);
    EXPECT_EQ(m.matches[0].xaddrs, std::vector<std::string>{"http://127.77.0.13:5357/f6ecde8b-0fab-536e-9e50-26949a49eff7"});

    // What each answer leads to, from whom.
    const std::string resolved = Answer("wsd/laptop-resolve.xml"), asked = m.relatesTo;
    const struct {
        const char* why;
        std::string xml;
        std::string asked;
        uint32_t source;
        wsd::Next next;
        const char* reason;   // part of the log's line
        uint16_t port;        // where the metadata is fetched
    } cases[] = {
        {"a probe's match without an address", Answer("wsd/laptop-probe.xml"), probe, laptop, wsd::Next::Resolve, "", 0},
        {"the resolve's match", resolved, asked, laptop, wsd::Next::Fetch, "", 5357},
        {"an answer to no message of ours", resolved, probe, laptop, wsd::Next::Nothing, "no message of ours", 0},
        {"the router's address, forged", resolved, asked, Ip("127.77.0.1"), wsd::Next::Nothing, "points elsewhere", 0},
        {"another port of its own: as it says",
         Replaced(resolved, "127.77.0.13:5357/", "127.77.0.13:80/"), asked, laptop, wsd::Next::Fetch, "", 80},
        {"a path that is no UUID",
         Replaced(resolved, "5357/f6ecde8b-0fab-536e-9e50-26949a49eff7", "5357/cgi-bin/reboot"), asked, laptop,
         wsd::Next::Nothing, "points elsewhere", 0},
        {"an escaped endpoint",
         Replaced(resolved, "<wsa:Address>urn:uuid:f6ec", "<wsa:Address>urn:uuid:&lt;/wsa:Address&gt;f6ec"), asked,
         laptop, wsd::Next::Nothing, "no urn:uuid", 0},
        {"a printer, not a computer", Replaced(resolved, "pub:Computer</wsd:Types>", "</wsd:Types>"), asked, laptop,
         wsd::Next::Nothing, "", 0},
        {"pub bound to another namespace",
         Replaced(resolved, "xmlns:pub=\"http://schemas.microsoft.com/", "xmlns:pub=\"http://example.com/"), asked,
         laptop, wsd::Next::Nothing, "", 0},
    };
    for (const auto& c : cases) {
        wsd::Matches matches;
        ASSERT_TRUE(wsd::ParseMatches(c.xml, &matches)) << c.why;
        wsd::Url url;
        std::string endpoint, why;
        EXPECT_EQ(wsd::Consider(matches, c.asked, c.source, &url, &endpoint, &why), c.next) << c.why;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.why << ": " << why;
        if (c.next == wsd::Next::Fetch) {
            EXPECT_EQ(endpoint, kLaptop);
            EXPECT_EQ(wsd::UrlText(url), "http://127.77.0.13:" + std::to_string(c.port) + "/" + std::string(kLaptop + 9));
        }
    }
}

TEST(Discovery, WsDiscoveryMetadataAsXmlReadsIt)
{
    const std::string whole = Answer("wsd/laptop-metadata.xml");
    const std::string computer = "<pub:Computer>LAPTOP/Workgroup:HOMENET</pub:Computer>";
    const std::string host = "<wsdp:Host>";
    const struct {
        const char* why;
        std::string xml;
        const char* name;   // nullptr: refused
        const char* group;
    } cases[] = {
        {"as wsdd sent it", whole, "LAPTOP", "HOMENET"},
        {"a comment before it",
         Replaced(whole, host, host + "<!-- <pub:Computer>EVIL/Workgroup:X</pub:Computer> -->"), "LAPTOP", "HOMENET"},
        {"an element in CDATA is text",
         Replaced(whole, host, host + "<wsdp:Types><![CDATA[<pub:Computer>EVIL</pub:Computer>]]></wsdp:Types>"),
         "LAPTOP", "HOMENET"},
        {"its value in CDATA", Replaced(whole, computer, "<pub:Computer><![CDATA[LAPTOP/Domain:CORP]]></pub:Computer>"),
         "LAPTOP", "CORP"},
        {"a character reference", Replaced(whole, "LAPTOP/", "L&#65;PTOP/"), "LAPTOP", "HOMENET"},
        {"two of them", Replaced(whole, computer, computer + "<pub:Computer>EVIL</pub:Computer>"), nullptr, ""},
        {"another namespace's Computer",
         Replaced(whole, computer, "<x:Computer xmlns:x=\"urn:x\">EVIL</x:Computer>"), nullptr, ""},
        {"outside the body", Replaced(Replaced(whole, computer, ""), "</soap:Header>", computer + "</soap:Header>"),
         nullptr, ""},
        {"a DTD and an entity",
         Replaced(whole, "<soap:Envelope", "<!DOCTYPE soap:Envelope [<!ENTITY n \"EVIL\">]><soap:Envelope"), nullptr, ""},
        {"an entity it never declared", Replaced(whole, "LAPTOP/", "&n;/"), nullptr, ""},
        {"a prefix nobody bound", Replaced(whole, computer, "<nope:Computer>EVIL</nope:Computer>"), nullptr, ""},
        {"cut short", whole.substr(0, whole.size() - 1), nullptr, ""},
        {"a name with a space", Replaced(whole, "LAPTOP/", "LAP TOP/"), nullptr, ""},
        {"a name too long", Replaced(whole, "LAPTOP/", std::string(64, 'N') + "/"), nullptr, ""},
    };
    for (const auto& c : cases) {
        std::string name, group;
        EXPECT_EQ(wsd::ParseMetadata(c.xml, &name, &group), c.name != nullptr) << c.why;
        if (c.name) {
            EXPECT_EQ(name, c.name) << c.why;
            EXPECT_EQ(group, c.group) << c.why;
        }
    }
    // A thousand nested elements: refused, without a deep recursion.
    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep = "<a>" + deep + "</a>";
    std::string name, group;
    EXPECT_FALSE(wsd::ParseMetadata(Replaced(whole, host, host + deep), &name, &group));
}

TEST(Discovery, WsDiscoveryMessagesEscapeWhatTheyCarry)
{
    const std::string evil = "urn:uuid:</wsa:Address><x>&";
    EXPECT_FALSE(wsd::ValidEndpoint(evil));
    EXPECT_TRUE(wsd::ValidEndpoint(kLaptop));
    EXPECT_TRUE(wsd::ValidEndpoint("URN:UUID:F6ECDE8B-0FAB-536E-9E50-26949A49EFF7"));
    for (const std::string& message : {wsd::Resolve("urn:uuid:1", evil), wsd::Get("urn:uuid:1", evil, "x")}) {
        EXPECT_EQ(message.find("</wsa:Address><x>"), std::string::npos) << message;
        EXPECT_NE(message.find("urn:uuid:&lt;/wsa:Address&gt;&lt;x&gt;&amp;"), std::string::npos) << message;
    }
    const struct {
        const char* url;
        bool ok;
        uint16_t port;
        const char* path;
    } urls[] = {
        {"http://127.77.0.13:5357/f6ecde8b-0fab-536e-9e50-26949a49eff7", true, 5357, "/f6ecde8b-0fab-536e-9e50-26949a49eff7"},
        {"HTTP://127.77.0.13", true, 80, "/"},
        {"http://nas.local:5357/x", false, 0, ""},
        {"https://127.0.0.1/", false, 0, ""},
        {"http://127.0.0.1:0/", false, 0, ""},
        {"http://127.0.0.1:65536/", false, 0, ""},
        {"http://127.0.0.1:80/a b", false, 0, ""},
        {"http://127.0.0.1/a?b", false, 0, ""},
        {"http://127.0.0.1/a\r\nHost: x", false, 0, ""},
        {"http://user@127.0.0.1/", false, 0, ""},
        {"ftp://127.0.0.1/", false, 0, ""},
    };
    for (const auto& u : urls) {
        wsd::Url url;
        EXPECT_EQ(wsd::ParseUrl(u.url, &url), u.ok) << u.url;
        if (u.ok) {
            EXPECT_EQ(url.port, u.port) << u.url;
            EXPECT_EQ(url.path, u.path) << u.url;
        }
    }
}

// ---- The pass's merge ----

TEST(Discovery, MergeGivesOneComputerAnAddressAndOneAddressAName)
{
    const uint32_t a = Ip("127.77.0.11"), b = Ip("127.77.0.12"), c = Ip("127.77.0.5");
    const struct {
        const char* why;
        std::vector<Computer> found;
        std::vector<std::string> kept;   // "NAME WORKGROUP how"
        const char* refused;             // part of a log line, or ""
    } cases[] = {
        {"NetBIOS tells the workgroup: it comes first",
         {{"NAS", "", a, "mDNS"}, {"NAS", "HOME", a, "NetBIOS"}}, {"NAS HOME NetBIOS"}, ""},
        {"WS-Discovery before mDNS", {{"NAS", "", a, "mDNS"}, {"NAS", "OFFICE", a, "WS-Discovery"}},
         {"NAS OFFICE WS-Discovery"}, ""},
        {"one address, two names: the first protocol's", {{"DESK", "", a, "mDNS"}, {"DESK2", "W", a, "NetBIOS"}},
         {"DESK2 W NetBIOS"}, ""},
        {"a name two addresses claim is nobody's",
         {{"FILESERVER", "W", b, "NetBIOS"}, {"FILESERVER", "W", c, "NetBIOS"}, {"OTHER", "", a, "mDNS"}},
         {"OTHER  mDNS"}, "FILESERVER, claimed by 127.77.0.5 and 127.77.0.12"},
        {"whatever the protocols", {{"FILESERVER", "W", b, "NetBIOS"}, {"fileserver", "", c, "mDNS"}}, {},
         "claimed by"},
        {"localhost", {{"LOCALHOST", "", a, "mDNS"}}, {}, "LOCALHOST from 127.77.0.11"},
        {"a number", {{"10", "", a, "NetBIOS"}}, {}, "10 from"},
        {"a number a resolver reads", {{"0X7F000001", "", a, "mDNS"}}, {}, "0X7F000001 from"},
        {"a name with digits", {{"PC10", "", a, "NetBIOS"}}, {"PC10  NetBIOS"}, ""},
    };
    for (const auto& m : cases) {
        std::vector<std::string> refusals, kept;
        for (const Computer& k : Merge(m.found, &refusals))
            kept.push_back(k.name + " " + k.workgroup + " " + k.how);
        EXPECT_EQ(kept, m.kept) << m.why;
        if (*m.refused) {
            ASSERT_EQ(refusals.size(), 1u) << m.why;
            EXPECT_NE(refusals[0].find(m.refused), std::string::npos) << m.why << ": " << refusals[0];
        } else {
            EXPECT_TRUE(refusals.empty()) << m.why;
        }
    }
}

TEST(Discovery, RangesAndInterfacesStayWithinASlash22)
{
    Range r;
    ASSERT_TRUE(ParseRange("127.77.0.9/24", &r));
    EXPECT_TRUE(r.Contains(ntohl(Ip("127.77.0.200"))));
    EXPECT_FALSE(r.Contains(ntohl(Ip("127.77.1.1"))));
    EXPECT_TRUE(ParseRange("10.0.0.0/22", &r));
    for (const char* bad : {"10.0.0.0/21", "10.0.0.0/8", "10.0.0/24", "10.0.0.0/", "10.0.0.0/x", "nas/24"})
        EXPECT_FALSE(ParseRange(bad, &r)) << bad;
    const struct {
        const char* text;
        bool ok;
        const char* name;
        int bits;
    } choices[] = {{"eth0", true, "eth0", 24}, {"br0/22", true, "br0", 22}, {"wlan0/32", true, "wlan0", 32},
                   {"eth0/21", false, "", 0}, {"eth0/", false, "", 0},      {"", false, "", 0},
                   {"/24", false, "", 0},     {"a-name-far-too-long", false, "", 0}};
    for (const auto& c : choices) {
        InterfaceChoice choice;
        EXPECT_EQ(ParseInterfaceChoice(c.text, &choice), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(choice.name, c.name);
            EXPECT_EQ(choice.bits, c.bits);
        }
    }
}

} // namespace
