// One line of the names file the helper writes for the program's look-ups
// ("ADDRESS NAME ...", found.h), as the preloaded names library reads it:
// a dotted IPv4 address and a name of 1 to 63 bytes; what follows is not
// looked at. Header-only, so the library stays a few functions of C.
#pragma once
#include <arpa/inet.h>
#include <cstdio>

// False for any line not of that form.
inline bool ReadNamesLine(const char* line, in_addr* address, char (&name)[64])
{
    char text[16];
    int used = 0;
    if (std::sscanf(line, "%15s %63s%n", text, name, &used) != 2)
        return false;
    // A name cut at 63 bytes is no name of the file's.
    const char after = line[used];
    return (after == '\0' || after == ' ' || after == '\n') && inet_pton(AF_INET, text, address) == 1;
}
