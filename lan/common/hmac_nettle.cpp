#include "lan/common/hmac.h"
#include <nettle/hmac.h>
#include <nettle/memops.h>

namespace lanproto {

std::string HmacSha256(const std::string& key, const std::string& data)
{
    hmac_sha256_ctx ctx;
    hmac_sha256_set_key(&ctx, key.size(), reinterpret_cast<const uint8_t*>(key.data()));
    hmac_sha256_update(&ctx, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    std::string mac(SHA256_DIGEST_SIZE, '\0');
    hmac_sha256_digest(&ctx, SHA256_DIGEST_SIZE, reinterpret_cast<uint8_t*>(&mac[0]));
    return mac;
}

bool SameBytes(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && memeql_sec(a.data(), b.data(), a.size());
}

} // namespace lanproto
