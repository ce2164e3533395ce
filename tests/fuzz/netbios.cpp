// A NetBIOS node status answer, as the pass meets it.
#include <cstdint>
#include <string>
#include "lan/helper/netbios.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace discovery::netbios;
    const std::string packet(reinterpret_cast<const char*>(data), size);
    Status status;
    uint16_t id = 0;
    ParseStatus(packet, &id, &status);
    Queries queries;
    queries.Asked(0x0B004D7F, id);
    std::string why;
    queries.Accept(0x0B004D7F, kPort, packet, &status, &why);
    return 0;
}
