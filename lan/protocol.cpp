#include "lan/protocol.h"

namespace lanproto {

namespace {

const char kHex[] = "0123456789ABCDEF";

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
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t more;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size())
            return false;
        for (size_t k = 1; k <= more; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and what lies past U+10FFFF.
        static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::string FormatRequest(Verb verb, const std::string& argument)
{
    return std::string(VerbName(verb)) + '\t' + Escape(argument) + '\n';
}

bool ParseRequest(const std::string& line, Verb* verb, std::string* argument)
{
    const std::vector<std::string> fields = Split(line);
    if (fields.size() != 2 || line.size() > kMaxRequest)
        return false;
    if (fields[0] == "WORKGROUPS")
        *verb = Verb::Workgroups;
    else if (fields[0] == "SERVERS")
        *verb = Verb::Servers;
    else if (fields[0] == "SHARES")
        *verb = Verb::Shares;
    else
        return false;
    return Unescape(fields[1], argument) && IsUtf8(*argument);
}

std::string FormatOk(Verb verb, const std::vector<Record>& records)
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
    return out + "END\n";
}

std::string FormatError(uint32_t code)
{
    return "ERR\t" + std::to_string(code) + '\n';
}

bool ParseType(const std::string& field, uint32_t* type)
{
    uint64_t v;
    if (!ParseDecimal(field, 0xFFFFFFFFu, &v))
        return false;
    *type = static_cast<uint32_t>(v);
    return true;
}

bool ParseReply(Verb verb, const std::string& text, Reply* reply)
{
    *reply = Reply();
    if (text.size() > kMaxReply)
        return false;
    size_t pos = 0;
    std::string line;
    if (!NextLine(text, &pos, &line))
        return false;
    const std::vector<std::string> head = Split(line);
    uint64_t number;
    if (head.size() != 2)
        return false;
    if (head[0] == "ERR") {
        if (!ParseDecimal(head[1], 0xFFFFFFFFu, &number) || number == 0 || pos != text.size())
            return false;
        reply->error = static_cast<uint32_t>(number);
        return true;
    }
    if (head[0] != "OK" || !ParseDecimal(head[1], kMaxRecords, &number))
        return false;
    const size_t fields = FieldCount(verb);
    std::vector<Record> records;
    for (uint64_t i = 0; i < number; ++i) {
        if (!NextLine(text, &pos, &line))
            return false;
        const std::vector<std::string> raw = Split(line);
        if (raw.size() != fields)
            return false;
        Record record(fields);
        for (size_t f = 0; f < fields; ++f)
            if (!Unescape(raw[f], &record[f]) || !IsUtf8(record[f]))
                return false;
        uint32_t type;
        if (verb == Verb::Shares && !ParseType(record[1], &type))
            return false;
        records.push_back(std::move(record));
    }
    if (!NextLine(text, &pos, &line) || line != "END" || pos != text.size())
        return false;
    reply->ok = true;
    reply->records = std::move(records);
    return true;
}

} // namespace lanproto
