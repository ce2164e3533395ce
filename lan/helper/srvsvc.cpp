#include "lan/helper/srvsvc.h"

namespace srvsvc {

namespace {

enum PacketType { kRequest = 0, kResponse = 2, kFault = 3, kBind = 11, kBindAck = 12, kBindNak = 13 };
enum Flags { kFirstFrag = 1, kLastFrag = 2 };
constexpr size_t kHeader = kHeaderBytes;
constexpr uint16_t kShareEnumOpnum = 15;   // NetrShareEnum: every share, hidden ones too
constexpr uint32_t kMaxEntries = 100000;

// Interface 4b324fc8-1670-01d3-1278-5a47bf6ee188 version 3.0, and NDR
// 8a885d04-1ceb-11c9-9fe8-08002b104860 version 2, as they go on the wire.
const unsigned char kSrvsvc[20] = {0xc8, 0x4f, 0x32, 0x4b, 0x70, 0x16, 0xd3, 0x01, 0x12, 0x78,
                                   0x5a, 0x47, 0xbf, 0x6e, 0xe1, 0x88, 0x03, 0x00, 0x00, 0x00};
const unsigned char kNdr[20] = {0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8,
                                0x08, 0x00, 0x2b, 0x10, 0x48, 0x60, 0x02, 0x00, 0x00, 0x00};

class Writer {
public:
    void U8(uint8_t v) { m_out += static_cast<char>(v); }
    void U16(uint16_t v)
    {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(const unsigned char* p, size_t n) { m_out.append(reinterpret_cast<const char*>(p), n); }
    void Align(size_t n)
    {
        while (m_out.size() % n)
            U8(0);
    }
    // A conformant varying string with its terminating zero.
    void String(const std::u16string& text)
    {
        const uint32_t n = static_cast<uint32_t>(text.size() + 1);
        U32(n);
        U32(0);
        U32(n);
        for (char16_t c : text)
            U16(c);
        U16(0);
        Align(4);
    }
    std::string& Out() { return m_out; }

private:
    std::string m_out;
};

class Reader {
public:
    explicit Reader(const std::string& in, size_t pos = 0) : m_in(in), m_pos(pos) {}
    bool U8(uint8_t* v)
    {
        if (m_pos + 1 > m_in.size())
            return false;
        *v = static_cast<uint8_t>(m_in[m_pos++]);
        return true;
    }
    bool U16(uint16_t* v)
    {
        uint8_t lo, hi;
        if (!U8(&lo) || !U8(&hi))
            return false;
        *v = static_cast<uint16_t>(lo | hi << 8);
        return true;
    }
    bool U32(uint32_t* v)
    {
        uint16_t lo, hi;
        if (!U16(&lo) || !U16(&hi))
            return false;
        *v = lo | static_cast<uint32_t>(hi) << 16;
        return true;
    }
    bool Align(size_t n)
    {
        while (m_pos % n)
            if (++m_pos > m_in.size())
                return false;
        return true;
    }
    bool Skip(size_t n)
    {
        if (n > m_in.size() - m_pos)
            return false;
        m_pos += n;
        return true;
    }
    bool U32Aligned(uint32_t* v) { return Align(4) && U32(v); }
    // A conformant varying string; the terminating zero is left out.
    bool String(std::u16string* text)
    {
        uint32_t max, offset, actual;
        if (!U32Aligned(&max) || !U32(&offset) || !U32(&actual) || offset != 0 || actual > max ||
            actual > (m_in.size() - m_pos) / 2)
            return false;
        text->clear();
        for (uint32_t i = 0; i < actual; ++i) {
            uint16_t c = 0;
            U16(&c);
            text->push_back(static_cast<char16_t>(c));
        }
        while (!text->empty() && text->back() == 0)
            text->pop_back();
        return true;
    }
    size_t Pos() const { return m_pos; }
    size_t Left() const { return m_in.size() - m_pos; }

private:
    const std::string& m_in;
    size_t m_pos;
};

void Header(Writer* w, PacketType type, uint32_t callId)
{
    w->U8(5);
    w->U8(0);
    w->U8(static_cast<uint8_t>(type));
    w->U8(kFirstFrag | kLastFrag);
    w->U8(0x10);   // little-endian integers, ASCII, IEEE floats
    w->U8(0);
    w->U8(0);
    w->U8(0);
    w->U16(0);     // fragment length, filled in by Finish
    w->U16(0);     // no authentication
    w->U32(callId);
}

std::string Finish(Writer* w)
{
    std::string& out = w->Out();
    out[8] = static_cast<char>(out.size() & 0xFF);
    out[9] = static_cast<char>(out.size() >> 8);
    return out;
}

} // namespace

size_t FragmentLength(const std::string& header)
{
    if (header.size() < kHeader)
        return 0;
    return static_cast<uint8_t>(header[8]) | static_cast<uint8_t>(header[9]) << 8;
}

std::string BindRequest(uint32_t callId)
{
    Writer w;
    Header(&w, kBind, callId);
    w.U16(kMaxFragment);
    w.U16(kMaxFragment);
    w.U32(0);   // a new association group
    w.U8(1);    // one presentation context
    w.U8(0);
    w.U16(0);
    w.U16(0);   // its id
    w.U8(1);    // one transfer syntax
    w.U8(0);
    w.Bytes(kSrvsvc, sizeof kSrvsvc);
    w.Bytes(kNdr, sizeof kNdr);
    return Finish(&w);
}

std::string ShareEnumRequest(uint32_t callId, const std::string& serverUtf8)
{
    Writer stub;
    stub.U32(0x00020000);   // the server name: a unique pointer, not null
    stub.String(Utf16FromUtf8(serverUtf8));
    stub.U32(1);            // InfoStruct.Level
    stub.U32(1);            // the union's arm
    stub.U32(0x00020004);   // the level-1 container: a unique pointer
    stub.U32(0);            // EntriesRead
    stub.U32(0);            // Buffer: null
    stub.U32(0xFFFFFFFF);   // PreferedMaximumLength: everything at once
    stub.U32(0x00020008);   // ResumeHandle: a unique pointer
    stub.U32(0);
    Writer w;
    Header(&w, kRequest, callId);
    w.U32(static_cast<uint32_t>(stub.Out().size()));   // allocation hint
    w.U16(0);                                            // presentation context
    w.U16(kShareEnumOpnum);
    w.Out() += stub.Out();
    return Finish(&w);
}

Reply::State Reply::Add(const std::string& bytes)
{
    if (m_done)
        return Bad;
    m_pending += bytes;
    while (m_pending.size() >= kHeader) {
        const size_t length = FragmentLength(m_pending);
        if (length < kHeader)
            return Bad;
        if (m_pending.size() < length)
            return More;
        const std::string frag = m_pending.substr(0, length);
        m_pending.erase(0, length);
        const State s = Fragment(frag);
        if (s != More)
            return s == Done && !m_pending.empty() ? Bad : s;
    }
    return More;
}

Reply::State Reply::Fragment(const std::string& frag)
{
    Reader r(frag);
    uint8_t version, minor, type, flags, drep;
    uint16_t length, authLength;
    uint32_t callId;
    if (!r.U8(&version) || !r.U8(&minor) || !r.U8(&type) || !r.U8(&flags) || !r.U8(&drep) || !r.Skip(3) ||
        !r.U16(&length) || !r.U16(&authLength) || !r.U32(&callId))
        return Bad;
    if (version != 5 || minor != 0 || (drep & 0xF0) != 0x10 || authLength != 0 || callId != m_callId)
        return Bad;
    const bool first = flags & kFirstFrag, last = flags & kLastFrag;
    if (first != (m_type < 0) || (m_type >= 0 && type != m_type))
        return Bad;
    m_type = type;
    switch (type) {
    case kBindAck:
    case kBindNak:
        if (!first || !last)
            return Bad;
        m_body = frag.substr(kHeader);
        break;
    case kFault:
        if (!r.Skip(8) || !r.U32(&m_fault))
            return Bad;
        m_done = true;
        return Done;
    case kResponse:
        if (!r.Skip(8))
            return Bad;
        m_body.append(frag, r.Pos(), std::string::npos);
        if (m_body.size() > (16u << 20))
            return Bad;
        break;
    default:
        return Bad;
    }
    if (!last)
        return More;
    m_done = true;
    return Done;
}

bool BindAccepted(const std::string& body)
{
    Reader r(body);
    uint16_t maxXmit, maxRecv, addressLength, result = 1, reason;
    uint32_t group;
    uint8_t results;
    if (!r.U16(&maxXmit) || !r.U16(&maxRecv) || !r.U32(&group) || !r.U16(&addressLength) ||
        !r.Skip(addressLength))
        return false;
    // The result list is aligned to four bytes from the packet's start.
    while ((r.Pos() + kHeader) % 4)
        if (!r.Skip(1))
            return false;
    return r.U8(&results) && results >= 1 && r.Skip(3) && r.U16(&result) && r.U16(&reason) && r.Skip(20) &&
           result == 0;
}

bool ParseShareEnum(const std::string& stub, std::vector<Share>* shares, uint32_t* status)
{
    shares->clear();
    Reader r(stub);
    uint32_t level, arm, container, count = 0, buffer = 0;
    if (!r.U32(&level) || !r.U32(&arm) || level != 1 || arm != 1 || !r.U32(&container))
        return false;
    struct Pointers {
        uint32_t name, type, comment;
    };
    std::vector<Pointers> records;
    if (container) {
        if (!r.U32(&count) || !r.U32(&buffer) || count > kMaxEntries || (count && !buffer))
            return false;
        if (buffer) {
            uint32_t max;
            if (!r.U32(&max) || max < count || count > r.Left() / 12)
                return false;
            records.resize(count);
            for (Pointers& p : records)
                if (!r.U32(&p.name) || !r.U32(&p.type) || !r.U32(&p.comment))
                    return false;
            for (const Pointers& p : records) {
                Share s;
                std::u16string text;
                if (p.name) {
                    if (!r.String(&text))
                        return false;
                    s.name = Utf8FromUtf16(text);
                }
                if (p.comment) {
                    if (!r.String(&text))
                        return false;
                    s.comment = Utf8FromUtf16(text);
                }
                s.type = p.type;
                shares->push_back(std::move(s));
            }
        }
    }
    uint32_t total, resume;
    if (!r.U32Aligned(&total) || !r.U32(&resume))
        return false;
    if (resume) {
        uint32_t handle;
        if (!r.U32(&handle))
            return false;
    }
    return r.U32(status);
}

std::string Utf8FromUtf16(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16FromUtf8(const std::string& text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t code = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) {
            code = c;
        } else {
            const size_t more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
            uint32_t v = more == 1 ? c & 0x1F : more == 2 ? c & 0x0F : c & 0x07;
            bool ok = more != 0;
            for (size_t k = 1; ok && k <= more; ++k) {
                if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                    ok = false;
                else
                    v = v << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
            static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
            if (ok && v >= least[more] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                code = v;
                n = more + 1;
            }
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += n;
    }
    return out;
}

} // namespace srvsvc
