// A DNS-SD answer, as the pass meets it: read with glibc's resolver.
#include <cstdint>
#include <string>
#include <vector>
#include "lan/helper/dnssd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace discovery::dnssd;
    const std::string packet(reinterpret_cast<const char*>(data), size);
    const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
    std::vector<Host> hosts;
    ParseAnswer(packet, id, &hosts);
    std::vector<std::string> why;
    Accept(0x10004D7F, kPort, packet, id, &why);
    return 0;
}
