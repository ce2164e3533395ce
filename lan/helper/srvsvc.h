// The server service's share list (srvsvc NetrShareEnum, level 1) as DCE/RPC
// over the IPC$ pipe: Samba's client library cuts every comment to 255 bytes
// and takes the special bit for a disk share, so the helper asks the server
// itself. Pure encoding and decoding here; every length and count read from
// the wire is checked against what is there.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace srvsvc {

struct Share {
    std::string name;      // UTF-8
    uint32_t type = 0;     // as the server reports it, special bit and all
    std::string comment;   // UTF-8
};

// The largest fragment either side sends; a larger reply comes in several.
constexpr uint16_t kMaxFragment = 4280;
// Every fragment begins with a header of this size that gives its length.
constexpr size_t kHeaderBytes = 16;
size_t FragmentLength(const std::string& header);

std::string BindRequest(uint32_t callId);
std::string ShareEnumRequest(uint32_t callId, const std::string& serverUtf8);

// Fragments as they arrive on the pipe, put together.
class Reply {
public:
    explicit Reply(uint32_t callId) : m_callId(callId) {}
    enum State { More, Done, Bad };
    // Takes the next bytes read from the pipe.
    State Add(const std::string& bytes);
    // Once Done: the packet type (12 bind_ack, 13 bind_nak, 2 response,
    // 3 fault), the body of a bind answer or the stub data of a response
    // (all fragments), and a fault's status.
    int Type() const { return m_type; }
    const std::string& Body() const { return m_body; }
    uint32_t Fault() const { return m_fault; }

private:
    State Fragment(const std::string& frag);
    uint32_t m_callId;
    std::string m_pending;
    std::string m_body;
    int m_type = -1;
    uint32_t m_fault = 0;
    bool m_done = false;
};

// Whether a bind answer's body accepts our one presentation context.
bool BindAccepted(const std::string& body);

// The response's stub: the shares and the call's own status (a Windows
// error code); false for anything malformed.
bool ParseShareEnum(const std::string& stub, std::vector<Share>* shares, uint32_t* status);

// UTF-16LE to UTF-8, a lone surrogate as U+FFFD.
std::string Utf8FromUtf16(const std::u16string& text);
std::u16string Utf16FromUtf8(const std::string& text);

} // namespace srvsvc
