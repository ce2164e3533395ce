// The test world as the fixture DLLs read it: the JSON file FERROLINK_WORLD
// names, loaded once per process.
#pragma once
#include <windows.h>
#include <nlohmann/json.hpp>
#include <cctype>
#include <string>

// The world, parsed at the first call (a static's initialisation is
// thread-safe, and needs no thread library: the 32-bit tools have none).
inline nlohmann::json LoadWorld()
{
    char path[MAX_PATH * 4] = {};
    const DWORD n = GetEnvironmentVariableA("FERROLINK_WORLD", path, sizeof path);
    if (!n || n >= sizeof path)
        return nlohmann::json();
    // Read with the system's own calls: C++ streams would bring the
    // library's locale machinery into every fixture DLL, and a process
    // loads the provider at its start.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nlohmann::json();
    const DWORD size = GetFileSize(file, nullptr);
    std::string text(size == INVALID_FILE_SIZE ? 0 : size, '\0');
    DWORD got = 0;
    if (!text.empty() && !ReadFile(file, &text[0], size, &got, nullptr))
        got = 0;
    text.resize(got);
    CloseHandle(file);
    nlohmann::json world = nlohmann::json::parse(text, nullptr, false);
    return world.is_discarded() ? nlohmann::json() : world;
}

inline const nlohmann::json& World()
{
    static const nlohmann::json world = LoadWorld();
    return world;
}

// A lock for the fixtures, on the system's critical sections.
class WorldLock {
public:
    WorldLock() { InitializeCriticalSection(&m_cs); }
    ~WorldLock() { DeleteCriticalSection(&m_cs); }
    WorldLock(const WorldLock&) = delete;
    WorldLock& operator=(const WorldLock&) = delete;
    void lock() { EnterCriticalSection(&m_cs); }
    void unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a WorldLock for a scope.
class Locked {
public:
    explicit Locked(WorldLock& l) : m_l(l) { m_l.lock(); }
    ~Locked() { m_l.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    WorldLock& m_l;
};

// A computer of the world by name, without regard to case and with or
// without two leading backslashes; null when there is none (or it is no object).
inline const nlohmann::json* FindComputer(std::string name)
{
    if (name.rfind("\\\\", 0) == 0)
        name = name.substr(2);
    const nlohmann::json& w = World();
    if (!w.is_object() || !w.contains("computers") || !w["computers"].is_object())
        return nullptr;
    for (auto it = w["computers"].begin(); it != w["computers"].end(); ++it) {
        std::string key = it.key();
        if (key.rfind("\\\\", 0) == 0)
            key = key.substr(2);
        if (it.value().is_object() && key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            }))
            return &it.value();
    }
    return nullptr;
}

// What both share services answer a computer before its shares: after its
// "delay_ms", 2351 for a bare name when it has "needs_backslashes", then its
// "status"; 0 to go on.
inline DWORD ServerRefusal(const nlohmann::json& computer, const std::string& name)
{
    // A slow server: the program waits in the call, as it would on a network.
    if (const DWORD delay = computer.value("delay_ms", 0u))
        Sleep(delay);
    if (computer.value("needs_backslashes", false) && name.rfind("\\\\", 0) != 0)
        return 2351;   // NERR_InvalidComputer
    return computer.value("status", 0u);
}

// The world's strings are UTF-8.
inline std::wstring WideFromUtf8(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// A share field: a string, or null for a NULL pointer; "repeat": N makes a
// name of N copies of its first character (for very long names).
inline bool ShareText(const nlohmann::json& share, const char* field, std::string* out)
{
    if (!share.contains(field) || !share[field].is_string())
        return false;
    *out = share[field].get<std::string>();
    const std::string repeat = std::string(field) + "_repeat";
    if (share.contains(repeat) && share[repeat].is_number_unsigned())
        *out = std::string(share[repeat].get<size_t>(), out->empty() ? 'X' : (*out)[0]);
    return true;
}
