// DNS-SD over multicast DNS (RFC 6763, RFC 6762): the computers whose SMB
// server is announced as _smb._tcp.local (Avahi, macOS). One query for its
// PTR records goes to 224.0.0.251:5353 from a port of our own; responders
// answer such a one-shot query by unicast, from port 5353, with its id,
// naming each instance (PTR), the host that serves it (SRV) and that host's
// address (A). The messages are read with glibc's resolver library.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace discovery::dnssd {

constexpr uint16_t kPort = 5353;
extern const char kGroup[];   // "224.0.0.251"

std::string Query(uint16_t id);

struct Host {
    std::string name;       // the first label of the host's name, as sent
    uint32_t address = 0;   // network order
};

// The hosts an answer to the query with this id names: each instance of
// _smb._tcp.local whose SRV record and whose host's A record it carries.
// False when it is no such answer.
bool ParseAnswer(const std::string& packet, uint16_t id, std::vector<Host>* hosts);

// What an answer from `address`:`port` tells: the hosts it names at that
// very address and with a name a computer may have; a line for the log
// for each it names otherwise, and for an answer that does not count.
std::vector<Host> Accept(uint32_t address, uint16_t port, const std::string& packet, uint16_t id,
                         std::vector<std::string>* why);

} // namespace discovery::dnssd
