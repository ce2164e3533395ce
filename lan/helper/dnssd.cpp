#include "lan/helper/dnssd.h"
#include <arpa/nameser.h>
#include <resolv.h>
#include <cstring>
#include <map>
#include "lan/helper/discovery.h"

namespace discovery::dnssd {

const char kGroup[] = "224.0.0.251";

namespace {

const char kService[] = "_smb._tcp.local";
constexpr size_t kMaxInstances = 256;

// DNS names compare without regard to ASCII case.
std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The name at `at`, inside the record's data of `length` bytes (it may
// point elsewhere in the message); false when it is malformed or runs past
// the record.
bool NameIn(const ns_msg& msg, const unsigned char* at, size_t length, std::string* name)
{
    char text[NS_MAXDNAME];
    const int used = dn_expand(ns_msg_base(msg), ns_msg_end(msg), at, text, sizeof text);
    if (used <= 0 || static_cast<size_t>(used) > length)
        return false;
    *name = Lower(text);
    return true;
}

} // namespace

std::string Query(uint16_t id)
{
    // A standard query (no recursion: mDNS has none), one question: PTR in IN.
    unsigned char q[NS_PACKETSZ] = {};
    ns_put16(id, q);
    ns_put16(1, q + 4);
    const int name = dn_comp(kService, q + NS_HFIXEDSZ, sizeof q - NS_HFIXEDSZ - NS_QFIXEDSZ, nullptr, nullptr);
    if (name <= 0)
        return std::string();
    unsigned char* end = q + NS_HFIXEDSZ + name;
    ns_put16(ns_t_ptr, end);
    ns_put16(ns_c_in, end + 2);
    return std::string(reinterpret_cast<char*>(q), static_cast<size_t>(end + NS_QFIXEDSZ - q));
}

bool ParseAnswer(const std::string& packet, uint16_t id, std::vector<Host>* hosts)
{
    hosts->clear();
    ns_msg msg;
    if (packet.size() > 65535 ||
        ns_initparse(reinterpret_cast<const unsigned char*>(packet.data()), static_cast<int>(packet.size()), &msg) != 0)
        return false;
    if (ns_msg_id(msg) != id || !ns_msg_getflag(msg, ns_f_qr) || ns_msg_getflag(msg, ns_f_opcode) != ns_o_query ||
        ns_msg_getflag(msg, ns_f_rcode) != ns_r_noerror)
        return false;
    std::vector<std::string> instances;
    std::map<std::string, std::string> targets;   // instance -> host
    std::map<std::string, uint32_t> addresses;    // host -> address
    for (ns_sect section : {ns_s_an, ns_s_ns, ns_s_ar}) {
        for (int i = 0; i < ns_msg_count(msg, section); ++i) {
            ns_rr rr;
            if (ns_parserr(&msg, section, i, &rr) != 0)
                return false;
            // The top bit of the class is mDNS's cache-flush mark.
            if ((ns_rr_class(rr) & 0x7FFF) != ns_c_in)
                continue;
            const std::string owner = Lower(ns_rr_name(rr));
            const unsigned char* data = ns_rr_rdata(rr);
            const size_t length = ns_rr_rdlen(rr);
            std::string name;
            if (ns_rr_type(rr) == ns_t_ptr && owner == kService) {
                if (NameIn(msg, data, length, &name) && instances.size() < kMaxInstances)
                    instances.push_back(name);
            } else if (ns_rr_type(rr) == ns_t_srv && length > 6) {
                // Priority, weight and port, then the host.
                if (NameIn(msg, data + 6, length - 6, &name) && !name.empty())
                    targets[owner] = name;
            } else if (ns_rr_type(rr) == ns_t_a && length == 4) {
                uint32_t a;
                std::memcpy(&a, data, 4);
                addresses[owner] = a;
            }
        }
    }
    for (const std::string& instance : instances) {
        const auto target = targets.find(instance);
        if (target == targets.end())
            continue;
        const auto address = addresses.find(target->second);
        if (address == addresses.end())
            continue;
        Host h;
        h.name = target->second.substr(0, target->second.find('.'));
        h.address = address->second;
        hosts->push_back(h);
    }
    return true;
}

std::vector<Host> Accept(uint32_t address, uint16_t port, const std::string& packet, uint16_t id,
                         std::vector<std::string>* why)
{
    std::vector<Host> out, hosts;
    if (port != kPort) {
        why->push_back("an mDNS answer from " + Dotted(address) + ":" + std::to_string(port) + ", not from port 5353");
        return out;
    }
    if (!ParseAnswer(packet, id, &hosts)) {
        why->push_back("an mDNS message from " + Dotted(address) + " that answers no query of ours");
        return out;
    }
    for (const Host& h : hosts) {
        if (h.address != address || !ValidName(h.name)) {
            why->push_back("an mDNS answer from " + Dotted(address) + " for another address or name");
            continue;
        }
        out.push_back(h);
    }
    return out;
}

} // namespace discovery::dnssd
