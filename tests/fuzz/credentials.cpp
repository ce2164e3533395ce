// The user's credentials file, as the helper reads it: whatever the file
// holds, the reader stays within it.
#include <cstdint>
#include <string>
#include <vector>
#include "lan/helper/credentials.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxCredentialsFile)
        return 0;
    Credentials c;
    std::vector<std::string> notes;
    ParseCredentials(std::string(reinterpret_cast<const char*>(data), size), &c, &notes);
    Wipe(&c);
    return 0;
}
