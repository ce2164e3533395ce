// The user's credentials file, as the helper reads it: whatever the file
// holds, the reader stays within it, and no note it makes shows the
// password.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "lan/helper/credentials.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxCredentialsFile)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    Credentials c;
    std::vector<std::string> notes;
    ParseCredentials(text, &c, &notes);
    if (c.password.size() >= 4)
        for (const std::string& n : notes)
            if (n.find(c.password) != std::string::npos)
                std::abort();
    return 0;
}
