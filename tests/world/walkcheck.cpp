// walkcheck.exe: walks the network through the router as a client would and
// prints what each level gives, to check the provider against its world.
//   walkcheck [--count N] [--buffer BYTES] [--again] [--quiet]
// --count: entries asked per request (default 1); --buffer: the client's
// buffer (default 16384); --again: ask once more after an error, to see the
// level go on; --quiet: print only the totals.
#include <windows.h>
#include <winnetwk.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

DWORD g_count = 1;
DWORD g_buffer = 16384;
bool g_again = false;
bool g_quiet = false;
unsigned long g_items = 0;

void PrintName(const char* name)
{
    if (!name) {
        std::printf("(null)");
        return;
    }
    const size_t length = std::strlen(name);
    if (length > 64)
        std::printf("'%.8s...' (%zu chars)", name, length);
    else
        std::printf("'%s'", name);
}

void Walk(NETRESOURCEA* container, int depth)
{
    HANDLE handle;
    DWORD r = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &handle);
    if (r != NO_ERROR) {
        if (!g_quiet)
            std::printf("%*sopen -> %lu\n", depth * 2, "", r);
        return;
    }
    std::vector<char> buffer(g_buffer);
    bool retried = false;
    for (;;) {
        DWORD count = g_count, size = g_buffer;
        r = WNetEnumResourceA(handle, &count, buffer.data(), &size);
        if (r != NO_ERROR) {
            if (!g_quiet)
                std::printf("%*s-> %lu\n", depth * 2, "", r);
            if (r != ERROR_NO_MORE_ITEMS && g_again && !retried) {
                retried = true;
                continue;
            }
            break;
        }
        // Each record is walked from a copy: the buffer is reused at once.
        std::vector<char> copy(buffer.begin(), buffer.begin() + g_buffer);
        NETRESOURCEA* records = reinterpret_cast<NETRESOURCEA*>(copy.data());
        for (DWORD i = 0; i < count; ++i) {
            NETRESOURCEA& e = records[i];
            ++g_items;
            if (!g_quiet) {
                std::printf("%*s", depth * 2, "");
                PrintName(e.lpRemoteName);
                std::printf(" display=%lu usage=0x%lx\n", e.dwDisplayType, e.dwUsage);
            }
            if ((e.dwUsage & RESOURCEUSAGE_CONTAINER) && e.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER)
                Walk(&e, depth + 1);
        }
    }
    WNetCloseEnum(handle);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--count") && i + 1 < argc)
            g_count = std::strtoul(argv[++i], nullptr, 0);
        else if (!std::strcmp(argv[i], "--buffer") && i + 1 < argc)
            g_buffer = std::strtoul(argv[++i], nullptr, 0);
        else if (!std::strcmp(argv[i], "--again"))
            g_again = true;
        else if (!std::strcmp(argv[i], "--quiet"))
            g_quiet = true;
        else {
            std::fprintf(stderr, "usage: walkcheck [--count N] [--buffer BYTES] [--again] [--quiet]\n");
            return 2;
        }
    }
    const DWORD start = GetTickCount();
    Walk(nullptr, 0);
    std::printf("items: %lu\n", g_items);
    if (g_quiet)
        std::printf("ms: %lu\n", GetTickCount() - start);
    return 0;
}
