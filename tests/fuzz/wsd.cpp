// A WS-Discovery answer or a computer's metadata, as the pass meets them:
// read with expat, then the rules for what they lead to.
#include <cstdint>
#include <string>
#include "lan/helper/wsd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace discovery::wsd;
    const std::string xml(reinterpret_cast<const char*>(data), size);
    Matches m;
    if (ParseMatches(xml, &m)) {
        for (const Match& match : m.matches) {
            ValidEndpoint(match.endpoint);
            Resolve("urn:uuid:1", match.endpoint);
            for (const std::string& x : match.xaddrs) {
                Url url;
                if (ParseUrl(x, &url))
                    UrlText(url);
            }
        }
        Url url;
        std::string endpoint, why;
        Consider(m, m.relatesTo, 0x0D004D7F, &url, &endpoint, &why);
    }
    std::string name, workgroup;
    ParseMetadata(xml, &name, &workgroup);
    ParseComputer(xml, &name, &workgroup);
    return 0;
}
