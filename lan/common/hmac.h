// HMAC-SHA-256, for the key that the helper and the Windows side share: each
// request and each reply carries a MAC over its text, so that neither side
// takes an answer from, or gives one to, anybody without the key. Each side
// takes it from its system's cryptographic library: Nettle on Linux
// (hmac_nettle.cpp), bcrypt on Windows (hmac_bcrypt.cpp).
#pragma once
#include <string>

namespace lanproto {

// The raw 32-byte MAC; empty only when the library failed.
std::string HmacSha256(const std::string& key, const std::string& data);

// Whether two MACs are the same, in a time that does not depend on where
// they differ. Texts of different lengths differ.
bool SameBytes(const std::string& a, const std::string& b);

} // namespace lanproto
