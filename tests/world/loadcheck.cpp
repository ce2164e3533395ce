// loadcheck.exe: shows what an exe in the build's bin folder gets from the
// world: the system version, which share services LoadLibraryA finds, and
// what they answer.
//   loadcheck                       version and the services' markers
//   loadcheck nt SERVER             NetShareEnum level 1 through netapi32.dll
//   loadcheck 9x SERVER [BYTES]     NetShareEnum level 1 through svrapi.dll
#include <windows.h>
#include <lm.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

// svrapi.h's share_info_1 (svrapi.h and lm.h do not mix).
#pragma pack(push, 1)
struct share_info_1 {
    char shi1_netname[13];
    char shi1_pad1;
    unsigned short shi1_type;
    char* shi1_remark;
};
#pragma pack(pop)
static_assert(sizeof(share_info_1) == 16 + sizeof(char*), "the 9x record layout");

typedef DWORD(WINAPI* Marker)();
typedef NET_API_STATUS(WINAPI* NetShareEnumNT)(LMSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
typedef NET_API_STATUS(WINAPI* BufferFree)(LPVOID);
typedef DWORD(WINAPI* NetShareEnum9x)(const char*, short, char*, unsigned short, unsigned short*,
                                             unsigned short*);

template <typename F> F Proc(HMODULE dll, const char* name)
{
    return dll ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

// The fixture's marker, or 0 when the DLL is someone else's (or none).
DWORD MarkerOf(HMODULE dll)
{
    const Marker marker = Proc<Marker>(dll, "FerrolinkFixture");
    return marker ? marker() : 0;
}

void ShowDll(const char* name)
{
    HMODULE dll = LoadLibraryA(name);
    char path[MAX_PATH] = "-";
    if (dll)
        GetModuleFileNameA(dll, path, sizeof path);
    const DWORD marker = MarkerOf(dll);
    std::printf("%s: %s (%s)\n", name, marker ? "fixture" : dll ? "not ours" : "not loaded", path);
}

// The end of the accessible memory that `p` lies in.
const BYTE* AccessibleEnd(const void* p)
{
    MEMORY_BASIC_INFORMATION mbi;
    if (!VirtualQuery(p, &mbi, sizeof mbi))
        return static_cast<const BYTE*>(p);
    return static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
}

bool NoAccess(const void* p)
{
    MEMORY_BASIC_INFORMATION mbi;
    return VirtualQuery(p, &mbi, sizeof mbi) && mbi.Protect == PAGE_NOACCESS;
}

void PrintWide(const wchar_t* s)
{
    if (s)
        std::printf("'%ls'", s);
    else
        std::printf("(null)");
}

int EnumNT(const char* server)
{
    HMODULE dll = LoadLibraryA("netapi32.dll");
    const NetShareEnumNT enumerate = Proc<NetShareEnumNT>(dll, "NetShareEnum");
    const BufferFree release = Proc<BufferFree>(dll, "NetApiBufferFree");
    if (!MarkerOf(dll) || !enumerate || !release) {
        std::printf("netapi32.dll is not the fixture\n");
        return 1;
    }
    wchar_t name[256];
    MultiByteToWideChar(CP_ACP, 0, server, -1, name, 256);
    DWORD resume = 0;
    for (int pass = 0; pass < 20; ++pass) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        const NET_API_STATUS status = enumerate(name, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        std::printf("pass %d: status %lu read %lu total %lu resume %lu\n", pass, status, read, total, resume);
        if (buffer) {
            const BYTE* end = AccessibleEnd(buffer);
            const SHARE_INFO_1* records = reinterpret_cast<const SHARE_INFO_1*>(buffer);
            const wchar_t* lastString = nullptr;
            for (DWORD i = 0; i < read; ++i) {
                if (reinterpret_cast<const BYTE*>(records + i + 1) > end) {
                    std::printf("  record %lu lies past the block\n", i);
                    break;
                }
                std::printf("  ");
                PrintWide(records[i].shi1_netname);
                std::printf(" type=0x%lx ", records[i].shi1_type);
                PrintWide(records[i].shi1_remark);
                std::printf("\n");
                for (const wchar_t* s : {records[i].shi1_netname, records[i].shi1_remark})
                    if (s > lastString)
                        lastString = s;
            }
            if (lastString)
                std::printf("  after the last string: %s\n",
                            NoAccess(lastString + wcslen(lastString) + 1) ? "guard page" : "accessible");
            else if (read)
                std::printf("  after the records: %s\n", NoAccess(records + read) ? "guard page" : "accessible");
            release(buffer);
        }
        if (status != ERROR_MORE_DATA)
            return 0;
    }
    std::printf("still more data after 20 passes\n");
    return 1;
}

int Enum9x(const char* server, unsigned short size)
{
    HMODULE dll = LoadLibraryA("svrapi.dll");
    const NetShareEnum9x enumerate = Proc<NetShareEnum9x>(dll, "NetShareEnum");
    if (!MarkerOf(dll) || !enumerate) {
        std::printf("svrapi.dll is not the fixture\n");
        return 1;
    }
    char* buffer = static_cast<char*>(std::calloc(1, size + 1u));
    unsigned short read = 0, total = 0;
    const DWORD status = enumerate(server, 1, buffer, size, &read, &total);
    std::printf("status %lu read %u total %u\n", static_cast<unsigned long>(status), read, total);
    const share_info_1* records = reinterpret_cast<const share_info_1*>(buffer);
    const unsigned fit = size / sizeof(share_info_1);
    for (unsigned i = 0; i < read; ++i) {
        if (i >= fit) {
            std::printf("  record %u lies past the buffer\n", i);
            break;
        }
        const share_info_1& r = records[i];
        const bool terminated = std::memchr(r.shi1_netname, 0, sizeof r.shi1_netname) != nullptr;
        std::printf("  '%.13s'%s type=%u ", r.shi1_netname, terminated ? "" : " (unterminated)", r.shi1_type);
        if (!r.shi1_remark)
            std::printf("(null)\n");
        else
            std::printf("'%s'%s\n", r.shi1_remark,
                        r.shi1_remark >= buffer && r.shi1_remark < buffer + size ? "" : " (outside the buffer)");
    }
    std::free(buffer);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && !std::strcmp(argv[1], "nt"))
        return EnumNT(argv[2]);
    if (argc >= 3 && !std::strcmp(argv[1], "9x"))
        return Enum9x(argv[2], static_cast<unsigned short>(argc > 3 ? std::atoi(argv[3]) : 1280));
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    std::printf("version: platform %lu, %lu.%lu\n", version.dwPlatformId, version.dwMajorVersion,
                version.dwMinorVersion);
    ShowDll("netapi32.dll");
    ShowDll("svrapi.dll");
    return 0;
}
