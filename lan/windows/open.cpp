// lan-open.exe PATH: what Wine's shell runs to open a folder under
// `make lan`. Wine's shell cannot open a share's network path itself (it
// shows "Bad device type" and holds the program until that box goes); a
// share, \\SERVER\SHARE, is handed to the desktop as smb://SERVER/SHARE
// instead (xdg-open, or the program FERROLINK_LAN_OPENER names), and any
// other folder to Wine's explorer as before. Either way the program that
// asked goes on at once: this is a process of its own, and what it cannot
// open it says in a box of its own.
#include <windows.h>
#include <cwchar>
#include <string>
#include "lan/windows/client.h"

namespace {

// The argument: the whole command line after the program's name, one pair
// of quotes around it taken away.
std::wstring Argument()
{
    std::wstring line = ::GetCommandLineW();
    size_t at = 0;
    if (!line.empty() && line[0] == L'"')
        at = line.find(L'"', 1);
    else
        at = line.find(L' ');
    if (at == std::wstring::npos)
        return std::wstring();
    std::wstring arg = line.substr(at + 1);
    const size_t first = arg.find_first_not_of(L' ');
    arg = first == std::wstring::npos ? std::wstring() : arg.substr(first);
    if (arg.size() >= 2 && arg.front() == L'"' && arg.back() == L'"')
        arg = arg.substr(1, arg.size() - 2);
    return arg;
}

// Each byte of UTF-8 that a URL's path may not hold as it is, as %XX.
std::string UrlPart(const std::string& utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '$') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void Say(const std::wstring& text)
{
    ::MessageBoxW(nullptr, text.c_str(), L"Ferrolink", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

// A Linux path as Wine shows it on drive Z:.
std::wstring OnDriveZ(const std::string& path)
{
    std::wstring out = L"Z:" + lanclient::Wide(path);
    for (wchar_t& c : out)
        if (c == L'/')
            c = L'\\';
    return out;
}

// Starts a Linux program (Wine runs one given by its path on drive Z:)
// through env(1), without the names library preloaded into Wine and the
// variables that lead to it and to the helper: only Ferrolink resolves
// through the names the network told it, not the desktop's opener or
// whatever that opener starts.
bool StartLinux(const std::string& program, const std::string& argument)
{
    const std::wstring path = OnDriveZ("/usr/bin/env");
    std::wstring line = L"\"" + path + L"\" -u LD_PRELOAD -u FERROLINK_LAN_NAMES -u FERROLINK_LAN_KEY \"" +
                        lanclient::Wide(program) + L"\" \"" + lanclient::Wide(argument) + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread)
        ::CloseHandle(pi.hThread);
    if (pi.hProcess)
        ::CloseHandle(pi.hProcess);
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::wstring path = Argument();
    if (path.empty())
        return 2;
    if (path.compare(0, 2, L"\\\\") != 0) {
        // Not a share: Wine's explorer, as the shell would have run it.
        std::wstring line = L"explorer.exe /root,\"" + path + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            Say(L"Ferrolink cannot open " + path + L".");
            return 1;
        }
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        return 0;
    }
    // \\SERVER\SHARE[\...]: smb://SERVER/SHARE/...
    std::string url = "smb:/";
    size_t at = 1;
    while (at < path.size()) {
        const size_t next = path.find(L'\\', at + 1);
        const std::wstring part = path.substr(at + 1, next == std::wstring::npos ? std::wstring::npos : next - at - 1);
        if (!part.empty())
            url += "/" + UrlPart(lanclient::Utf8(part.c_str()));
        at = next == std::wstring::npos ? path.size() : next;
    }
    char opener[1024] = {};
    const DWORD n = ::GetEnvironmentVariableA("FERROLINK_LAN_OPENER", opener, sizeof opener);
    const std::string program = n > 0 && n < sizeof opener ? opener : "/usr/bin/xdg-open";
    // env(1) starts whatever it is given: an opener that is not there is
    // said here, as before, instead of failing unseen.
    const DWORD attributes = program[0] == '/' ? ::GetFileAttributesW(OnDriveZ(program).c_str()) : 0;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || !StartLinux(program, url)) {
        Say(L"Ferrolink cannot open " + path + L": the desktop's opener " + lanclient::Wide(program) +
            L" does not start.");
        return 1;
    }
    return 0;
}
