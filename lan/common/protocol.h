// The line protocol between the Windows side (network provider and share
// services) and the Linux helper that asks the real network. One request
// per connection, over loopback TCP:
//
//   request  VERB <TAB> ARGUMENT <TAB> NONCE <TAB> MAC <LF>
//            VERB: WORKGROUPS, SERVERS, SHARES
//   reply    OK <TAB> COUNT <LF>, COUNT record lines, END <TAB> MAC <LF>
//        or  ERR <TAB> CODE <TAB> MAC <LF>        CODE: a Windows error code
//
// Both sides hold a key that the helper draws when it starts and writes to a
// file only its user can read (KeyFile below). NONCE is 32 hexadecimal
// digits the client draws for each request. The request's MAC is the
// HMAC-SHA-256, in hexadecimal, of "request" <LF> and the line up to the TAB
// before the MAC; the reply's MAC that of "reply" <LF>, the request's nonce,
// <LF> and the reply up to the TAB before its MAC. So the helper answers only
// who holds the key, and the client takes an answer only from the helper
// that holds it, for this very request.
//
// A record's fields are separated by TABs: WORKGROUPS gives name and
// comment (the master browser), SERVERS name and comment, SHARES name, type
// (the 32-bit share type, decimal) and comment. Text is UTF-8 as far as the
// helper can make it so; a byte below 0x20, 0x7F and '%' travel as %XX.
// A frame that is cut, counted wrong or badly escaped is an error, never a
// guess; text that is not UTF-8 is not: it is shown with replacement
// characters (ValidUtf8).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lanproto {

enum class Verb { Workgroups, Servers, Shares };

// The Windows codes a reply carries besides the server service's own.
constexpr uint32_t kAccessDenied = 5;          // ERROR_ACCESS_DENIED
constexpr uint32_t kBadNetPath = 53;           // ERROR_BAD_NETPATH: a computer that cannot be reached
constexpr uint32_t kNoNetwork = 1222;          // ERROR_NO_NETWORK: no network at all
constexpr uint32_t kNoBrowserServers = 6118;   // ERROR_NO_BROWSER_SERVERS_FOUND: a workgroup's browser

// How many fields each record of a verb's reply has.
size_t FieldCount(Verb verb);
const char* VerbName(Verb verb);

// The longest request line, and the most a reply may hold.
constexpr size_t kMaxRequest = 4096;
constexpr size_t kMaxReply = 8u << 20;
constexpr size_t kMaxRecords = 100000;
constexpr size_t kNonceDigits = 32;
constexpr size_t kKeyBytes = 32;

// Lower-case hexadecimal, and back; false for anything else.
std::string ToHex(const std::string& bytes);
bool FromHex(const std::string& hex, std::string* bytes);

std::string Escape(const std::string& text);
// False when an escape is cut short or not hexadecimal.
bool Unescape(const std::string& text, std::string* out);
bool IsUtf8(const std::string& text);
// The text with each byte that is not part of a UTF-8 character replaced by
// U+FFFD.
std::string ValidUtf8(const std::string& text);

// `text` in double quotes for a log line: control characters, '%', '"',
// C1 controls and bytes that are no UTF-8 as %XX, so that no line can be
// forged and no byte reaches a terminal as a control sequence.
std::string Quote(const std::string& text);

// What a reader made of a request or a reply.
enum class Read { Ok, Malformed, WrongKey };

std::string FormatRequest(const std::string& key, Verb verb, const std::string& argument, const std::string& nonce);
// `line` without its LF.
Read ParseRequest(const std::string& key, const std::string& line, Verb* verb, std::string* argument,
                  std::string* nonce);

using Record = std::vector<std::string>;

std::string FormatOk(const std::string& key, const std::string& nonce, Verb verb, const std::vector<Record>& records);

// What the helper puts in one answer at most, whatever a server lists: the
// records after are cut off (and said in its log), rather than the whole
// answer refused by the Windows side, whose limits are higher. True when
// something was cut.
constexpr size_t kMaxListed = 10000;
constexpr size_t kMaxListedBytes = 4u << 20;   // the records as they travel, escaped
bool Cap(std::vector<Record>* records);
std::string FormatError(const std::string& key, const std::string& nonce, uint32_t code);

struct Reply {
    bool ok = false;        // an OK reply; else `error` holds the code
    uint32_t error = 0;
    std::vector<Record> records;
};

// Reads a whole reply to the request with `nonce`, as the helper sent it
// before closing. Malformed: cut short, a count that does not match, a
// record with the wrong number of fields, a bad escape, a type that is not a
// 32-bit number, trailing bytes. WrongKey: well formed, but not from the
// holder of the key.
Read ParseReply(const std::string& key, const std::string& nonce, Verb verb, const std::string& text, Reply* reply);

// A share type from its field; false unless plain decimal digits that fit
// in 32 bits.
bool ParseType(const std::string& field, uint32_t* type);

// The file the helper leaves for the Windows side: where it listens, the key
// and its log, one "name=value" line each.
struct KeyFile {
    unsigned port = 0;
    std::string key;   // kKeyBytes raw bytes
    std::string log;   // the log's path on Linux
};
std::string FormatKeyFile(const KeyFile& file);
bool ParseKeyFile(const std::string& text, KeyFile* file);

} // namespace lanproto
