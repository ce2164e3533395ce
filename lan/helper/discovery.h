// Computers that no browse list names: those of today's networks announce
// themselves by WS-Discovery (Windows 10 and later, Samba hosts with wsdd)
// and DNS-SD over mDNS (Avahi, macOS), and most still answer a NetBIOS node
// status query with their name and workgroup (Windows, Samba's nmbd). One
// pass asks all three at once, for a bounded time, and keeps only answers
// whose address is the one they came from and lies on the local subnets.
//
// On a real network the WS-Discovery probe and the mDNS query go to their
// multicast groups and the node status queries to each address of each
// local IPv4 subnet (a /22 at most). Given test hosts instead, every
// message goes to each of those addresses, and nothing multicasts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace discovery {

struct Computer {
    std::string name;        // upper case
    std::string workgroup;   // upper case; empty when it told none
    uint32_t address = 0;    // IPv4, in network order
    std::string how;         // "WS-Discovery", "mDNS", "NetBIOS"
};

// An IPv4 range: a network address and a prefix length.
struct Range {
    uint32_t network = 0;    // host order
    int bits = 32;
    bool Contains(uint32_t hostOrder) const;
};
bool ParseRange(const std::string& text, Range* range);   // "127.77.0.0/24"

struct Options {
    std::vector<Range> testHosts;   // non-empty: unicast to these only
    int waitMs = 1000;              // for the answers to the queries
    int metadataMs = 1000;          // then for what was begun: a WS-Discovery
                                    // address asked for, metadata fetched
    size_t maxComputers = 1024;
};

// One pass of discovery; a line of the log for each answer refused.
std::vector<Computer> Discover(const Options& options, std::vector<std::string>* refusals);

// ---- The messages, and what is read from their answers ----

// A computer name as the tree may show it: 1 to 63 letters, digits, '-'
// and '_' (a DNS label; NetBIOS names are shorter still).
bool ValidName(const std::string& name);
std::string Upper(std::string text);

// WS-Discovery (SOAP over UDP 3702; metadata over HTTP).
std::string ProbeMessage(const std::string& messageId);
std::string ResolveMessage(const std::string& messageId, const std::string& endpoint);
std::string GetMessage(const std::string& messageId, const std::string& endpoint);
// The text of every element with this local name, whatever its prefix.
std::vector<std::string> ElementTexts(const std::string& xml, const std::string& localName);
struct Match {
    std::string endpoint;                // urn:uuid:...
    std::vector<std::string> xaddrs;     // http://...
};
// A ProbeMatch or ResolveMatch; false when it holds no endpoint.
bool ParseMatch(const std::string& xml, Match* match);
// The pub:Computer value "NAME/Workgroup:WG" (or "/Domain:D").
bool ParseComputer(const std::string& xml, std::string* name, std::string* workgroup);
bool ParseHttpUrl(const std::string& url, uint32_t* address, uint16_t* port, std::string* path);
std::string HttpPost(const std::string& host, uint16_t port, const std::string& path, const std::string& body);
// The body of a whole HTTP/1.x response with status 200.
bool ParseHttpResponse(const std::string& raw, std::string* body);

// DNS-SD: the PTR query for _smb._tcp.local, and the hosts its answers
// name (PTR to SRV to A).
std::string MdnsQuery(uint16_t id);
struct MdnsHost {
    std::string name;     // the first label of the host name
    uint32_t address = 0; // network order
};
bool ParseMdns(const std::string& packet, std::vector<MdnsHost>* hosts);

// NetBIOS node status (UDP 137).
std::string NodeStatusQuery(uint16_t id);
bool ParseNodeStatus(const std::string& packet, std::string* name, std::string* workgroup);

} // namespace discovery
