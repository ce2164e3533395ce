// Calls the real network's provider and share services the way Wine's
// router and the program do, and prints what each answers:
//   lancheck DIR [--quick | --contract | --tree]
// --quick: one call to each DLL only (for helpers that keep every call
// waiting until its time limit). --contract: the provider's side of the
// router's contract (types and usages asked for, batches, buffers).
// --tree: every workgroup the provider lists and the computers under it,
// "WORKGROUP<TAB>COMPUTER" a line, in its order.
// DIR holds ferrolan.dll, netapi32.dll and svrapi.dll. Wide text is printed
// as UTF-8, the 9x service's text as it comes (the ANSI code page).
#include <windows.h>
#include <winnetwk.h>
#include <lm.h>
extern "C" {
#include <npapi.h>
}
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

namespace {

using OpenEnumFn = DWORD(WINAPI*)(DWORD, DWORD, DWORD, LPNETRESOURCEW, LPHANDLE);
using EnumResourceFn = DWORD(WINAPI*)(HANDLE, LPDWORD, LPVOID, LPDWORD);
using CloseEnumFn = DWORD(WINAPI*)(HANDLE);
using ShareEnumNtFn = NET_API_STATUS(WINAPI*)(LMSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
using BufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID);
using ShareEnum9xFn = DWORD(WINAPI*)(const char*, short, char*, unsigned short, unsigned short*, unsigned short*);

std::string Utf8(const wchar_t* w)
{
    if (!w)
        return "(null)";
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return "(unconvertible)";
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

template <typename T>
T Entry(HMODULE dll, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// One level of the provider, all its entries.
void Walk(HMODULE np, const char* label, NETRESOURCEW* container)
{
    auto open = Entry<OpenEnumFn>(np, "NPOpenEnum");
    auto next = Entry<EnumResourceFn>(np, "NPEnumResource");
    auto close = Entry<CloseEnumFn>(np, "NPCloseEnum");
    HANDLE h = nullptr;
    const DWORD status = open(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &h);
    printf("provider %s: %lu\n", label, status);
    if (status != WN_SUCCESS)
        return;
    alignas(8) BYTE buffer[16384];
    for (;;) {
        DWORD count = 1, size = sizeof buffer;
        const DWORD r = next(h, &count, buffer, &size);
        if (r != WN_SUCCESS) {
            if (r != WN_NO_MORE_ENTRIES)
                printf("  ends with %lu\n", r);
            break;
        }
        const NETRESOURCEW* e = reinterpret_cast<NETRESOURCEW*>(buffer);
        printf("  %s|%lu|%lu|%lu|%s\n", Utf8(e->lpRemoteName).c_str(), e->dwType, e->dwDisplayType, e->dwUsage,
               Utf8(e->lpComment).c_str());
    }
    close(h);
}

// The names a level lists for this type and usage, or the code its
// opening fails with.
void Filtered(HMODULE np, const char* label, NETRESOURCEW* container, DWORD type, DWORD usage)
{
    auto open = Entry<OpenEnumFn>(np, "NPOpenEnum");
    auto next = Entry<EnumResourceFn>(np, "NPEnumResource");
    auto close = Entry<CloseEnumFn>(np, "NPCloseEnum");
    HANDLE h = nullptr;
    const DWORD status = open(RESOURCE_GLOBALNET, type, usage, container, &h);
    printf("%s:", label);
    if (status != WN_SUCCESS) {
        printf(" %lu\n", status);
        return;
    }
    alignas(8) BYTE buffer[16384];
    for (;;) {
        DWORD count = 1, size = sizeof buffer;
        if (next(h, &count, buffer, &size) != WN_SUCCESS)
            break;
        printf(" %s", Utf8(reinterpret_cast<NETRESOURCEW*>(buffer)->lpRemoteName).c_str());
    }
    printf("\n");
    close(h);
}

// The names a level lists, in order; none when it cannot be opened.
std::vector<std::wstring> Names(HMODULE np, NETRESOURCEW* container)
{
    auto open = Entry<OpenEnumFn>(np, "NPOpenEnum");
    auto next = Entry<EnumResourceFn>(np, "NPEnumResource");
    auto close = Entry<CloseEnumFn>(np, "NPCloseEnum");
    std::vector<std::wstring> names;
    HANDLE h = nullptr;
    if (open(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &h) != WN_SUCCESS)
        return names;
    alignas(8) static BYTE buffer[16384];
    for (;;) {
        DWORD count = 1, size = sizeof buffer;
        if (next(h, &count, buffer, &size) != WN_SUCCESS)
            break;
        const wchar_t* name = reinterpret_cast<NETRESOURCEW*>(buffer)->lpRemoteName;
        names.push_back(name ? name : L"");
    }
    close(h);
    return names;
}

void Tree(HMODULE np, const NETRESOURCEW& top)
{
    NETRESOURCEW level = top;
    for (std::wstring group : Names(np, &level)) {
        level.lpRemoteName = &group[0];
        for (const std::wstring& computer : Names(np, &level)) {
            const size_t name = std::min(computer.find_first_not_of(L'\\'), computer.size());
            printf("%s\t%s\n", Utf8(group.c_str()).c_str(), Utf8(computer.c_str() + name).c_str());
        }
    }
}

// Batches, buffers of odd and too small sizes, at the level of \\ANVIL.
void Contract(HMODULE np, NETRESOURCEW* top)
{
    auto open = Entry<OpenEnumFn>(np, "NPOpenEnum");
    auto next = Entry<EnumResourceFn>(np, "NPEnumResource");
    auto close = Entry<CloseEnumFn>(np, "NPCloseEnum");
    wchar_t group[] = L"IRONWORKS", server[] = L"\\\\ANVIL";
    NETRESOURCEW workgroup = *top, computer = *top;
    workgroup.lpRemoteName = group;
    computer.lpRemoteName = server;
    Filtered(np, "disk shares", &computer, RESOURCETYPE_DISK, 0);
    Filtered(np, "print queues", &computer, RESOURCETYPE_PRINT, 0);
    Filtered(np, "containers among the shares", &computer, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER);
    Filtered(np, "connectable among the computers", &workgroup, RESOURCETYPE_ANY, RESOURCEUSAGE_CONNECTABLE);
    Filtered(np, "disk containers among the computers", &workgroup, RESOURCETYPE_DISK, RESOURCEUSAGE_CONTAINER);
    Filtered(np, "an unknown type", &computer, 7, 0);
    Filtered(np, "an unknown usage", &computer, RESOURCETYPE_ANY, 0x80);

    alignas(8) static BYTE buffer[65536];
    HANDLE h = nullptr;
    open(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &computer, &h);
    printf("batches of up to 10 in 16,383 bytes:");
    for (;;) {
        DWORD count = 10, size = 16383;
        const DWORD r = next(h, &count, buffer, &size);
        if (r != WN_SUCCESS) {
            printf(" %lu\n", r);
            break;
        }
        printf(" [");
        const NETRESOURCEW* e = reinterpret_cast<NETRESOURCEW*>(buffer);
        for (DWORD i = 0; i < count; ++i) {
            const bool even = !(reinterpret_cast<uintptr_t>(e[i].lpRemoteName) & 1) &&
                              !(reinterpret_cast<uintptr_t>(e[i].lpProvider) & 1) &&
                              !(reinterpret_cast<uintptr_t>(e[i].lpComment) & 1);
            printf("%s%s%s%s", i ? " " : "", Utf8(e[i].lpRemoteName).c_str(), e[i].lpComment ? "" : " (no comment)",
                   even ? "" : " (odd address)");
        }
        printf("]");
    }
    close(h);
    open(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &computer, &h);
    DWORD count = 1, size = sizeof(NETRESOURCEW) + 8;
    const DWORD tiny = next(h, &count, buffer, &size);
    count = 1;
    size = sizeof buffer;
    next(h, &count, buffer, &size);
    printf("a buffer too small for a name: %lu, then %s\n", tiny,
           Utf8(reinterpret_cast<NETRESOURCEW*>(buffer)->lpRemoteName).c_str());
    close(h);
}

// Every pass until the service says it is done, one line each.
void ListNt(HMODULE dll, const wchar_t* server, DWORD preferred)
{
    auto shareEnum = Entry<ShareEnumNtFn>(dll, "NetShareEnum");
    auto bufferFree = Entry<BufferFreeFn>(dll, "NetApiBufferFree");
    const char* how = preferred == MAX_PREFERRED_LENGTH ? "all at once" : "in passes";
    DWORD resume = 0, status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        status = shareEnum(const_cast<LMSTR>(server), 1, &buffer, preferred, &read, &total, &resume);
        printf("netapi32 %s (%s): %lu", Utf8(server).c_str(), how, status);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            printf(" (%lu of %lu)\n", read, total);
            const SHARE_INFO_1* r = reinterpret_cast<SHARE_INFO_1*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                printf("  %s|%lu|%s\n", Utf8(r[i].shi1_netname).c_str(), r[i].shi1_type, Utf8(r[i].shi1_remark).c_str());
        } else {
            printf("\n");
        }
        bufferFree(buffer);
    } while (status == ERROR_MORE_DATA);
}

// 9x records: 13-byte name, pad, 16-bit type, remark pointer.
struct Record9x {
    char name[13];
    char pad;
    unsigned short type;
    char* remark;
};

void List9x(HMODULE dll, const char* server, unsigned short size)
{
    auto shareEnum = Entry<ShareEnum9xFn>(dll, "NetShareEnum");
    static char buffer[65535];
    unsigned short read = 0, total = 0;
    const DWORD status = shareEnum(server, 1, buffer, size, &read, &total);
    printf("svrapi %s (%u bytes): %lu", server, size, status);
    if (status == NERR_Success || status == ERROR_MORE_DATA) {
        printf(" (%u of %u)\n", read, total);
        const Record9x* r = reinterpret_cast<Record9x*>(buffer);
        for (unsigned i = 0; i < read; ++i)
            printf("  %.13s|%u|%s\n", r[i].name, r[i].type, r[i].remark ? r[i].remark : "(null)");
    } else {
        printf("\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 3 ? argv[2] : "";
    const bool quick = mode == "--quick";
    if (argc != 2 && !quick && mode != "--contract" && mode != "--forged" && mode != "--tree") {
        fprintf(stderr, "usage: lancheck DIR [--quick | --contract | --forged | --tree]\n");
        return 2;
    }
    const std::string dir = argv[1];
    HMODULE np = LoadLibraryA((dir + "\\ferrolan.dll").c_str());
    HMODULE nt = LoadLibraryA((dir + "\\netapi32.dll").c_str());
    HMODULE x9 = LoadLibraryA((dir + "\\svrapi.dll").c_str());
    if (!np || !nt || !x9 || !GetProcAddress(np, "FerrolinkLan") || !GetProcAddress(nt, "FerrolinkLan") ||
        !GetProcAddress(x9, "FerrolinkLan")) {
        fprintf(stderr, "lancheck: the real network's DLLs are not in %s\n", dir.c_str());
        return 2;
    }
    wchar_t provider[] = L"Samba Network";
    NETRESOURCEW top = {};
    top.lpProvider = provider;
    if (mode == "--contract") {
        Contract(np, &top);
        return 0;
    }
    if (mode == "--forged") {
        // A name with a line break, as a browse list may carry one: what
        // the Windows side says of it must stay on one line of the log.
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0, resume = 0;
        wchar_t name[] = L"EVIL\n2026-01-01 00:00:00.000 windows: forged";
        const DWORD status = Entry<ShareEnumNtFn>(nt, "NetShareEnum")(name, 1, &buffer, MAX_PREFERRED_LENGTH, &read,
                                                                      &total, &resume);
        printf("forged: %lu\n", status);
        return 0;
    }
    if (mode == "--tree") {
        Tree(np, top);
        return 0;
    }
    Walk(np, "top", &top);
    if (quick) {
        ListNt(nt, L"ANVIL", MAX_PREFERRED_LENGTH);
        List9x(x9, "ANVIL", 1280);
        return 0;
    }
    wchar_t group[] = L"IRONWORKS";
    NETRESOURCEW workgroup = top;
    workgroup.lpRemoteName = group;
    Walk(np, "IRONWORKS", &workgroup);
    wchar_t server[] = L"\\\\ANVIL";
    NETRESOURCEW computer = top;
    computer.lpRemoteName = server;
    Walk(np, "\\\\ANVIL", &computer);
    ListNt(nt, L"ANVIL", MAX_PREFERRED_LENGTH);
    ListNt(nt, L"\\\\ANVIL", 200);
    List9x(x9, "ANVIL", 1280);
    List9x(x9, "\\\\ANVIL", 60);
    fflush(stdout);
    return 0;
}
