// Computers that no browse list names: those of today's networks announce
// themselves by WS-Discovery (wsd.h: Windows 10 and later, Samba hosts with
// wsdd) and DNS-SD over mDNS (dnssd.h: Avahi, macOS), and most still answer
// a NetBIOS node status query with their name and workgroup (netbios.h:
// Windows, Samba's nmbd). One pass asks all three side by side, for a
// bounded time, and merges what they answer into one computer an address
// and one address a name.
//
// Where it asks: on each interface that is up, has an IPv4 address and is
// backed by a device (no bridge, veth, tun or other virtual interface,
// unless the user names it), the WS-Discovery probe and the mDNS query go
// to their multicast groups, and a node status query to each address of
// the interface's subnet, a /24 around its own address at most (the user
// may allow up to a /22). The sweep is paced: a few hundred queries a
// second, at most a hundred waiting for their answer, as each silent
// address costs an entry in the machine's neighbour table for seconds.
// Given test hosts instead, every message goes to each of their addresses,
// and nothing multicasts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace discovery {

struct Computer {
    std::string name;        // upper case
    std::string workgroup;   // upper case; empty when it told none
    uint32_t address = 0;    // IPv4, in network order
    std::string how;         // "NetBIOS", "WS-Discovery", "mDNS"
};

// An IPv4 range: a network address and a prefix length.
struct Range {
    uint32_t network = 0;    // host order
    int bits = 32;
    bool Contains(uint32_t hostOrder) const;
};
bool ParseRange(const std::string& text, Range* range);   // "127.77.0.0/24", a /22 at most

// An interface the user names for discovery, and how far its sweep may
// reach around its address: "br0" (a /24), "eth0/22" (a /22 at most).
struct InterfaceChoice {
    std::string name;
    int bits = 24;
};
bool ParseInterfaceChoice(const std::string& text, InterfaceChoice* choice);

struct Options {
    std::vector<Range> testHosts;              // non-empty: unicast to these only
    std::vector<InterfaceChoice> interfaces;   // non-empty: these alone, virtual or not
    int waitMs = 1000;                         // for the answers (longer while the sweep lasts)
    int metadataMs = 1000;                     // then for what was begun: a WS-Discovery
                                               // address asked for, metadata fetched
    size_t maxComputers = 1024;
};

// One pass of discovery; a line of the log for each answer or name refused.
std::vector<Computer> Discover(const Options& options, std::vector<std::string>* refusals);

// ---- The rules every protocol's answers meet ----

// A computer name as the tree may show it: 1 to 63 letters, digits, '-'
// and '_' (a DNS label; NetBIOS names are shorter still).
bool ValidName(const std::string& name);
// A name discovery never teaches: localhost, and anything a resolver would
// read as an address ("10", "0x7f000001").
bool ReservedName(const std::string& name);
std::string Upper(std::string text);
std::string Dotted(uint32_t networkOrder);

// The pass's merge: one computer an address (NetBIOS before WS-Discovery
// before mDNS: the first tells the workgroup too), in address order; a
// reserved name, or a name that two addresses claim, is nobody's (a line
// of `refusals` for each).
std::vector<Computer> Merge(const std::vector<Computer>& found, std::vector<std::string>* refusals);

} // namespace discovery
