// The Windows side's one call to the helper: a request over loopback TCP,
// with a time limit on every step, and the reply read whole and checked.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "lan/protocol.h"

namespace lanclient {

// No well-formed answer in time: no helper listening, one too slow, one that
// died mid-answer or sent something malformed.
constexpr uint32_t kUnreachable = 0xFFFFFFFFu;

// The longest a request may take in all, and a connection to be accepted.
constexpr DWORD kRequestMs = 8000;
constexpr DWORD kConnectMs = 1000;
constexpr unsigned short kDefaultPort = 14445;

// 0 and the records; the helper's error code; or kUnreachable.
uint32_t Ask(lanproto::Verb verb, const std::string& argument, std::vector<lanproto::Record>* records);

// UTF-8 to UTF-16 and back; false for text that does not convert.
bool Wide(const std::string& utf8, std::wstring* out);
std::string Utf8(const wchar_t* text);

} // namespace lanclient
