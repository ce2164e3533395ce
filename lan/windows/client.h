// The Windows side's one call to the helper: a request over loopback TCP,
// made with the key the helper left in its key file, with a time limit on
// every step, and the reply read whole and checked to be the helper's.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "lan/common/protocol.h"

namespace lanclient {

// No helper answered as it should: none configured or listening, one too
// slow, one that died mid-answer, sent something malformed or did not hold
// the key. Each is one line in the helper's log; the callers answer as
// Windows does when there is no network at all.
constexpr uint32_t kNoHelper = 0xFFFFFFFFu;

// The longest a request may take in all, and a connection to be accepted.
// The helper answers within 6 s of the connection.
constexpr DWORD kRequestMs = 8000;
constexpr DWORD kConnectMs = 1000;

// The environment variable that names the helper's key file (a Linux path,
// or a Windows one).
constexpr char kKeyVariable[] = "FERROLINK_LAN_KEY";

// 0 and the records; the helper's error code; or kNoHelper.
uint32_t Ask(lanproto::Verb verb, const std::string& argument, std::vector<lanproto::Record>* records);

// UTF-8 to UTF-16, what is not UTF-8 as U+FFFD; and back.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* text);

} // namespace lanclient
