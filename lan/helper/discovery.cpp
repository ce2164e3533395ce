// The pass: where each protocol's messages go, the one wait for all their
// answers, and the merge of what they tell.
#include "lan/helper/discovery.h"
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <deque>
#include <map>
#include <set>
#include "lan/helper/dnssd.h"
#include "lan/helper/netbios.h"
#include "lan/helper/now.h"
#include "lan/helper/wsd.h"

namespace discovery {

namespace {

constexpr int kSweepPerSecond = 300;   // node status queries a second, at most
constexpr int kBurst = 10;             // at once, after the pass was held up
constexpr size_t kWaiting = 100;       // queries waiting for their answer, at most
constexpr int kQueryMs = 300;          // how long a query waits for its answer
constexpr int kTickMs = 10;            // the pace's step
constexpr size_t kPerSocket = 64;      // destinations one socket takes (below)
constexpr size_t kMaxFetches = 64, kMaxRefusals = 32, kMaxDatagram = 65535, kReadsPerWake = 64;
constexpr unsigned char kWsdTtl = 1, kMdnsTtl = 255;

uint16_t RandomId()
{
    uint16_t id = 0;
    if (getrandom(&id, sizeof id, 0) != sizeof id)
        id = static_cast<uint16_t>(NowMs() * 2654435761u >> 16);
    return id;
}

uint32_t Ip(const char* dotted)
{
    in_addr a = {};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

uint32_t Mask(int bits)
{
    return bits <= 0 ? 0 : ~0u << (32 - bits);
}

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

// The sockets one kind of message goes out on. A datagram to an address
// nobody holds keeps its socket's room until the neighbour look-up gives
// up, seconds later: so each socket takes only so many addresses.
class Pool {
public:
    ~Pool()
    {
        for (int fd : fds)
            if (fd >= 0)
                close(fd);
    }
    int Next()
    {
        if (m_used++ % kPerSocket == 0)
            fds.push_back(UdpSocket());
        return fds.back();
    }
    std::vector<int> fds;

private:
    size_t m_used = 0;
};

// A local subnet discovery works on: an interface's first IPv4 address.
struct Subnet {
    std::string interface;
    uint32_t address = 0;   // network order
    Range range;            // the whole subnet: answers from it are local
    Range sweep;            // the part of it that is swept
};

// Whether the kernel backs this interface with a device (a network card,
// wired or wireless, or a virtual machine's own); bridges, veth pairs,
// tun/tap, container and VPN interfaces are the kernel's alone.
bool Hardware(const std::string& name)
{
    return access(("/sys/class/net/" + name + "/device").c_str(), F_OK) == 0;
}

std::vector<Subnet> LocalSubnets(const std::vector<InterfaceChoice>& named, std::vector<std::string>* why)
{
    std::vector<Subnet> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    std::set<std::string> seen;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || !i->ifa_netmask || !i->ifa_name || i->ifa_addr->sa_family != AF_INET ||
            !(i->ifa_flags & IFF_UP) || !(i->ifa_flags & IFF_RUNNING) || (i->ifa_flags & IFF_LOOPBACK) ||
            !seen.insert(i->ifa_name).second)
            continue;
        int bits = 24;
        if (named.empty()) {
            if ((i->ifa_flags & IFF_POINTOPOINT) || !Hardware(i->ifa_name))
                continue;
        } else {
            const auto choice = std::find_if(named.begin(), named.end(),
                                             [i](const InterfaceChoice& c) { return c.name == i->ifa_name; });
            if (choice == named.end())
                continue;
            bits = choice->bits;
        }
        Subnet s;
        s.interface = i->ifa_name;
        s.address = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        const uint32_t mask = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
        s.range.bits = 0;
        while (s.range.bits < 32 && (mask & (0x80000000u >> s.range.bits)))
            ++s.range.bits;
        s.range.network = ntohl(s.address) & Mask(s.range.bits);
        s.sweep.bits = std::max(s.range.bits, bits);
        s.sweep.network = ntohl(s.address) & Mask(s.sweep.bits);
        out.push_back(s);
    }
    freeifaddrs(list);
    for (const InterfaceChoice& c : named)
        if (!seen.count(c.name))
            why->push_back("the interface " + c.name + " named for discovery is not up with an IPv4 address");
    return out;
}

// The addresses of a range but its network and broadcast addresses, in
// network order.
std::vector<uint32_t> Hosts(const Range& sweep, const Range& subnet)
{
    std::vector<uint32_t> out;
    const uint32_t size = sweep.bits >= 32 ? 1 : 1u << (32 - sweep.bits);
    const uint32_t broadcast = subnet.network | ~Mask(subnet.bits);
    for (uint32_t i = 0; i < size && i < 4096; ++i) {
        const uint32_t a = sweep.network + i;
        if (subnet.bits <= 30 && (a == subnet.network || a == broadcast))
            continue;
        out.push_back(htonl(a));
    }
    return out;
}

int Rank(const std::string& how)
{
    return how == "NetBIOS" ? 0 : how == "WS-Discovery" ? 1 : 2;
}

// A datagram to go out; where it waits while its socket's queue is full.
struct Outgoing {
    int fd;
    std::string data;
    uint32_t address;     // network order
    uint16_t port;
    uint32_t interface;   // for a multicast group: the interface's address
};

class Pass {
public:
    Pass(const Options& options, std::vector<std::string>* refusals) : m_options(options), m_refusals(refusals) {}
    std::vector<Computer> Run();

private:
    void Refuse(const std::string& why)
    {
        if (!why.empty() && m_refusals && m_refusals->size() < kMaxRefusals)
            m_refusals->push_back(why);
    }
    bool Inside(uint32_t address) const
    {
        for (const Range& r : m_allowed)
            if (r.Contains(ntohl(address)))
                return true;
        return false;
    }
    uint32_t InterfaceFor(uint32_t address) const
    {
        for (const Subnet& s : m_subnets)
            if (s.range.Contains(ntohl(address)))
                return s.address;
        return 0;
    }
    void Plan();
    void Sweep(long long now);
    void Flush();
    void Read(int fd, int kind);
    void Netbios(uint32_t from, uint16_t port, const std::string& packet);
    void Mdns(uint32_t from, uint16_t port, const std::string& packet);
    void Wsd(uint32_t from, const std::string& packet);
    void Metadata(const wsd::Fetches::Done& done);
    void Found(const Computer& c);

    const Options& m_options;
    std::vector<std::string>* m_refusals;
    bool m_test = false;
    std::vector<Subnet> m_subnets;
    std::vector<Range> m_allowed;
    std::vector<uint32_t> m_sweep;
    size_t m_swept = 0;
    long long m_credit = 1000, m_paced = 0;
    std::deque<std::pair<uint32_t, long long>> m_waiting;   // address, when asked
    std::set<uint32_t> m_answered;
    std::deque<Outgoing> m_out;
    Pool m_netbiosPool, m_wsdPool, m_mdnsPool;
    int m_wsd = -1, m_mdns = -1;
    netbios::Queries m_netbios;
    uint16_t m_mdnsId = 0;
    std::string m_probeId, m_probe, m_mdnsQuery;
    std::map<uint32_t, std::pair<std::string, std::string>> m_resolving;   // address: id, endpoint
    std::set<uint32_t> m_fetched;
    wsd::Fetches m_fetches;
    long long m_start = 0, m_sweepEnd = -1, m_answerEnd = 0;
    std::vector<Computer> m_found;
    std::set<std::pair<uint32_t, int>> m_told;   // address, protocol
    std::set<uint32_t> m_addresses;              // of m_found
};

void Pass::Plan()
{
    m_test = !m_options.testHosts.empty();
    if (m_test) {
        m_allowed = m_options.testHosts;
        for (const Range& r : m_options.testHosts) {
            Range whole = r;
            for (uint32_t a : Hosts(r, whole))
                m_sweep.push_back(a);
        }
    } else {
        std::vector<std::string> why;
        m_subnets = LocalSubnets(m_options.interfaces, &why);
        for (const std::string& w : why)
            Refuse(w);
        for (const Subnet& s : m_subnets) {
            m_allowed.push_back(s.range);
            for (uint32_t a : Hosts(s.sweep, s.range))
                if (a != s.address)
                    m_sweep.push_back(a);
        }
    }
    std::sort(m_sweep.begin(), m_sweep.end(), [](uint32_t a, uint32_t b) { return ntohl(a) < ntohl(b); });
    m_sweep.erase(std::unique(m_sweep.begin(), m_sweep.end()), m_sweep.end());
}

// The node status queries that the pace allows now (in test worlds each
// address is sent the WS-Discovery probe and the mDNS query too).
void Pass::Sweep(long long now)
{
    while (!m_waiting.empty() &&
           (m_waiting.front().second + kQueryMs <= now || m_answered.count(m_waiting.front().first)))
        m_waiting.pop_front();
    // Credit in thousandths of a query: the pace's, never more than a burst.
    m_credit = std::min<long long>(kBurst * 1000, m_credit + (now - m_paced) * kSweepPerSecond);
    m_paced = now;
    while (m_swept < m_sweep.size() && m_credit >= 1000 && m_waiting.size() < kWaiting) {
        m_credit -= 1000;
        const uint32_t a = m_sweep[m_swept++];
        const uint16_t id = RandomId();
        m_netbios.Asked(a, id);
        m_out.push_back({m_netbiosPool.Next(), netbios::StatusQuery(id), a, netbios::kPort, 0});
        if (m_test) {
            m_out.push_back({m_wsdPool.Next(), m_probe, a, wsd::kPort, 0});
            m_out.push_back({m_mdnsPool.Next(), m_mdnsQuery, a, dnssd::kPort, 0});
        }
        m_waiting.emplace_back(a, now);
    }
    if (m_sweepEnd < 0 && m_swept == m_sweep.size())
        m_sweepEnd = now;
}

// As much as the sockets take; the rest a little later.
void Pass::Flush()
{
    for (auto it = m_out.begin(); it != m_out.end();) {
        if (it->interface) {
            in_addr from;
            from.s_addr = it->interface;
            setsockopt(it->fd, IPPROTO_IP, IP_MULTICAST_IF, &from, sizeof from);
        }
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = it->address;
        to.sin_port = htons(it->port);
        const bool full = sendto(it->fd, it->data.data(), it->data.size(), 0, reinterpret_cast<sockaddr*>(&to),
                                 sizeof to) < 0 &&
                          (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS);
        it = full ? it + 1 : m_out.erase(it);
    }
}

void Pass::Found(const Computer& c)
{
    if (!m_told.insert({c.address, Rank(c.how)}).second)
        return;   // this protocol said so already
    if (!m_addresses.count(c.address) && m_addresses.size() >= m_options.maxComputers) {
        Refuse("more computers than " + std::to_string(m_options.maxComputers) + "; the rest are left out");
        return;
    }
    m_addresses.insert(c.address);
    m_found.push_back(c);
}

void Pass::Netbios(uint32_t from, uint16_t port, const std::string& packet)
{
    netbios::Status status;
    std::string why;
    if (!m_netbios.Accept(from, port, packet, &status, &why)) {
        Refuse(why);
        return;
    }
    m_answered.insert(from);
    Found({status.name, status.workgroup, from, "NetBIOS"});
}

void Pass::Mdns(uint32_t from, uint16_t port, const std::string& packet)
{
    std::vector<std::string> why;
    for (const dnssd::Host& h : dnssd::Accept(from, port, packet, m_mdnsId, &why))
        Found({Upper(h.name), "", from, "mDNS"});
    for (const std::string& w : why)
        Refuse(w);
}

void Pass::Wsd(uint32_t from, const std::string& packet)
{
    if (m_fetched.count(from))
        return;   // asked for its metadata already
    wsd::Matches m;
    if (!wsd::ParseMatches(packet, &m)) {
        Refuse("a WS-Discovery message from " + Dotted(from) + " that is no match");
        return;
    }
    const auto resolving = m_resolving.find(from);
    if (!m.resolve && resolving != m_resolving.end())
        return;   // its probe's answer came again
    const std::string asked = m.resolve ? (resolving == m_resolving.end() ? std::string() : resolving->second.first)
                                        : m_probeId;
    wsd::Url url;
    std::string endpoint, why;
    const wsd::Next next = wsd::Consider(m, asked, from, &url, &endpoint, &why);
    if (m.resolve && !asked.empty() && m.relatesTo == asked) {
        const std::string wanted = resolving->second.second;
        m_resolving.erase(resolving);   // answered, whatever it says
        if (next == wsd::Next::Fetch && endpoint != wanted)
            return Refuse("a WS-Discovery answer from " + Dotted(from) + " for another endpoint");
    }
    if (next == wsd::Next::Resolve) {
        // No address yet: ask for it, as the probe was asked.
        const std::string id = wsd::NewUuid();
        m_resolving[from] = {id, endpoint};
        m_out.push_back({m_wsdPool.Next(), wsd::Resolve(id, endpoint), m_test ? from : Ip(wsd::kGroup),
                         wsd::kPort, m_test ? 0 : InterfaceFor(from)});
    } else if (next == wsd::Next::Fetch) {
        if (m_fetches.Running() >= kMaxFetches || m_fetched.size() >= kMaxFetches)
            return Refuse("more WS-Discovery computers than " + std::to_string(kMaxFetches) + "; the rest are left out");
        m_fetched.insert(from);
        const long limit = static_cast<long>(std::max(1LL, m_answerEnd + m_options.metadataMs - NowMs()));
        if (!m_fetches.Start(from, url, wsd::Get(wsd::NewUuid(), endpoint, wsd::NewUuid()), limit))
            Refuse("WS-Discovery metadata from " + Dotted(from) + " that could not be asked for");
    } else {
        Refuse(why);
    }
}

void Pass::Metadata(const wsd::Fetches::Done& done)
{
    std::string name, workgroup;
    if (done.late)
        Refuse("WS-Discovery metadata from " + Dotted(done.address) + " that did not come in time");
    else if (!done.ok)
        Refuse("WS-Discovery metadata from " + Dotted(done.address) + " that did not come: " + done.why);
    else if (!wsd::ParseMetadata(done.body, &name, &workgroup))
        Refuse("WS-Discovery metadata from " + Dotted(done.address) + " that names no computer");
    else
        Found({name, workgroup, done.address, "WS-Discovery"});
}

void Pass::Read(int fd, int kind)
{
    std::vector<char> buffer(kMaxDatagram);
    for (size_t n = 0; n < kReadsPerWake; ++n) {
        sockaddr_in from = {};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0)
            return;
        const uint32_t source = from.sin_addr.s_addr;
        const uint16_t port = ntohs(from.sin_port);
        if (!Inside(source)) {
            Refuse("an answer from " + Dotted(source) + ", outside the local subnets");
            continue;
        }
        const std::string packet(buffer.data(), static_cast<size_t>(got));
        if (kind == 0)
            Netbios(source, port, packet);
        else if (kind == 1)
            Mdns(source, port, packet);
        else
            Wsd(source, packet);
    }
}

std::vector<Computer> Pass::Run()
{
    m_start = m_paced = NowMs();
    Plan();
    if (m_sweep.empty() && m_subnets.empty())
        return {};   // nowhere to ask
    m_probeId = wsd::NewUuid();
    m_probe = wsd::Probe(m_probeId);
    m_mdnsId = RandomId();
    m_mdnsQuery = dnssd::Query(m_mdnsId);
    m_wsd = m_wsdPool.Next();
    m_mdns = m_mdnsPool.Next();
    if (m_wsd < 0 || m_mdns < 0)
        return {};
    if (!m_test) {
        // Once on each interface, to the groups; never looped back to this
        // machine's own daemons.
        const unsigned char off = 0;
        setsockopt(m_wsd, IPPROTO_IP, IP_MULTICAST_TTL, &kWsdTtl, sizeof kWsdTtl);
        setsockopt(m_mdns, IPPROTO_IP, IP_MULTICAST_TTL, &kMdnsTtl, sizeof kMdnsTtl);
        for (int fd : {m_wsd, m_mdns})
            setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off);
        for (const Subnet& s : m_subnets) {
            m_out.push_back({m_wsd, m_probe, Ip(wsd::kGroup), wsd::kPort, s.address});
            m_out.push_back({m_mdns, m_mdnsQuery, Ip(dnssd::kGroup), dnssd::kPort, s.address});
        }
    }
    // The sweep's own time, at its pace, on top of the wait for answers.
    const long long sweepMs = static_cast<long long>(m_sweep.size()) * 1000 / kSweepPerSecond + kQueryMs;
    const long long deadline = m_start + std::max<long long>(m_options.waitMs, sweepMs) + m_options.metadataMs + 100;
    for (;;) {
        const long long now = NowMs();
        Sweep(now);
        Flush();
        m_answerEnd = std::max<long long>(m_start + m_options.waitMs, (m_sweepEnd < 0 ? now : m_sweepEnd) + kQueryMs);
        const bool pending = m_fetches.Running() > 0 || !m_resolving.empty();
        if (now >= deadline || (m_sweepEnd >= 0 && now >= m_answerEnd &&
                                (!pending || now >= m_answerEnd + m_options.metadataMs)))
            break;
        std::vector<pollfd> fds;
        std::vector<int> kinds;
        int kind = 0;
        for (const Pool* pool : {&m_netbiosPool, &m_mdnsPool, &m_wsdPool}) {
            for (int fd : pool->fds)
                if (fd >= 0) {
                    fds.push_back({fd, POLLIN, 0});
                    kinds.push_back(kind);
                }
            ++kind;
        }
        const long long until = m_sweepEnd < 0 || !m_out.empty() ? now + kTickMs
                                : now < m_answerEnd              ? m_answerEnd
                                                                 : std::min(deadline, m_answerEnd + m_options.metadataMs);
        m_fetches.Wait(&fds, static_cast<int>(std::max(1LL, until - now)));
        for (size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                Read(fds[i].fd, kinds[i]);
        for (const wsd::Fetches::Done& d : m_fetches.Collect())
            Metadata(d);
    }
    for (uint32_t a : m_fetches.Unfinished())
        Refuse("WS-Discovery metadata from " + Dotted(a) + " that did not come in time");
    return Merge(m_found, m_refusals);
}

// The "/BITS" after `slash` (none: `otherwise`); a /22 at most.
bool ParseBits(const std::string& text, size_t slash, int otherwise, int* bits)
{
    *bits = otherwise;
    if (slash == std::string::npos)
        return true;
    const std::string b = text.substr(slash + 1);
    if (b.empty() || b.size() > 2 || b.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *bits = std::stoi(b);
    return *bits >= 22 && *bits <= 32;
}

} // namespace

bool Range::Contains(uint32_t hostOrder) const
{
    return (hostOrder & Mask(bits)) == (network & Mask(bits));
}

bool ParseRange(const std::string& text, Range* range)
{
    const size_t slash = text.find('/');
    in_addr a;
    if (inet_pton(AF_INET, text.substr(0, slash).c_str(), &a) != 1)
        return false;
    int bits = 0;
    if (!ParseBits(text, slash, 32, &bits))
        return false;
    range->bits = bits;
    range->network = ntohl(a.s_addr) & Mask(bits);
    return true;
}

bool ParseInterfaceChoice(const std::string& text, InterfaceChoice* choice)
{
    const size_t slash = text.find('/');
    const std::string name = text.substr(0, slash);
    if (name.empty() || name.size() >= IFNAMSIZ || name.find_first_of("/ \t\n") != std::string::npos)
        return false;
    int bits = 0;
    if (!ParseBits(text, slash, 24, &bits))
        return false;
    choice->name = name;
    choice->bits = bits;
    return true;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Dotted(uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a;
    a.s_addr = networkOrder;
    inet_ntop(AF_INET, &a, text, sizeof text);
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

bool ReservedName(const std::string& name)
{
    in_addr a;
    return Upper(name) == "LOCALHOST" || name.find_first_not_of("0123456789") == std::string::npos ||
           inet_aton(name.c_str(), &a) != 0;
}

std::vector<Computer> Merge(const std::vector<Computer>& found, std::vector<std::string>* refusals)
{
    auto refuse = [refusals](const std::string& why) {
        if (refusals && refusals->size() < kMaxRefusals + 16)
            refusals->push_back(why);
    };
    std::map<uint32_t, Computer> byAddress;   // in host order: address order
    for (const Computer& c : found) {
        const auto known = byAddress.find(ntohl(c.address));
        if (known == byAddress.end() || Rank(c.how) < Rank(known->second.how))
            byAddress[ntohl(c.address)] = c;
    }
    std::map<std::string, std::vector<uint32_t>> claims;
    for (const auto& entry : byAddress) {
        const Computer& c = entry.second;
        if (ReservedName(c.name))
            refuse("the name " + c.name + " from " + Dotted(c.address) + ", which no computer may have");
        else
            claims[Upper(c.name)].push_back(c.address);
    }
    std::vector<Computer> out;
    for (const auto& entry : byAddress) {
        const Computer& c = entry.second;
        const auto claim = claims.find(Upper(c.name));
        if (claim == claims.end())
            continue;
        const std::vector<uint32_t>& by = claim->second;
        if (by.size() == 1) {
            out.push_back(c);
        } else if (by.front() == c.address) {
            std::string who = Dotted(by[0]) + " and " + Dotted(by[1]);
            if (by.size() > 2)
                who = Dotted(by[0]) + ", " + Dotted(by[1]) + " and " + std::to_string(by.size() - 2) + " more";
            refuse("the name " + c.name + ", claimed by " + who + ": it is nobody's");
        }
    }
    return out;
}

std::vector<Computer> Discover(const Options& options, std::vector<std::string>* refusals)
{
    return Pass(options, refusals).Run();
}

} // namespace discovery
