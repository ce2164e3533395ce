// The file of what discovery found, as the helper's workers and the
// program's look-ups read it (found.h, names_line.h).
#include <cstdint>
#include <string>
#include <vector>
#include "lan/helper/found.h"
#include "lan/helper/names_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<discovery::Computer> computers;
    long long pass = 0;
    found::Parse(text, &computers, &pass, 64);
    // Each line as the names library sees one: fgets's whole line.
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, std::min<size_t>(end - at, 511));
        at = end;
        in_addr a;
        char name[64];
        ReadNamesLine(line.c_str(), &a, name);
    }
    return 0;
}
