#include "lan/helper/netbios.h"
#include "lan/helper/discovery.h"

namespace discovery::netbios {

namespace {

constexpr uint16_t kNbstat = 0x21, kInternet = 1;
// A node name's flags (RFC 1002, 4.2.18).
constexpr uint16_t kGroup = 0x8000, kDeregistering = 0x1000, kConflict = 0x0800, kActive = 0x0400;

void PutU16(std::string* out, uint16_t v)
{
    *out += static_cast<char>(v >> 8);
    *out += static_cast<char>(v & 0xFF);
}

bool U16(const std::string& p, size_t at, uint16_t* v)
{
    if (at > p.size() || p.size() - at < 2)
        return false;
    *v = static_cast<uint16_t>(static_cast<unsigned char>(p[at]) << 8 | static_cast<unsigned char>(p[at + 1]));
    return true;
}

// Steps over the name at `*pos`: labels to an empty one, or up to a
// pointer, which ends a name (nobody compresses these; we need not follow).
bool SkipName(const std::string& p, size_t* pos)
{
    size_t at = *pos;
    for (size_t total = 0; at < p.size();) {
        const unsigned char len = static_cast<unsigned char>(p[at]);
        if (len == 0) {
            *pos = at + 1;
            return true;
        }
        if ((len & 0xC0) == 0xC0) {
            if (p.size() - at < 2)
                return false;
            *pos = at + 2;
            return true;
        }
        if ((len & 0xC0) || (total += len + 1u) > 255)
            return false;
        at += 1 + len;
    }
    return false;
}

} // namespace

std::string StatusQuery(uint16_t id)
{
    std::string q;
    PutU16(&q, id);
    PutU16(&q, 0);   // a query, not broadcast
    PutU16(&q, 1);   // one question
    PutU16(&q, 0);
    PutU16(&q, 0);
    PutU16(&q, 0);
    // The name "*" padded with zero bytes, each half-byte as a letter from 'A'.
    q += static_cast<char>(32);
    const unsigned char name[16] = {'*'};
    for (unsigned char c : name) {
        q += static_cast<char>('A' + (c >> 4));
        q += static_cast<char>('A' + (c & 15));
    }
    q += '\0';
    PutU16(&q, kNbstat);
    PutU16(&q, kInternet);
    return q;
}

bool ParseStatus(const std::string& p, uint16_t* id, Status* status)
{
    status->name.clear();
    status->workgroup.clear();
    uint16_t flags, questions, answers;
    if (!U16(p, 0, id) || !U16(p, 2, &flags) || !U16(p, 4, &questions) || !U16(p, 6, &answers))
        return false;
    // A response (R), to a query (opcode 0), without an error (rcode 0).
    if (!(flags & 0x8000) || (flags & 0x7800) || (flags & 0x000F) || answers < 1)
        return false;
    size_t pos = 12;
    for (uint16_t i = 0; i < questions; ++i) {
        if (!SkipName(p, &pos) || p.size() - pos < 4)
            return false;
        pos += 4;
    }
    uint16_t type, klass, length;
    if (!SkipName(p, &pos) || !U16(p, pos, &type) || !U16(p, pos + 2, &klass) || !U16(p, pos + 8, &length))
        return false;
    const size_t data = pos + 10;
    if (type != kNbstat || klass != kInternet || length < 1 || p.size() - data < length)
        return false;
    const unsigned count = static_cast<unsigned char>(p[data]);
    if (1 + count * 18u > length)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        const size_t at = data + 1 + i * 18;
        std::string name = p.substr(at, 15);
        name.erase(name.find_last_not_of(' ') + 1);
        const unsigned char suffix = static_cast<unsigned char>(p[at + 15]);
        uint16_t nameFlags;
        U16(p, at + 16, &nameFlags);
        if (!ValidName(name) || !(nameFlags & kActive) || (nameFlags & (kConflict | kDeregistering)))
            continue;
        if (!(nameFlags & kGroup) && (suffix == 0x00 || suffix == 0x20) && status->name.empty())
            status->name = Upper(name);
        else if ((nameFlags & kGroup) && suffix == 0x00 && status->workgroup.empty())
            status->workgroup = Upper(name);
    }
    return !status->name.empty();
}

bool Queries::Accept(uint32_t address, uint16_t port, const std::string& packet, Status* status, std::string* why)
{
    why->clear();
    const auto asked = m_asked.find(address);
    if (asked == m_asked.end() || port != kPort) {
        *why = "a NetBIOS answer from " + Dotted(address) + ":" + std::to_string(port) + ", which was not asked";
        return false;
    }
    uint16_t id = 0;
    const bool named = ParseStatus(packet, &id, status);
    if (packet.size() < 2 || id != asked->second.id) {
        *why = "a NetBIOS answer from " + Dotted(address) + " to no query of ours";
        return false;
    }
    if (asked->second.answered)
        return false;   // it said so already
    asked->second.answered = true;
    if (!named)
        *why = "a NetBIOS answer from " + Dotted(address) + " that names no computer";
    return named;
}

} // namespace discovery::netbios
