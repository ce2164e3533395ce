// What the helper reads from computers that announce themselves (WS-
// Discovery, mDNS, NetBIOS node status) and from the user's credentials
// file: the right name and workgroup from what real daemons send, and
// nothing, without a crash, from what is cut, looped or lies.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include "lan/helper/credentials.h"
#include "lan/helper/discovery.h"

using namespace discovery;

namespace {

uint32_t Ip(const char* text)
{
    in_addr a;
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// A ResolveMatch as wsdd sends it, and a Windows computer's metadata.
const char kResolveMatch[] =
    "<?xml version='1.0' encoding='utf-8'?><soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/"
    "discovery\"><soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
    "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches</wsa:Action></soap:Header><soap:Body>"
    "<wsd:ResolveMatches><wsd:ResolveMatch><wsa:EndpointReference><wsa:Address>urn:uuid:1b1d5e6c-0000-5000-8000-"
    "00000000abcd</wsa:Address></wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types>"
    "<wsd:XAddrs>http://127.77.0.13:5357/1b1d5e6c-0000-5000-8000-00000000abcd</wsd:XAddrs>"
    "<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ResolveMatch></wsd:ResolveMatches></soap:Body>"
    "</soap:Envelope>";
const char kMetadata[] =
    "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:pub=\"http://schemas.microsoft.com/"
    "windows/pub/2005/07\" xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"><soap:Body><wsx:Metadata>"
    "<wsdp:Relationship Type=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/host\"><wsdp:Host><wsdp:Types>"
    "pub:Computer</wsdp:Types><pub:Computer>laptop/Workgroup:HomeNet</pub:Computer></wsdp:Host></wsdp:Relationship>"
    "</wsx:Metadata></soap:Body></soap:Envelope>";

TEST(Discovery, WsDiscoveryAnswers)
{
    Match m;
    ASSERT_TRUE(ParseMatch(kResolveMatch, &m));
    EXPECT_EQ(m.endpoint, "urn:uuid:1b1d5e6c-0000-5000-8000-00000000abcd");
    ASSERT_EQ(m.xaddrs.size(), 1u);
    uint32_t address;
    uint16_t port;
    std::string path;
    ASSERT_TRUE(ParseHttpUrl(m.xaddrs[0], &address, &port, &path));
    EXPECT_EQ(address, Ip("127.77.0.13"));
    EXPECT_EQ(port, 5357);
    EXPECT_EQ(path, "/1b1d5e6c-0000-5000-8000-00000000abcd");
    EXPECT_FALSE(ParseMatch("<wsd:ProbeMatch><wsa:Address>http://x</wsa:Address></wsd:ProbeMatch>", &m))
        << "no endpoint";

    std::string name, group;
    ASSERT_TRUE(ParseComputer(kMetadata, &name, &group));
    EXPECT_EQ(name, "LAPTOP");
    EXPECT_EQ(group, "HOMENET");
    const struct {
        const char* value;
        bool ok;
        const char* name;
        const char* group;
    } computers[] = {
        {"DESK/Domain:CORP", true, "DESK", "CORP"},
        {"DESK", true, "DESK", ""},
        {"DESK/Somethingelse:X", true, "DESK", ""},
        {"two words/Workgroup:W", false, "", ""},
        {"a.b/Workgroup:W", false, "", ""},
        {"", false, "", ""},
        {"DESK/Workgroup:bad group", false, "", ""},
    };
    for (const auto& c : computers) {
        name.clear(), group.clear();
        EXPECT_EQ(ParseComputer(std::string("<pub:Computer>") + c.value + "</pub:Computer>", &name, &group), c.ok)
            << c.value;
        if (c.ok) {
            EXPECT_EQ(name, c.name) << c.value;
            EXPECT_EQ(group, c.group) << c.value;
        }
    }
    EXPECT_FALSE(ParseComputer("<pub:Computer>" + std::string(64, 'N') + "</pub:Computer>", &name, &group))
        << "a name too long";
    EXPECT_TRUE(ParseComputer("<pub:Computer>" + std::string(63, 'N') + "</pub:Computer>", &name, &group));

    const char* urls[] = {"http://nas.local:5357/x", "https://127.0.0.1/", "http://127.0.0.1:0/", "http://127.0.0.1:65536/",
                          "http://127.0.0.1:80/a b", "ftp://127.0.0.1/"};
    for (const char* url : urls)
        EXPECT_FALSE(ParseHttpUrl(url, &address, &port, &path)) << url;
}

TEST(Discovery, XmlIsReadByLocalNamesAndBounded)
{
    EXPECT_EQ(ElementTexts("<a:X>1</a:X><X>2</X><b:Xy>3</b:Xy><X/><X attr=\"v\"> 4 &amp; &lt;5&gt; </X>", "X"),
              (std::vector<std::string>{"1", "2", "", "4 & <5>"}));
    EXPECT_TRUE(ElementTexts("<X>unclosed", "X").empty());
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += "<X>a</X>";
    EXPECT_LE(ElementTexts(many, "X").size(), 256u);
}

TEST(Discovery, HttpResponses)
{
    std::string body;
    EXPECT_TRUE(ParseHttpResponse("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbodyEXTRA", &body));
    EXPECT_EQ(body, "body");
    EXPECT_TRUE(ParseHttpResponse("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nto the end", &body));
    EXPECT_EQ(body, "to the end");
    const char* bad[] = {"HTTP/1.0 404 Not Found\r\n\r\n<pub:Computer>X</pub:Computer>",
                         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", "HTTP/1.1 200 OK\r\n",
                         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n", "garbage"};
    for (const char* raw : bad)
        EXPECT_FALSE(ParseHttpResponse(raw, &body)) << raw;
}

// An mDNS answer as Avahi gives it: PTR, SRV, TXT and A, names compressed.
std::string AvahiAnswer(const char* host = "nas", const char* address = "127.77.0.14")
{
    std::string p("\x00\x00\x84\x00\x00\x01\x00\x04\x00\x00\x00\x00", 12);
    p += std::string("\x04_smb\x04_tcp\x05local\x00\x00\x0c\x00\x01", 21);   // the question, at 12
    auto rr = [&p](const std::string& owner, uint16_t type, const std::string& data) {
        p += owner;
        p += static_cast<char>(type >> 8), p += static_cast<char>(type & 0xFF);
        p += std::string("\x00\x01\x00\x00\x00\x0a", 6);
        p += static_cast<char>(data.size() >> 8), p += static_cast<char>(data.size() & 0xFF);
        p += data;
    };
    const std::string instance = std::string(1, static_cast<char>(std::strlen(host))) + host + "\xc0\x0c";
    const size_t instanceAt = p.size() + 12;   // where the PTR's data will start
    rr("\xc0\x0c", 12, instance);
    rr(std::string("\xc0", 1) + static_cast<char>(instanceAt), 33,
       std::string("\x00\x00\x00\x00\x01\xbd", 6) + static_cast<char>(std::strlen(host)) + host + "\x05local" +
           std::string(1, '\0'));
    rr(std::string("\xc0", 1) + static_cast<char>(instanceAt), 16, std::string(1, '\0'));
    in_addr a;
    inet_pton(AF_INET, address, &a);
    rr(std::string(1, static_cast<char>(std::strlen(host))) + host + "\x05local" + std::string(1, '\0'), 1,
       std::string(reinterpret_cast<char*>(&a), 4));
    return p;
}

TEST(Discovery, MdnsAnswers)
{
    std::vector<MdnsHost> hosts;
    ASSERT_TRUE(ParseMdns(AvahiAnswer(), &hosts));
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].name, "NAS");
    EXPECT_EQ(hosts[0].address, Ip("127.77.0.14"));
    // Every cut, and a name that points at itself: no crash, no host.
    const std::string whole = AvahiAnswer();
    for (size_t n = 0; n < whole.size(); ++n) {
        ParseMdns(whole.substr(0, n), &hosts);
        EXPECT_TRUE(hosts.empty()) << n;
    }
    std::string loop = whole;
    loop[33] = '\xc0', loop[34] = 33;
    ParseMdns(loop, &hosts);
    EXPECT_TRUE(hosts.empty());
    EXPECT_FALSE(ParseMdns(std::string("\x00\x00\x00\x00\x00\x01", 6) + whole.substr(6), &hosts)) << "a query";
    const std::string query = MdnsQuery(7);
    EXPECT_EQ(query.substr(12), std::string("\x04_smb\x04_tcp\x05local\x00\x00\x0c\x00\x01", 21));
}

// A node status answer as nmbd gives it.
std::string NodeStatus(const std::vector<std::pair<std::string, std::pair<int, bool>>>& names)
{
    std::string p("\x00\x01\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00", 12);
    p += std::string(1, 32) + "CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" + std::string(1, '\0');
    p += std::string("\x00\x21\x00\x01\x00\x00\x00\x00", 8);
    std::string data(1, static_cast<char>(names.size()));
    for (const auto& n : names) {
        std::string name = n.first;
        name.resize(15, ' ');
        data += name + static_cast<char>(n.second.first) + (n.second.second ? std::string("\x84\x00", 2) : std::string("\x04\x00", 2));
    }
    data += std::string(46, '\0');
    p += static_cast<char>(data.size() >> 8), p += static_cast<char>(data.size() & 0xFF);
    return p + data;
}

TEST(Discovery, NodeStatusAnswers)
{
    const std::string answer =
        NodeStatus({{"DESK", {0x00, false}}, {"DESK", {0x03, false}}, {"DESK", {0x20, false}},
                    {"\x01\x02__MSBROWSE__\x02", {0x01, true}}, {"HOMENET", {0x00, true}}, {"HOMENET", {0x1e, true}}});
    std::string name, group;
    ASSERT_TRUE(ParseNodeStatus(answer, &name, &group));
    EXPECT_EQ(name, "DESK");
    EXPECT_EQ(group, "HOMENET");
    for (size_t n = 0; n < answer.size(); ++n)
        EXPECT_FALSE(ParseNodeStatus(answer.substr(0, n), &name, &group)) << n;
    std::string lie = answer;
    lie[12 + 34 + 10] = '\x7f';   // more names than the data holds
    EXPECT_FALSE(ParseNodeStatus(lie, &name, &group));
    EXPECT_FALSE(ParseNodeStatus(NodeStatus({{"BAD NAME", {0x00, false}}, {"G", {0x00, true}}}), &name, &group))
        << "only a name no computer may have";
    const std::string query = NodeStatusQuery(1);
    EXPECT_EQ(query.substr(12, 34), std::string(1, 32) + "CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" + std::string(1, '\0'));
    EXPECT_EQ(query.substr(46), std::string("\x00\x21\x00\x01", 4));
}

TEST(Discovery, RangesStayWithinASlash22)
{
    Range r;
    ASSERT_TRUE(ParseRange("127.77.0.9/24", &r));
    EXPECT_TRUE(r.Contains(ntohl(Ip("127.77.0.200"))));
    EXPECT_FALSE(r.Contains(ntohl(Ip("127.77.1.1"))));
    EXPECT_TRUE(ParseRange("10.0.0.0/22", &r));
    for (const char* bad : {"10.0.0.0/21", "10.0.0.0/8", "10.0.0/24", "10.0.0.0/", "10.0.0.0/x", "nas/24"})
        EXPECT_FALSE(ParseRange(bad, &r)) << bad;
}

class CredentialsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/ferrolink-credentials-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        m_dir = dir;
        m_path = m_dir + "/credentials";
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    void Write(const std::string& text, mode_t mode)
    {
        std::ofstream(m_path) << text;
        chmod(m_path.c_str(), mode);
    }
    std::string m_dir, m_path;
};

TEST_F(CredentialsFile, OnlyTheOwnersAndOnlyTheFormat)
{
    Credentials c;
    std::string why;
    Write("username = clerk\npassword = s3cret = yes\ndomain = OFFICE\n", 0600);
    ASSERT_TRUE(ReadCredentials(m_path, &c, &why)) << why;
    EXPECT_EQ(c.user, "clerk");
    EXPECT_EQ(c.password, "s3cret = yes");
    EXPECT_EQ(c.domain, "OFFICE");

    const struct {
        const char* text;
        mode_t mode;
    } refused[] = {
        {"username = clerk\npassword = s3cret\n", 0644},
        {"username = clerk\npassword = s3cret\n", 0640},
        {"username = clerk\nsecret = s3cret\n", 0600},
        {"password = s3cret\n", 0600},
        {"just a line s3cret\n", 0600},
    };
    for (const auto& r : refused) {
        Write(r.text, r.mode);
        EXPECT_FALSE(ReadCredentials(m_path, &c, &why)) << r.text;
        EXPECT_EQ(why.find("s3cret"), std::string::npos) << "the reason never shows the password: " << why;
        EXPECT_TRUE(c.user.empty() && c.password.empty());
    }
    Write("username = clerk\n", 0600);
    ASSERT_EQ(symlink(m_path.c_str(), (m_dir + "/link").c_str()), 0);
    EXPECT_FALSE(ReadCredentials(m_dir + "/link", &c, &why)) << "a link is not followed";
    if (getuid() == 0) {
        ASSERT_EQ(chown(m_path.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(ReadCredentials(m_path, &c, &why)) << "another user's file";
    }
}

} // namespace
