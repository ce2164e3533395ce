#include "lan/client.h"
#include <winsock2.h>
#include <cstdio>
#include <cstdlib>

namespace lanclient {

namespace {

// The helper's port: FERROLINK_LAN_PORT, else the default. Only ever on the
// loopback address.
unsigned short Port()
{
    char text[16] = {};
    const DWORD n = ::GetEnvironmentVariableA("FERROLINK_LAN_PORT", text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return kDefaultPort;
    char* end = nullptr;
    const unsigned long port = std::strtoul(text, &end, 10);
    return end && *end == '\0' && port > 0 && port <= 65535 ? static_cast<unsigned short>(port) : kDefaultPort;
}

DWORD Remaining(DWORD start, DWORD limit)
{
    const DWORD spent = ::GetTickCount() - start;
    return spent >= limit ? 0 : limit - spent;
}

// Waits until `s` can be read (or written); false when the time is up or
// the socket failed (a refused connection is reported among the
// exceptions, at once).
bool WaitFor(SOCKET s, bool write, DWORD ms)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval tv = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    return ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv) == 1 &&
           FD_ISSET(s, &ready);
}

void Complain(const char* what, unsigned short port)
{
    char text[160];
    std::snprintf(text, sizeof text, "Ferrolink LAN: %s (helper on 127.0.0.1:%u; start it with `make lan`)\n", what,
                  port);
    ::OutputDebugStringA(text);
}

// The helper's whole answer to `request`, read until it closes; false when
// none came in time.
bool Exchange(const std::string& request, std::string* reply)
{
    const DWORD start = ::GetTickCount();
    const unsigned short port = Port();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(port);
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 || ::WSAGetLastError() == WSAEWOULDBLOCK) {
        int error = 0;
        int length = sizeof error;
        ok = WaitFor(s, true, kConnectMs) &&
             ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
    }
    if (!ok) {
        Complain("no helper answers", port);
        ::closesocket(s);
        return false;
    }
    for (size_t sent = 0; ok && sent < request.size();) {
        const int n = WaitFor(s, true, Remaining(start, kRequestMs))
                          ? ::send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0)
                          : -1;
        ok = n > 0;
        sent += ok ? static_cast<size_t>(n) : 0;
    }
    reply->clear();
    char chunk[4096];
    while (ok) {
        if (!WaitFor(s, false, Remaining(start, kRequestMs))) {
            Complain("the helper did not answer in time", port);
            ok = false;
            break;
        }
        const int n = ::recv(s, chunk, sizeof chunk, 0);
        if (n == 0)
            break;
        if (n < 0 || reply->size() + static_cast<size_t>(n) > lanproto::kMaxReply)
            ok = false;
        else
            reply->append(chunk, static_cast<size_t>(n));
    }
    ::closesocket(s);
    return ok;
}

} // namespace

uint32_t Ask(lanproto::Verb verb, const std::string& argument, std::vector<lanproto::Record>* records)
{
    records->clear();
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 0), &data) != 0)
        return kUnreachable;
    std::string text;
    const bool answered = Exchange(lanproto::FormatRequest(verb, argument), &text);
    ::WSACleanup();
    lanproto::Reply reply;
    if (!answered)
        return kUnreachable;
    if (!lanproto::ParseReply(verb, text, &reply)) {
        Complain("the helper's answer is malformed", Port());
        return kUnreachable;
    }
    if (!reply.ok)
        return reply.error;
    *records = std::move(reply.records);
    return 0;
}

bool Wide(const std::string& utf8, std::wstring* out)
{
    out->clear();
    if (utf8.empty())
        return true;
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                        nullptr, 0);
    if (n <= 0)
        return false;
    out->resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &(*out)[0],
                                 n) == n;
}

std::string Utf8(const wchar_t* text)
{
    if (!text || !*text)
        return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) - 1 : 0, '\0');
    if (n > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace lanclient
