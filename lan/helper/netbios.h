// NetBIOS node status (RFC 1002, 4.2.17 and 4.2.18; UDP 137): asked of one
// address, a computer answers with the names it holds, its own and its
// workgroup's among them (Windows, Samba's nmbd, with SMB1 on or off). No
// library on Debian exposes this message, so it is written and read here.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

namespace discovery::netbios {

constexpr uint16_t kPort = 137;

// The query for the names of whoever holds the address it is sent to.
std::string StatusQuery(uint16_t id);

struct Status {
    std::string name;        // upper case
    std::string workgroup;   // upper case; empty when it holds none
};

// A node status answer: its transaction id, the computer's name (its first
// unique name of type 00 or 20 that is active and not in conflict) and its
// workgroup (its first group name of type 00). False when the packet is no
// node status answer or names no computer.
bool ParseStatus(const std::string& packet, uint16_t* id, Status* status);

// The queries a pass has sent, and what an answer must be to count: it
// comes from port 137 of an address that was asked, with that query's id,
// and only the first counts.
class Queries {
public:
    void Asked(uint32_t address, uint16_t id) { m_asked[address] = {id, false}; }
    // What `packet`, from `address`:`port`, tells; false with the reason
    // for the log when it does not count (empty for a repeated answer).
    bool Accept(uint32_t address, uint16_t port, const std::string& packet, Status* status, std::string* why);

private:
    struct Query {
        uint16_t id;
        bool answered;
    };
    std::unordered_map<uint32_t, Query> m_asked;   // by address, network order
};

} // namespace discovery::netbios
