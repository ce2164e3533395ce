#include "lan/windows/client.h"
#include <winsock2.h>
#include <bcrypt.h>
#include <cstdio>
#include "lan/common/hmac.h"

namespace lanclient {

namespace {

DWORD Remaining(DWORD start, DWORD limit)
{
    const DWORD spent = ::GetTickCount() - start;
    return spent >= limit ? 0 : limit - spent;
}

// A Linux path as Wine's Z: drive shows it; a Windows path as it is.
std::string WindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string out = "Z:";
    for (char c : path)
        out += c == '/' ? '\\' : c;
    return out;
}

bool ReadFileText(const std::string& path, std::string* text)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[1024];
    DWORD n = 0;
    const BOOL ok = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr);
    ::CloseHandle(file);
    if (!ok || n == sizeof buffer)
        return false;
    text->assign(buffer, n);
    return true;
}

// Says what went wrong: to a debugger, and as a line in the helper's log
// when there is one to name.
void Complain(const lanproto::KeyFile* key, const std::string& what)
{
    const std::string line = "Ferrolink LAN: " + what + "\n";
    ::OutputDebugStringA(line.c_str());
    if (!key || key->log.empty())
        return;
    HANDLE log = ::CreateFileA(WindowsPath(key->log).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    const std::string text = stamp + std::string("windows: ") + what + "\n";
    DWORD written = 0;
    ::WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(log);
}

bool LoadKey(lanproto::KeyFile* key, std::string* why)
{
    char path[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableA(kKeyVariable, path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        *why = std::string("no helper: ") + kKeyVariable + " names no key file (start it with `make lan`)";
        return false;
    }
    std::string text;
    if (!ReadFileText(WindowsPath(path), &text)) {
        *why = std::string("no helper: its key file ") + path + " cannot be read";
        return false;
    }
    if (!lanproto::ParseKeyFile(text, key)) {
        *why = std::string("no helper: its key file ") + path + " is malformed";
        return false;
    }
    return true;
}

std::string Nonce()
{
    std::string bytes(lanproto::kNonceDigits / 2, '\0');
    if (BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bytes[0]), static_cast<ULONG>(bytes.size()),
                                         BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return lanproto::ToHex(bytes);
    // Unpredictable enough to tell one request from another.
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    const std::string seed = std::to_string(counter.QuadPart) + ' ' + std::to_string(::GetCurrentProcessId()) + ' ' +
                             std::to_string(::GetTickCount());
    return lanproto::ToHex(lanproto::HmacSha256(seed, "nonce")).substr(0, lanproto::kNonceDigits);
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

// The helper's whole answer to `request`, read until it closes; false with
// the reason when none came in time.
bool Exchange(unsigned short port, const std::string& request, std::string* reply, std::string* why)
{
    const DWORD start = ::GetTickCount();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *why = "no socket";
        return false;
    }
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
        *why = "no helper listens on 127.0.0.1:" + std::to_string(port);
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
            *why = "the helper did not answer within " + std::to_string(kRequestMs) + " ms";
            ok = false;
            break;
        }
        const int n = ::recv(s, chunk, sizeof chunk, 0);
        if (n == 0)
            break;
        if (n < 0) {
            *why = "the connection to the helper broke";
            ok = false;
        } else if (reply->size() + static_cast<size_t>(n) > lanproto::kMaxReply) {
            *why = "the helper's answer is too long";
            ok = false;
        } else {
            reply->append(chunk, static_cast<size_t>(n));
        }
    }
    ::closesocket(s);
    return ok;
}

} // namespace

uint32_t Ask(lanproto::Verb verb, const std::string& argument, std::vector<lanproto::Record>* records)
{
    records->clear();
    lanproto::KeyFile key;
    std::string why;
    if (!LoadKey(&key, &why)) {
        Complain(nullptr, why);
        return kNoHelper;
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        Complain(&key, "no Windows Sockets");
        return kNoHelper;
    }
    const std::string nonce = Nonce();
    std::string text;
    const bool answered = Exchange(static_cast<unsigned short>(key.port),
                                   lanproto::FormatRequest(key.key, verb, argument, nonce), &text, &why);
    ::WSACleanup();
    // The name came from the network: quoted, so it cannot forge a line.
    const std::string what =
        std::string(lanproto::VerbName(verb)) + (argument.empty() ? "" : " " + lanproto::Quote(argument));
    if (!answered) {
        Complain(&key, what + ": " + why);
        return kNoHelper;
    }
    lanproto::Reply reply;
    switch (lanproto::ParseReply(key.key, nonce, verb, text, &reply)) {
    case lanproto::Read::Ok:
        break;
    case lanproto::Read::WrongKey:
        Complain(&key, what + ": an answer that is not the helper's (it does not hold the key); ignored");
        return kNoHelper;
    case lanproto::Read::Malformed:
        Complain(&key, what + ": the helper's answer is malformed (cut short, or not the protocol)");
        return kNoHelper;
    }
    if (!reply.ok)
        return reply.error;
    *records = std::move(reply.records);
    return 0;
}

std::wstring Wide(const std::string& utf8)
{
    const std::string text = lanproto::ValidUtf8(utf8);
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
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
