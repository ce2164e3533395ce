// Share enumeration: a computer's shares at level 1, through netapi32.dll on
// the NT family and svrapi.dll on the 9x family.
#pragma once
#include <windows.h>
#include <vector>
#include "framework/string.h"

typedef std::vector<CString> CStringList;

// The short text for a share type, compared as a whole number.
const char* ShareTypeText(DWORD type);

// A 9x share_info_1 record as svrapi.dll writes it (20 bytes on 32-bit).
#pragma pack(push, 1)
struct ShareInfo1_9x {
    char shi1_netname[13];
    char shi1_pad1;
    unsigned short shi1_type;
    char* shi1_remark;
};
#pragma pack(pop)

// Size of the caller's buffer for the 9x service.
const unsigned short kShareBuffer9x = 1280;
// Size of every text conversion buffer of the NT path, in bytes.
const int kConversionBuffer = 2048;

// Text helpers of the enumeration, exposed for the tests.
// `wide` into at most kConversionBuffer bytes of the ANSI code page, cut at a
// character boundary when it does not fit; NULL gives an empty text.
CString WideToAnsiBounded(const wchar_t* wide);
// `text` when it starts inside the `size` bytes at `buffer` and ends there;
// NULL otherwise.
const wchar_t* WideTextInBuffer(const wchar_t* text, const void* buffer, DWORD size);
// `name` into at most kConversionBuffer / 2 wide characters, terminator included.
void AnsiToWideBounded(const char* name, wchar_t (&out)[kConversionBuffer / 2]);
