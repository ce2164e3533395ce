// The line protocol between the Windows side (network provider and share
// services) and the Linux helper that asks the real network. One request
// per connection, over loopback TCP:
//
//   request  VERB <TAB> ARGUMENT <LF>         VERB: WORKGROUPS, SERVERS, SHARES
//   reply    OK <TAB> COUNT <LF>, COUNT record lines, END <LF>
//        or  ERR <TAB> CODE <LF>              CODE: a Windows error code
//
// A record's fields are separated by TABs: WORKGROUPS gives name and
// comment (the master browser), SERVERS name and comment, SHARES name, type
// (the 32-bit share type, decimal) and comment. Text is UTF-8; a byte below
// 0x20, 0x7F and '%' travel as %XX. Anything else is malformed: the reader
// takes it as an error, never as a guess.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lanproto {

enum class Verb { Workgroups, Servers, Shares };

// How many fields each record of a verb's reply has.
size_t FieldCount(Verb verb);
const char* VerbName(Verb verb);

// The longest request line, and the most a reply may hold.
constexpr size_t kMaxRequest = 4096;
constexpr size_t kMaxReply = 8u << 20;
constexpr size_t kMaxRecords = 100000;

std::string Escape(const std::string& text);
// False when an escape is cut short or not hexadecimal.
bool Unescape(const std::string& text, std::string* out);
bool IsUtf8(const std::string& text);

std::string FormatRequest(Verb verb, const std::string& argument);
// `line` without its LF. False for an unknown verb, a bad escape or text
// that is not UTF-8.
bool ParseRequest(const std::string& line, Verb* verb, std::string* argument);

using Record = std::vector<std::string>;

std::string FormatOk(Verb verb, const std::vector<Record>& records);
std::string FormatError(uint32_t code);

struct Reply {
    bool ok = false;        // an OK reply; else `error` holds the code
    uint32_t error = 0;
    std::vector<Record> records;
};

// Reads a whole reply as the helper sent it before closing. False when it
// is malformed in any way: cut short, a count that does not match, a record
// with the wrong number of fields, a bad escape, a type that is not a
// 32-bit number, text that is not UTF-8, trailing bytes.
bool ParseReply(Verb verb, const std::string& text, Reply* reply);

// A share type from its field; false unless plain decimal digits that fit
// in 32 bits.
bool ParseType(const std::string& field, uint32_t* type);

} // namespace lanproto
