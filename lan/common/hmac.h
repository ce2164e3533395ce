// HMAC-SHA-256, for the key that the helper and the Windows side share: each
// request and each reply carries a MAC over its text, so that neither side
// takes an answer from, or gives one to, anybody without the key.
#pragma once
#include <cstdint>
#include <string>

namespace lanproto {

// The raw 32-byte digest.
std::string Sha256(const std::string& data);
std::string HmacSha256(const std::string& key, const std::string& data);

// Lower-case hexadecimal, and back; false for anything else.
std::string ToHex(const std::string& bytes);
bool FromHex(const std::string& hex, std::string* bytes);

// Compares without stopping at the first difference.
bool SameBytes(const std::string& a, const std::string& b);

} // namespace lanproto
