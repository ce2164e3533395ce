#include "lan/common/hmac.h"
#include <windows.h>
#include <bcrypt.h>

namespace lanproto {

std::string HmacSha256(const std::string& key, const std::string& data)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                      BCRYPT_ALG_HANDLE_HMAC_FLAG)))
        return std::string();
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::string mac(32, '\0');
    // BCrypt takes non-const buffers; it does not write to them.
    const bool ok =
        BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0,
                                          reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                          static_cast<ULONG>(key.size()), 0)) &&
        BCRYPT_SUCCESS(::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                                        static_cast<ULONG>(data.size()), 0)) &&
        BCRYPT_SUCCESS(::BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(&mac[0]), static_cast<ULONG>(mac.size()), 0));
    if (hash)
        ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok ? mac : std::string();
}

bool SameBytes(const std::string& a, const std::string& b)
{
    // bcrypt has no comparison of its own: every byte is looked at, whatever
    // the first difference.
    if (a.size() != b.size())
        return false;
    volatile unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff = diff | static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace lanproto
