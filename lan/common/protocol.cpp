#include "lan/common/protocol.h"
#include "lan/common/hmac.h"

namespace lanproto {

namespace {

const char kHex[] = "0123456789ABCDEF";

void HexEscape(std::string* out, unsigned char c)
{
    *out += '%';
    *out += kHex[c >> 4];
    *out += kHex[c & 15];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseDecimal(const std::string& field, uint64_t limit, uint64_t* value)
{
    if (field.empty() || field.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > limit)
        return false;
    *value = v;
    return true;
}

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// The next line of `text` from `pos`, without its LF; false when no LF
// ends it.
bool NextLine(const std::string& text, size_t* pos, std::string* line)
{
    const size_t end = text.find('\n', *pos);
    if (end == std::string::npos)
        return false;
    line->assign(text, *pos, end - *pos);
    *pos = end + 1;
    return true;
}

// The length of the UTF-8 character at `i`, or 0 when none starts there.
size_t Utf8Length(const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t more;
    uint32_t code;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        more = 1;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        more = 2;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        more = 3;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + more >= text.size())
        return 0;
    for (size_t k = 1; k <= more; ++k) {
        const unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and what lies past U+10FFFF.
    static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return more + 1;
}

std::string Mac(const std::string& key, const std::string& what, const std::string& text)
{
    return ToHex(HmacSha256(key, what + '\n' + text));
}

bool IsNonce(const std::string& nonce)
{
    std::string bytes;
    return nonce.size() == kNonceDigits && FromHex(nonce, &bytes);
}

// Splits "TEXT<TAB>MAC" at its last TAB: the text the MAC covers (with the
// TAB) and the MAC.
bool SplitMac(const std::string& line, std::string* covered, std::string* mac)
{
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos)
        return false;
    *covered = line.substr(0, tab + 1);
    *mac = line.substr(tab + 1);
    return mac->size() == 64;
}

} // namespace

size_t FieldCount(Verb verb)
{
    return verb == Verb::Shares ? 3 : 2;
}

const char* VerbName(Verb verb)
{
    switch (verb) {
    case Verb::Workgroups: return "WORKGROUPS";
    case Verb::Servers: return "SERVERS";
    case Verb::Shares: return "SHARES";
    }
    return "";
}

std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string* bytes)
{
    // Lower case only: what ToHex writes.
    auto value = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (hex.size() % 2)
        return false;
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        *bytes += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

std::string Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        if (c != '%') {
            *out += static_cast<char>(c);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (!n)
            return false;
        i += n;
    }
    return true;
}

std::string ValidUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n) {
            out.append(text, i, n);
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string FormatRequest(const std::string& key, Verb verb, const std::string& argument, const std::string& nonce)
{
    const std::string covered = std::string(VerbName(verb)) + '\t' + Escape(argument) + '\t' + nonce + '\t';
    return covered + Mac(key, "request", covered) + '\n';
}

Read ParseRequest(const std::string& key, const std::string& line, Verb* verb, std::string* argument,
                  std::string* nonce)
{
    const std::vector<std::string> fields = Split(line);
    if (fields.size() != 4 || line.size() > kMaxRequest)
        return Read::Malformed;
    if (fields[0] == "WORKGROUPS")
        *verb = Verb::Workgroups;
    else if (fields[0] == "SERVERS")
        *verb = Verb::Servers;
    else if (fields[0] == "SHARES")
        *verb = Verb::Shares;
    else
        return Read::Malformed;
    if (!Unescape(fields[1], argument) || !IsNonce(fields[2]) || fields[3].size() != 64)
        return Read::Malformed;
    std::string covered, mac;
    SplitMac(line, &covered, &mac);
    if (!SameBytes(Mac(key, "request", covered), mac))
        return Read::WrongKey;
    *nonce = fields[2];
    return Read::Ok;
}

std::string FormatOk(const std::string& key, const std::string& nonce, Verb verb, const std::vector<Record>& records)
{
    std::string out = "OK\t" + std::to_string(records.size()) + '\n';
    for (const Record& r : records) {
        for (size_t i = 0; i < FieldCount(verb); ++i) {
            if (i)
                out += '\t';
            if (i < r.size())
                out += Escape(r[i]);
        }
        out += '\n';
    }
    out += "END\t";
    return out + Mac(key, "reply", nonce + '\n' + out) + '\n';
}

bool Cap(std::vector<Record>* records)
{
    size_t bytes = 0, kept = 0;
    for (; kept < records->size() && kept < kMaxListed; ++kept) {
        for (const std::string& field : (*records)[kept])
            bytes += Escape(field).size() + 1;
        if (bytes > kMaxListedBytes)
            break;
    }
    if (kept == records->size())
        return false;
    records->resize(kept);
    return true;
}

std::string FormatError(const std::string& key, const std::string& nonce, uint32_t code)
{
    const std::string out = "ERR\t" + std::to_string(code) + '\t';
    return out + Mac(key, "reply", nonce + '\n' + out) + '\n';
}

bool ParseType(const std::string& field, uint32_t* type)
{
    uint64_t v;
    if (!ParseDecimal(field, 0xFFFFFFFFu, &v))
        return false;
    *type = static_cast<uint32_t>(v);
    return true;
}

Read ParseReply(const std::string& key, const std::string& nonce, Verb verb, const std::string& text, Reply* reply)
{
    *reply = Reply();
    if (text.size() > kMaxReply)
        return Read::Malformed;
    size_t pos = 0;
    std::string line;
    if (!NextLine(text, &pos, &line))
        return Read::Malformed;
    const std::vector<std::string> head = Split(line);
    uint64_t number;
    std::string covered, mac;
    if (head[0] == "ERR") {
        if (head.size() != 3 || !ParseDecimal(head[1], 0xFFFFFFFFu, &number) || number == 0 ||
            pos != text.size() || !SplitMac(line, &covered, &mac))
            return Read::Malformed;
        if (!SameBytes(Mac(key, "reply", nonce + '\n' + covered), mac))
            return Read::WrongKey;
        reply->error = static_cast<uint32_t>(number);
        return Read::Ok;
    }
    if (head.size() != 2 || head[0] != "OK" || !ParseDecimal(head[1], kMaxRecords, &number))
        return Read::Malformed;
    const size_t fields = FieldCount(verb);
    std::vector<Record> records;
    for (uint64_t i = 0; i < number; ++i) {
        if (!NextLine(text, &pos, &line))
            return Read::Malformed;
        const std::vector<std::string> raw = Split(line);
        if (raw.size() != fields)
            return Read::Malformed;
        Record record(fields);
        for (size_t f = 0; f < fields; ++f)
            if (!Unescape(raw[f], &record[f]))
                return Read::Malformed;
        uint32_t type;
        if (verb == Verb::Shares && !ParseType(record[1], &type))
            return Read::Malformed;
        records.push_back(std::move(record));
    }
    const size_t last = pos;
    if (!NextLine(text, &pos, &line) || pos != text.size() || !SplitMac(line, &covered, &mac) || covered != "END\t")
        return Read::Malformed;
    if (!SameBytes(Mac(key, "reply", nonce + '\n' + text.substr(0, last) + covered), mac))
        return Read::WrongKey;
    reply->ok = true;
    reply->records = std::move(records);
    return Read::Ok;
}

std::string FormatKeyFile(const KeyFile& file)
{
    return "port=" + std::to_string(file.port) + "\nkey=" + ToHex(file.key) + "\nlog=" + file.log + '\n';
}

bool ParseKeyFile(const std::string& text, KeyFile* file)
{
    *file = KeyFile();
    size_t pos = 0;
    std::string line;
    bool port = false, key = false;
    while (NextLine(text, &pos, &line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        const std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        uint64_t number;
        if (name == "port" && ParseDecimal(value, 65535, &number) && number > 0) {
            file->port = static_cast<unsigned>(number);
            port = true;
        } else if (name == "key" && FromHex(value, &file->key) && file->key.size() == kKeyBytes) {
            key = true;
        } else if (name == "log") {
            file->log = value;
        } else {
            return false;
        }
    }
    return port && key && pos == text.size();
}

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || c == '%' || c == '"') {
            HexEscape(&out, c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A whole UTF-8 character is kept, unless it is a C1 control.
        const std::string rest = text.substr(i, 4);
        size_t n = 0;
        for (size_t k = 2; k <= rest.size() && !n; ++k)
            if (IsUtf8(rest.substr(0, k)))
                n = k;
        if (!n || (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            for (size_t k = 0; k < (n ? n : 1); ++k)
                HexEscape(&out, static_cast<unsigned char>(text[i + k]));
            i += n ? n : 1;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out + '"';
}

} // namespace lanproto
