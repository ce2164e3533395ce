// libferrolink-names.so: preloaded into Wine under `make lan` (and the lan
// test worlds). The program looks a computer up by its name before it
// probes it; under Wine that look-up is the system's resolver, which knows
// nothing of the names NetBIOS, WS-Discovery and mDNS give. The helper
// writes what it has learned to the file FERROLINK_LAN_NAMES names
// ("ADDRESS NAME" lines). The system's resolver is asked first, as Windows
// asks DNS before NetBIOS: a learned name answers only where the resolver
// knows nothing, so no computer on the network can take over a name the
// hosts file or DNS gives.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include "lan/helper/names_line.h"

namespace {

// The learned address of `name`, in network order; false when none.
bool Learned(const char* name, in_addr* address)
{
    const char* path = std::getenv("FERROLINK_LAN_NAMES");
    if (!path || !*path || !name || !*name || std::strlen(name) > 255)
        return false;
    FILE* f = std::fopen(path, "re");
    if (!f)
        return false;
    char line[512], known[64];
    bool found = false;
    // The helper writes at most a few thousand lines; a file of more is not its.
    for (int n = 0; !found && n < 8192 && std::fgets(line, sizeof line, f); ++n)
        found = ReadNamesLine(line, address, known) && strcasecmp(known, name) == 0;
    std::fclose(f);
    return found;
}

// Whether the resolver's answer means it knows nothing of a name (or could
// not ask), as opposed to an answer or a call it refused.
bool Unknown(int status)
{
    return status == EAI_NONAME || status == EAI_NODATA || status == EAI_AGAIN || status == EAI_FAIL;
}

bool UnknownHost(int herror)
{
    return herror == HOST_NOT_FOUND || herror == NO_DATA || herror == TRY_AGAIN || herror == NO_RECOVERY;
}

template <typename T>
T Next(const char* symbol)
{
    return reinterpret_cast<T>(dlsym(RTLD_NEXT, symbol));
}

// Fills `host` from `buffer`: the name, no aliases, one IPv4 address.
int Fill(const char* name, in_addr address, hostent* host, char* buffer, size_t length)
{
    struct Layout {
        char* aliases[1];
        char* addresses[2];
        in_addr address;
    };
    const size_t nameLength = std::strlen(name) + 1;
    if (length < sizeof(Layout) + nameLength + alignof(Layout))
        return ERANGE;
    const size_t skew = reinterpret_cast<uintptr_t>(buffer) % alignof(Layout);
    Layout* l = reinterpret_cast<Layout*>(buffer + (skew ? alignof(Layout) - skew : 0));
    char* copy = reinterpret_cast<char*>(l + 1);
    std::memcpy(copy, name, nameLength);
    l->aliases[0] = nullptr;
    l->address = address;
    l->addresses[0] = reinterpret_cast<char*>(&l->address);
    l->addresses[1] = nullptr;
    host->h_name = copy;
    host->h_aliases = l->aliases;
    host->h_addrtype = AF_INET;
    host->h_length = sizeof(in_addr);
    host->h_addr_list = l->addresses;
    return 0;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                                                       addrinfo** result)
{
    using Fn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static Fn real = Next<Fn>("getaddrinfo");
    const int status = real(node, service, hints, result);
    in_addr address;
    const int family = hints ? hints->ai_family : AF_UNSPEC;
    if (!Unknown(status) || (family != AF_UNSPEC && family != AF_INET) ||
        (hints && (hints->ai_flags & AI_NUMERICHOST)) || !Learned(node, &address))
        return status;
    // The system's own answer for the address, so that ports, socket types
    // and the rest come out as they always do.
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    addrinfo numeric = hints ? *hints : addrinfo();
    numeric.ai_family = AF_INET;
    numeric.ai_flags = (numeric.ai_flags | AI_NUMERICHOST) & ~AI_CANONNAME;
    return real(text, service, &numeric, result);
}

__attribute__((visibility("default"))) int gethostbyname_r(const char* name, hostent* host, char* buffer,
                                                           size_t length, hostent** result, int* error)
{
    using Fn = int (*)(const char*, hostent*, char*, size_t, hostent**, int*);
    static Fn real = Next<Fn>("gethostbyname_r");
    int herror = 0;
    const int resolved = real(name, host, buffer, length, result, &herror);
    in_addr address;
    if (*result || resolved == ERANGE || !UnknownHost(herror) || !Learned(name, &address)) {
        if (error)
            *error = herror;
        return resolved;
    }
    const int status = Fill(name, address, host, buffer, length);
    *result = status ? nullptr : host;
    if (error)
        *error = status ? NETDB_INTERNAL : 0;
    return status;
}

__attribute__((visibility("default"))) int gethostbyname2_r(const char* name, int family, hostent* host, char* buffer,
                                                            size_t length, hostent** result, int* error)
{
    using Fn = int (*)(const char*, int, hostent*, char*, size_t, hostent**, int*);
    static Fn real = Next<Fn>("gethostbyname2_r");
    if (family != AF_INET)
        return real(name, family, host, buffer, length, result, error);
    return gethostbyname_r(name, host, buffer, length, result, error);
}

__attribute__((visibility("default"))) hostent* gethostbyname(const char* name)
{
    using Fn = hostent* (*)(const char*);
    static Fn real = Next<Fn>("gethostbyname");
    if (hostent* known = real(name))
        return known;
    in_addr address;
    if (!UnknownHost(h_errno) || !Learned(name, &address))
        return nullptr;
    static thread_local hostent host;
    static thread_local char buffer[512];
    return Fill(name, address, &host, buffer, sizeof buffer) == 0 ? &host : nullptr;
}

} // extern "C"
