#include "lan/helper/discovery.h"
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>

namespace discovery {

namespace {

const char kWsa[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char kWsd[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const uint16_t kWsdPort = 3702, kMdnsPort = 5353, kNetbiosPort = 137;
const char kWsdGroup[] = "239.255.255.250", kMdnsGroup[] = "224.0.0.251";
constexpr size_t kMaxDatagram = 65535, kMaxMetadata = 65536, kMaxFetches = 64, kMaxElements = 256;

long long NowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

std::string Uuid()
{
    unsigned char b[16] = {};
    if (getrandom(b, sizeof b, 0) != sizeof b) {
        const long long t = NowMs();
        std::memcpy(b, &t, sizeof t);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text, "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string Envelope(const std::string& to, const std::string& action, const std::string& messageId,
                     const std::string& headerExtra, const std::string& body)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                       "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:wsa=\"") +
           kWsa + "\" xmlns:wsd=\"" + kWsd +
           "\" xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"><soap:Header><wsa:To>" + to +
           "</wsa:To><wsa:Action>" + action + "</wsa:Action><wsa:MessageID>" + messageId + "</wsa:MessageID>" +
           headerExtra + "</soap:Header><soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string XmlUnescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t end = text.find(';', i);
        if (end == std::string::npos || end - i > 10) {
            out += text[i];
            continue;
        }
        const std::string entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp")
            out += '&';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else
            out += '?';   // a character reference: nothing a name may hold
        i = end;
    }
    return out;
}

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return std::string();
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// ---- DNS names, as mDNS and NetBIOS write them ----

// Reads a name at `*pos` (following compression pointers, at most 32 of
// them, at most 255 bytes); false when it is malformed.
bool DnsName(const std::string& p, size_t* pos, std::vector<std::string>* labels)
{
    labels->clear();
    size_t at = *pos, total = 0;
    bool jumped = false;
    for (int jumps = 0; jumps < 32;) {
        if (at >= p.size())
            return false;
        const unsigned char len = static_cast<unsigned char>(p[at]);
        if (len == 0) {
            if (!jumped)
                *pos = at + 1;
            return true;
        }
        if ((len & 0xC0) == 0xC0) {
            if (at + 1 >= p.size())
                return false;
            if (!jumped)
                *pos = at + 2;
            jumped = true;
            at = static_cast<size_t>(len & 0x3F) << 8 | static_cast<unsigned char>(p[at + 1]);
            ++jumps;
            continue;
        }
        if ((len & 0xC0) || at + 1 + len > p.size() || (total += len + 1) > 255)
            return false;
        labels->push_back(p.substr(at + 1, len));
        at += 1 + len;
    }
    return false;
}

bool U16(const std::string& p, size_t at, uint16_t* v)
{
    if (at + 2 > p.size())
        return false;
    *v = static_cast<uint16_t>(static_cast<unsigned char>(p[at]) << 8 | static_cast<unsigned char>(p[at + 1]));
    return true;
}

std::string Joined(const std::vector<std::string>& labels)
{
    std::string out;
    for (const std::string& l : labels)
        out += (out.empty() ? "" : ".") + Upper(l);
    return out;
}

void PutU16(std::string* out, uint16_t v)
{
    *out += static_cast<char>(v >> 8);
    *out += static_cast<char>(v & 0xFF);
}

// ---- Sockets ----

int UdpSocket()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // Room for many answers at once: a default queue holds about 256 small
    // datagrams, and one host flooding its answer would crowd out the
    // others'. The system caps the size at its own maximum.
    const int room = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    sockaddr_in any = {};
    any.sin_family = AF_INET;
    bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    return fd;
}

// False when the socket's queue is full (it is non-blocking): the
// datagram is to be sent again.
bool SendTo(int fd, const std::string& data, uint32_t address, uint16_t port)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    return sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0 ||
           (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS);
}

// Datagrams waiting for room in their socket's queue.
struct Outgoing {
    int fd;
    const std::string* data;
    uint32_t address;
    uint16_t port;
};

// The sockets one kind of query goes out on. A datagram to an address
// nobody holds keeps its socket's room until the neighbour look-up gives
// up, seconds later: so each socket takes only so many addresses.
class Pool {
public:
    explicit Pool(int kind) : m_kind(kind) {}
    int Next()
    {
        if (m_count++ % 128 == 0)
            fds.push_back(UdpSocket());
        return fds.back();
    }
    int Kind() const { return m_kind; }
    std::vector<int> fds;

private:
    int m_kind;
    size_t m_count = 0;
};

// The local IPv4 subnets with their own addresses, each at most a /22 (the
// /22 around the address where the subnet is larger).
struct Local {
    Range range;
    uint32_t address = 0;   // network order
};

std::vector<Local> LocalSubnets()
{
    std::vector<Local> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || !i->ifa_netmask || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            (i->ifa_flags & IFF_LOOPBACK))
            continue;
        const uint32_t address = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        const uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
        int bits = 0;
        while (bits < 32 && (mask & (0x80000000u >> bits)))
            ++bits;
        bits = std::max(bits, 22);
        Local l;
        l.address = address;
        l.range.bits = bits;
        l.range.network = ntohl(address) & (bits ? ~0u << (32 - bits) : 0);
        out.push_back(l);
    }
    freeifaddrs(list);
    return out;
}

// Each host address of a range, in network order.
std::vector<uint32_t> Hosts(const Range& r)
{
    std::vector<uint32_t> out;
    const uint32_t size = r.bits >= 32 ? 1 : 1u << (32 - r.bits);
    for (uint32_t i = 0; i < size && i < 4096; ++i) {
        if (size > 2 && (i == 0 || i == size - 1))
            continue;   // the network and its broadcast address
        out.push_back(htonl(r.network + i));
    }
    return out;
}

std::string Dotted(uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a;
    a.s_addr = networkOrder;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// One metadata request over HTTP.
struct Fetch {
    int fd = -1;
    uint32_t address = 0;
    std::string request, reply;
    size_t sent = 0;
};

} // namespace

bool Range::Contains(uint32_t hostOrder) const
{
    const uint32_t mask = bits ? ~0u << (32 - bits) : 0;
    return (hostOrder & mask) == (network & mask);
}

bool ParseRange(const std::string& text, Range* range)
{
    const size_t slash = text.find('/');
    in_addr a;
    if (inet_pton(AF_INET, text.substr(0, slash).c_str(), &a) != 1)
        return false;
    int bits = 32;
    if (slash != std::string::npos) {
        const std::string b = text.substr(slash + 1);
        if (b.empty() || b.size() > 2 || b.find_first_not_of("0123456789") != std::string::npos)
            return false;
        bits = std::stoi(b);
        if (bits < 22 || bits > 32)
            return false;   // a /22 at most
    }
    range->bits = bits;
    range->network = ntohl(a.s_addr) & (bits ? ~0u << (32 - bits) : 0);
    return true;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool ValidName(const std::string& name)
{
    if (name.empty() || name.size() > 63)
        return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

// ---- WS-Discovery ----

std::string ProbeMessage(const std::string& messageId)
{
    return Envelope("urn:schemas-xmlsoap-org:ws:2005:04:discovery", std::string(kWsd) + "/Probe", messageId, "",
                    "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>");
}

std::string ResolveMessage(const std::string& messageId, const std::string& endpoint)
{
    return Envelope("urn:schemas-xmlsoap-org:ws:2005:04:discovery", std::string(kWsd) + "/Resolve", messageId, "",
                    "<wsd:Resolve><wsa:EndpointReference><wsa:Address>" + endpoint +
                        "</wsa:Address></wsa:EndpointReference></wsd:Resolve>");
}

std::string GetMessage(const std::string& messageId, const std::string& endpoint)
{
    return Envelope(endpoint, "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get", messageId,
                    std::string("<wsa:ReplyTo><wsa:Address>") + kWsa +
                        "/role/anonymous</wsa:Address></wsa:ReplyTo><wsa:From><wsa:Address>" + Uuid() +
                        "</wsa:Address></wsa:From>",
                    "");
}

std::vector<std::string> ElementTexts(const std::string& xml, const std::string& localName)
{
    std::vector<std::string> out;
    for (size_t at = xml.find('<'); at != std::string::npos && out.size() < kMaxElements; at = xml.find('<', at + 1)) {
        size_t nameStart = at + 1;
        size_t nameEnd = nameStart;
        while (nameEnd < xml.size() && xml[nameEnd] != '>' && xml[nameEnd] != '/' && xml[nameEnd] != ' ' &&
               xml[nameEnd] != '\t' && xml[nameEnd] != '\r' && xml[nameEnd] != '\n')
            ++nameEnd;
        std::string name = xml.substr(nameStart, nameEnd - nameStart);
        const size_t colon = name.find(':');
        if (colon != std::string::npos)
            name.erase(0, colon + 1);
        if (name != localName)
            continue;
        const size_t close = xml.find('>', nameEnd);
        if (close == std::string::npos)
            break;
        if (xml[close - 1] == '/') {
            out.emplace_back();
            continue;
        }
        const size_t end = xml.find('<', close + 1);
        if (end == std::string::npos)
            break;
        out.push_back(Trim(XmlUnescape(xml.substr(close + 1, end - close - 1))));
    }
    return out;
}

bool ParseMatch(const std::string& xml, Match* match)
{
    *match = Match();
    const std::vector<std::string> addresses = ElementTexts(xml, "Address");
    for (const std::string& a : addresses)
        if (a.compare(0, 9, "urn:uuid:") == 0 && a.size() <= 64) {
            match->endpoint = a;
            break;
        }
    if (match->endpoint.empty())
        return false;
    for (const std::string& list : ElementTexts(xml, "XAddrs")) {
        size_t at = 0;
        while (at < list.size() && match->xaddrs.size() < 8) {
            const size_t end = list.find_first_of(" \t\r\n", at);
            const std::string one = list.substr(at, end == std::string::npos ? std::string::npos : end - at);
            if (!one.empty())
                match->xaddrs.push_back(one);
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
    }
    return true;
}

bool ParseComputer(const std::string& xml, std::string* name, std::string* workgroup)
{
    for (const std::string& value : ElementTexts(xml, "Computer")) {
        const size_t slash = value.find('/');
        const std::string n = value.substr(0, slash);
        std::string group;
        if (slash != std::string::npos) {
            const std::string rest = value.substr(slash + 1);
            for (const char* tag : {"Workgroup:", "Domain:"})
                if (rest.compare(0, std::strlen(tag), tag) == 0)
                    group = rest.substr(std::strlen(tag));
        }
        if (!ValidName(n) || (!group.empty() && !ValidName(group)))
            return false;
        *name = Upper(n);
        *workgroup = Upper(group);
        return true;
    }
    return false;
}

bool ParseHttpUrl(const std::string& url, uint32_t* address, uint16_t* port, std::string* path)
{
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const size_t hostEnd = url.find_first_of(":/", scheme.size());
    const std::string host = url.substr(scheme.size(), hostEnd == std::string::npos ? std::string::npos
                                                                                    : hostEnd - scheme.size());
    in_addr a;
    if (inet_pton(AF_INET, host.c_str(), &a) != 1)
        return false;   // only an address: a name would need a look-up
    *address = a.s_addr;
    *port = 80;
    *path = "/";
    if (hostEnd == std::string::npos)
        return true;
    size_t at = hostEnd;
    if (url[at] == ':') {
        const size_t end = url.find('/', at);
        const std::string p = url.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long n = std::stoul(p);
        if (n == 0 || n > 65535)
            return false;
        *port = static_cast<uint16_t>(n);
        at = end;
    }
    if (at != std::string::npos)
        *path = url.substr(at);
    return path->find_first_of(" \r\n") == std::string::npos;
}

std::string HttpPost(const std::string& host, uint16_t port, const std::string& path, const std::string& body)
{
    return "POST " + path + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
           "\r\nContent-Type: application/soap+xml\r\nUser-Agent: ferrolink-lan\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

bool ParseHttpResponse(const std::string& raw, std::string* body)
{
    if (raw.compare(0, 5, "HTTP/") != 0)
        return false;
    const size_t space = raw.find(' ');
    if (space == std::string::npos || raw.compare(space + 1, 3, "200") != 0)
        return false;
    const size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    const std::string head = Upper(raw.substr(0, end));
    if (head.find("TRANSFER-ENCODING: CHUNKED") != std::string::npos)
        return false;
    *body = raw.substr(end + 4);
    const size_t length = head.find("\r\nCONTENT-LENGTH:");
    if (length != std::string::npos) {
        const size_t n = std::strtoul(head.c_str() + length + 17, nullptr, 10);
        if (n > body->size())
            return false;   // cut short
        body->resize(n);
    }
    return true;
}

// ---- DNS-SD over mDNS ----

std::string MdnsQuery(uint16_t id)
{
    std::string q;
    PutU16(&q, id);
    PutU16(&q, 0);      // a standard query
    PutU16(&q, 1);      // one question
    PutU16(&q, 0);
    PutU16(&q, 0);
    PutU16(&q, 0);
    for (const char* label : {"_smb", "_tcp", "local"}) {
        q += static_cast<char>(std::strlen(label));
        q += label;
    }
    q += '\0';
    PutU16(&q, 12);     // PTR
    PutU16(&q, 1);      // IN
    return q;
}

bool ParseMdns(const std::string& p, std::vector<MdnsHost>* hosts)
{
    hosts->clear();
    uint16_t flags, questions, answers, authority, additional;
    if (!U16(p, 2, &flags) || !U16(p, 4, &questions) || !U16(p, 6, &answers) || !U16(p, 8, &authority) ||
        !U16(p, 10, &additional) || !(flags & 0x8000))
        return false;
    size_t pos = 12;
    std::vector<std::string> labels;
    for (int i = 0; i < questions; ++i) {
        if (!DnsName(p, &pos, &labels) || pos + 4 > p.size())
            return false;
        pos += 4;
    }
    std::vector<std::string> instances;
    std::map<std::string, std::string> targets;   // instance -> host
    std::map<std::string, uint32_t> addresses;    // host -> address
    const int records = answers + authority + additional;
    for (int i = 0; i < records; ++i) {
        std::vector<std::string> owner;
        uint16_t type, klass, length;
        if (!DnsName(p, &pos, &owner) || !U16(p, pos, &type) || !U16(p, pos + 2, &klass) ||
            !U16(p, pos + 8, &length) || pos + 10 + length > p.size())
            return false;
        const size_t data = pos + 10;
        pos = data + length;
        if ((klass & 0x7FFF) != 1)
            continue;
        if (type == 12 && Joined(owner) == "_SMB._TCP.LOCAL") {
            size_t at = data;
            std::vector<std::string> instance;
            if (DnsName(p, &at, &instance) && instances.size() < 256)
                instances.push_back(Joined(instance));
        } else if (type == 33 && length >= 7) {
            size_t at = data + 6;
            std::vector<std::string> target;
            if (DnsName(p, &at, &target) && !target.empty())
                targets[Joined(owner)] = Joined(target);
        } else if (type == 1 && length == 4) {
            uint32_t a;
            std::memcpy(&a, p.data() + data, 4);
            addresses[Joined(owner)] = a;
        }
    }
    for (const std::string& instance : instances) {
        const auto target = targets.find(instance);
        if (target == targets.end())
            continue;
        const auto address = addresses.find(target->second);
        if (address == addresses.end())
            continue;
        MdnsHost h;
        h.name = target->second.substr(0, target->second.find('.'));
        h.address = address->second;
        hosts->push_back(h);
    }
    return true;
}

// ---- NetBIOS ----

std::string NodeStatusQuery(uint16_t id)
{
    std::string q;
    PutU16(&q, id);
    PutU16(&q, 0);
    PutU16(&q, 1);
    PutU16(&q, 0);
    PutU16(&q, 0);
    PutU16(&q, 0);
    // "*" and fifteen zero bytes, each half-byte as a letter from 'A'.
    q += static_cast<char>(32);
    unsigned char name[16] = {'*'};
    for (unsigned char c : name) {
        q += static_cast<char>('A' + (c >> 4));
        q += static_cast<char>('A' + (c & 15));
    }
    q += '\0';
    PutU16(&q, 0x21);   // NBSTAT
    PutU16(&q, 1);
    return q;
}

bool ParseNodeStatus(const std::string& p, std::string* name, std::string* workgroup)
{
    name->clear();
    workgroup->clear();
    uint16_t flags, answers, type, length;
    if (!U16(p, 2, &flags) || !U16(p, 6, &answers) || !(flags & 0x8000) || answers < 1)
        return false;
    size_t pos = 12;
    std::vector<std::string> owner;
    if (!DnsName(p, &pos, &owner) || !U16(p, pos, &type) || type != 0x21 || !U16(p, pos + 8, &length) ||
        pos + 10 + length > p.size() || length < 1)
        return false;
    const size_t data = pos + 10;
    const unsigned count = static_cast<unsigned char>(p[data]);
    if (1 + count * 18u > length)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        const size_t at = data + 1 + i * 18;
        std::string n = p.substr(at, 15);
        const unsigned char suffix = static_cast<unsigned char>(p[at + 15]);
        const bool group = static_cast<unsigned char>(p[at + 16]) & 0x80;
        n = n.substr(0, n.find_last_not_of(' ') + 1);
        if (!ValidName(n))
            continue;
        if (!group && (suffix == 0x00 || suffix == 0x20) && name->empty())
            *name = Upper(n);
        else if (group && suffix == 0x00 && workgroup->empty())
            *workgroup = Upper(n);
    }
    return !name->empty();
}

// ---- The pass ----

std::vector<Computer> Discover(const Options& options, std::vector<std::string>* refusals)
{
    std::vector<Range> allowed = options.testHosts;
    const bool test = !allowed.empty();
    std::vector<uint32_t> sweep;
    if (test) {
        for (const Range& r : allowed)
            for (uint32_t a : Hosts(r))
                sweep.push_back(a);
    } else {
        for (const Local& l : LocalSubnets()) {
            allowed.push_back(l.range);
            for (uint32_t a : Hosts(l.range))
                if (a != l.address)
                    sweep.push_back(a);
        }
    }
    auto inside = [&allowed](uint32_t address) {
        for (const Range& r : allowed)
            if (r.Contains(ntohl(address)))
                return true;
        return false;
    };
    auto refuse = [refusals](const std::string& why) {
        if (refusals && refusals->size() < 32)
            refusals->push_back(why);
    };

    enum { kWsd, kMdns, kNetbios };
    Pool wsdPool(kWsd), mdnsPool(kMdns), netbiosPool(kNetbios), resolvePool(kWsd);
    const int wsd = wsdPool.Next(), mdns = mdnsPool.Next();
    std::map<uint32_t, Computer> found;   // by address
    std::vector<std::unique_ptr<Fetch>> fetches;
    std::map<uint32_t, bool> asked;       // metadata asked of this address
    std::map<uint32_t, bool> resolving;   // its address asked of this computer
    if (wsd >= 0 && mdns >= 0) {
        const std::string probe = ProbeMessage(Uuid()), query = MdnsQuery(0), status = NodeStatusQuery(0x4652);
        std::deque<Outgoing> out;
        std::deque<std::string> resolves;   // the texts `out` points at
        for (uint32_t a : sweep)
            out.push_back({netbiosPool.Next(), &status, a, kNetbiosPort});
        if (test) {
            for (uint32_t a : sweep) {
                out.push_back({a == sweep.front() ? wsd : wsdPool.Next(), &probe, a, kWsdPort});
                out.push_back({a == sweep.front() ? mdns : mdnsPool.Next(), &query, a, kMdnsPort});
            }
        } else {
            // Once on each interface, to the groups.
            const unsigned char ttl = 1, mdnsTtl = 255;
            setsockopt(wsd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
            setsockopt(mdns, IPPROTO_IP, IP_MULTICAST_TTL, &mdnsTtl, sizeof mdnsTtl);
            in_addr group;
            for (const Local& l : LocalSubnets()) {
                in_addr from;
                from.s_addr = l.address;
                setsockopt(wsd, IPPROTO_IP, IP_MULTICAST_IF, &from, sizeof from);
                setsockopt(mdns, IPPROTO_IP, IP_MULTICAST_IF, &from, sizeof from);
                inet_pton(AF_INET, kWsdGroup, &group);
                SendTo(wsd, probe, group.s_addr, kWsdPort);
                inet_pton(AF_INET, kMdnsGroup, &group);
                SendTo(mdns, query, group.s_addr, kMdnsPort);
            }
        }
        const long long start = NowMs();
        std::vector<char> buffer(kMaxDatagram);
        for (;;) {
            // After the wait for answers, only what was begun is waited for:
            // an address asked for, metadata being fetched.
            const long long now = NowMs();
            bool pending = false;
            for (const auto& f : fetches)
                pending |= f->fd >= 0;
            for (const auto& r : resolving)
                pending |= r.second && !asked[r.first];
            if (now >= start + options.waitMs + options.metadataMs || (now >= start + options.waitMs && !pending))
                break;
            // As much as the sockets take; the rest a little later.
            for (auto it = out.begin(); it != out.end();)
                it = SendTo(it->fd, *it->data, it->address, it->port) ? out.erase(it) : it + 1;
            std::vector<pollfd> fds;
            std::vector<int> kinds;
            for (const Pool* pool : {&wsdPool, &mdnsPool, &netbiosPool, &resolvePool})
                for (int fd : pool->fds) {
                    fds.push_back({fd, POLLIN, 0});
                    kinds.push_back(pool->Kind());
                }
            const size_t sockets = fds.size();
            for (const auto& f : fetches)
                if (f->fd >= 0)
                    fds.push_back({f->fd, static_cast<short>(f->sent < f->request.size() ? POLLOUT : POLLIN), 0});
            const long long until = start + options.waitMs + (pending ? options.metadataMs : 0);
            poll(fds.data(), fds.size(), out.empty() ? static_cast<int>(std::max(1LL, until - now)) : 5);
            for (size_t s = 0; s < sockets; ++s) {
                if (!(fds[s].revents & POLLIN))
                    continue;
                sockaddr_in from = {};
                socklen_t fromLength = sizeof from;
                const ssize_t n = recvfrom(fds[s].fd, buffer.data(), buffer.size(), 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (n <= 0)
                    continue;
                const std::string packet(buffer.data(), static_cast<size_t>(n));
                const uint32_t source = from.sin_addr.s_addr;
                if (!inside(source)) {
                    refuse("an answer from " + Dotted(source) + ", outside the local subnets");
                    continue;
                }
                if (found.size() >= options.maxComputers && !found.count(source)) {
                    refuse("more computers than " + std::to_string(options.maxComputers) + "; the rest are left out");
                    continue;
                }
                if (kinds[s] == kNetbios) {
                    Computer c;
                    if (!ParseNodeStatus(packet, &c.name, &c.workgroup)) {
                        refuse("a NetBIOS answer from " + Dotted(source) + " that names no computer");
                        continue;
                    }
                    c.address = source;
                    c.how = "NetBIOS";
                    found[source] = c;   // NetBIOS knows best: it gives the workgroup too
                } else if (kinds[s] == kMdns) {
                    std::vector<MdnsHost> hosts;
                    ParseMdns(packet, &hosts);
                    for (const MdnsHost& h : hosts) {
                        if (h.address != source || !ValidName(h.name)) {
                            refuse("an mDNS answer from " + Dotted(source) + " for another address or name");
                            continue;
                        }
                        if (!found.count(source))
                            found[source] = {Upper(h.name), "", source, "mDNS"};
                    }
                } else {
                    Match m;
                    if (!ParseMatch(packet, &m) || asked[source])
                        continue;
                    uint32_t address = 0;
                    uint16_t port = 0;
                    std::string path;
                    bool fetched = false;
                    for (const std::string& x : m.xaddrs) {
                        if (!ParseHttpUrl(x, &address, &port, &path))
                            continue;
                        if (address != source) {
                            refuse("a WS-Discovery answer from " + Dotted(source) + " that points elsewhere");
                            continue;
                        }
                        if (fetches.size() >= kMaxFetches)
                            break;
                        auto f = std::make_unique<Fetch>();
                        f->fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                        sockaddr_in to = {};
                        to.sin_family = AF_INET;
                        to.sin_addr.s_addr = address;
                        to.sin_port = htons(port);
                        if (f->fd < 0 || (connect(f->fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
                                          errno != EINPROGRESS)) {
                            if (f->fd >= 0)
                                close(f->fd);
                            continue;
                        }
                        f->address = address;
                        f->request = HttpPost(Dotted(address), port, path, GetMessage(Uuid(), m.endpoint));
                        fetches.push_back(std::move(f));
                        asked[source] = fetched = true;
                        break;
                    }
                    if (!fetched && m.xaddrs.empty() && !resolving[source]) {
                        resolving[source] = true;
                        // No address yet: ask for it, as the probe was asked.
                        resolves.push_back(ResolveMessage(Uuid(), m.endpoint));
                        in_addr group;
                        inet_pton(AF_INET, kWsdGroup, &group);
                        out.push_back({resolvePool.Next(), &resolves.back(), test ? source : group.s_addr, kWsdPort});
                    }
                }
            }
            for (size_t i = sockets; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                Fetch* f = nullptr;
                for (auto& candidate : fetches)
                    if (candidate->fd == fds[i].fd)
                        f = candidate.get();
                if (!f)
                    continue;
                if (f->sent < f->request.size()) {
                    const ssize_t n = send(f->fd, f->request.data() + f->sent, f->request.size() - f->sent,
                                           MSG_NOSIGNAL);
                    if (n > 0)
                        f->sent += static_cast<size_t>(n);
                    else {
                        close(f->fd);
                        f->fd = -1;
                    }
                    continue;
                }
                const ssize_t n = recv(f->fd, buffer.data(), buffer.size(), 0);
                if (n > 0 && f->reply.size() + static_cast<size_t>(n) <= kMaxMetadata) {
                    f->reply.append(buffer.data(), static_cast<size_t>(n));
                    continue;
                }
                close(f->fd);
                f->fd = -1;
                std::string body, name, workgroup;
                if (n == 0 && ParseHttpResponse(f->reply, &body) && ParseComputer(body, &name, &workgroup)) {
                    if (!found.count(f->address) || found[f->address].how == "mDNS")
                        found[f->address] = {name, workgroup, f->address, "WS-Discovery"};
                } else {
                    refuse("WS-Discovery metadata from " + Dotted(f->address) + " that names no computer");
                }
            }
        }
    }
    for (const Pool* pool : {&wsdPool, &mdnsPool, &netbiosPool, &resolvePool})
        for (int fd : pool->fds)
            if (fd >= 0)
                close(fd);
    for (const auto& f : fetches)
        if (f->fd >= 0) {
            close(f->fd);
            refuse("WS-Discovery metadata from " + Dotted(f->address) + " that did not come in time");
        }
    std::vector<Computer> out;
    std::map<std::string, bool> names;
    for (const auto& entry : found) {
        if (names[entry.second.name])
            continue;   // one address a name
        names[entry.second.name] = true;
        out.push_back(entry.second);
    }
    return out;
}

} // namespace discovery
