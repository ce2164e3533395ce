// The line protocol's frames as each side reads them: a reply as the
// DLLs read it (their reader, built natively), a request and the key file
// as the helper and the DLLs read them. The key is fixed, so the fuzzer
// meets the MAC check only as a wall; the frames before it are the input.
#include <cstdint>
#include <string>
#include "lan/common/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lanproto;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string key(kKeyBytes, 'k'), nonce(kNonceDigits, '0');
    for (Verb verb : {Verb::Workgroups, Verb::Servers, Verb::Shares}) {
        Reply reply;
        ParseReply(key, nonce, verb, text, &reply);
    }
    Verb verb;
    std::string argument, got;
    ParseRequest(key, text, &verb, &argument, &got);
    KeyFile file;
    ParseKeyFile(text, &file);
    std::string out;
    Unescape(text, &out);
    ValidUtf8(text);
    Quote(text);
    return 0;
}
