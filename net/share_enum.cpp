#include "net/share_enum.h"
#include <lm.h>
#include <cstring>
#include <cstdint>
#include "app/ferrolink_dlg.h"
#include "net/ping.h"

#ifdef __i386__
static_assert(sizeof(ShareInfo1_9x) == 20, "share_info_1 is 20 bytes on 32-bit Windows");
#endif

namespace {
const int kEnumFailed = ERROR_NO_NET_OR_BAD_PATH;   // 1203
}

const char* ShareTypeText(DWORD type)
{
    switch (type) {
    case STYPE_DISKTREE: return "Disk";
    case STYPE_PRINTQ: return "Print";
    case STYPE_DEVICE: return "DEV";
    case STYPE_IPC: return "IPC";
    case STYPE_IPC | STYPE_SPECIAL: return "IPC";
    case STYPE_DISKTREE | STYPE_SPECIAL: return "SPEC";
    }
    return "?";
}

CString WideToAnsiBounded(const wchar_t* wide)
{
    if (!wide)
        return CString();
    char out[kConversionBuffer];
    int count = lstrlenW(wide);
    // Fewer characters until the text and its terminator fit the buffer.
    int lo = 0, hi = count, best = 0;
    int n = ::WideCharToMultiByte(CP_ACP, 0, wide, count, out, kConversionBuffer - 1, nullptr, nullptr);
    if (n > 0 || count == 0) {
        best = count;
    } else {
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int got = mid == 0 ? 0
                                     : ::WideCharToMultiByte(CP_ACP, 0, wide, mid, out, kConversionBuffer - 1,
                                                             nullptr, nullptr);
            if (mid == 0 || got > 0) {
                best = mid;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
    }
    n = best == 0 ? 0 : ::WideCharToMultiByte(CP_ACP, 0, wide, best, out, kConversionBuffer - 1, nullptr, nullptr);
    if (n < 0)
        n = 0;
    out[n] = '\0';
    return CString(out, n);
}

const wchar_t* WideTextInBuffer(const wchar_t* text, const void* buffer, DWORD size)
{
    const char* start = static_cast<const char*>(buffer);
    const char* at = reinterpret_cast<const char*>(text);
    if (!text || !start || at < start || at >= start + size ||
        (reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(start)) % sizeof(wchar_t) != 0)
        return nullptr;
    const size_t room = static_cast<size_t>(start + size - at) / sizeof(wchar_t);
    for (size_t i = 0; i < room; ++i)
        if (text[i] == L'\0')
            return text;
    return nullptr;
}

void AnsiToWideBounded(const char* name, wchar_t (&out)[kConversionBuffer / 2])
{
    const int room = kConversionBuffer / 2 - 1;
    const int len = name ? lstrlenA(name) : 0;
    int n = len == 0 ? 0 : ::MultiByteToWideChar(CP_ACP, 0, name, len, out, room);
    if (n == 0 && len > 0) {
        // Too long: convert it whole elsewhere and keep what fits.
        std::vector<wchar_t> all(len + 1);
        const int whole = ::MultiByteToWideChar(CP_ACP, 0, name, len, all.data(), len + 1);
        n = whole < room ? whole : room;
        if (n < 0)
            n = 0;
        std::memcpy(out, all.data(), n * sizeof(wchar_t));
    }
    out[n] = L'\0';
}

int CFerrolinkDlg::EnumShares(CString name, CStringList& names, CStringList& comments, CStringList& types)
{
    if (g_osKind & 0x20)
        return EnumSharesNT(name, names, comments, types);
    return EnumShares9x(name, names, comments, types);
}

int CFerrolinkDlg::EnumSharesNT(CString name, CStringList& names, CStringList& comments, CStringList& types)
{
    CPing ping;
    if (!ping.Ping(name))
        return 0;
    name.MakeUpper();
    // Without the library or its entry points there is nothing to call.
    if (!m_pfnNetShareEnumNT || !m_pfnNetApiBufferFree)
        return kEnumFailed;

    DWORD resume = 0, read = 0, total = 0;
    for (;;) {
        wchar_t server[kConversionBuffer / 2];
        AnsiToWideBounded(name, server);
        LPBYTE buffer = nullptr;
        NET_API_STATUS status = m_pfnNetShareEnumNT(server, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status == NERR_InvalidComputer) {
            if (buffer)
                m_pfnNetApiBufferFree(buffer);
            buffer = nullptr;
            AnsiToWideBounded(CString("\\\\") + name, server);
            status = m_pfnNetShareEnumNT(server, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        }
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer)
                m_pfnNetApiBufferFree(buffer);
            return kEnumFailed;
        }
        const SHARE_INFO_1* records = reinterpret_cast<const SHARE_INFO_1*>(buffer);
        DWORD delivered = records ? read : 0;
        // Where the service tells its buffer's size, no more records than it
        // holds are read, and only strings that lie in it.
        DWORD size = 0;
        const bool bounded = records && m_pfnNetApiBufferSize && m_pfnNetApiBufferSize(buffer, &size) == NERR_Success;
        if (bounded && delivered > size / sizeof(SHARE_INFO_1))
            delivered = size / sizeof(SHARE_INFO_1);
        for (DWORD i = 0; i < delivered; ++i) {
            const wchar_t* name = records[i].shi1_netname;
            const wchar_t* remark = records[i].shi1_remark;
            if (bounded) {
                name = WideTextInBuffer(name, buffer, size);
                remark = WideTextInBuffer(remark, buffer, size);
            }
            names.push_back(WideToAnsiBounded(name));
            comments.push_back(WideToAnsiBounded(remark));
            types.push_back(ShareTypeText(records[i].shi1_type));
        }
        if (buffer)
            m_pfnNetApiBufferFree(buffer);
        // A pass that promises more but delivers nothing would repeat forever.
        if (status != ERROR_MORE_DATA || delivered == 0)
            return 0;
    }
}

int CFerrolinkDlg::EnumShares9x(CString name, CStringList& names, CStringList& comments, CStringList& types)
{
    CPing ping;
    if (!ping.Ping(name))
        return 0;
    name.MakeUpper();
    if (!m_pfnNetShareEnum9x)
        return kEnumFailed;

    // Aligned for the records the service writes at its start.
    union {
        ShareInfo1_9x first;
        char bytes[kShareBuffer9x];
    } storage;
    std::memset(&storage, 0, sizeof storage);
    char* buffer = storage.bytes;
    unsigned short read = 0, total = 0;
    CString server = name;
    DWORD status = m_pfnNetShareEnum9x(server, 1, buffer, kShareBuffer9x, &read, &total);
    if (status == NERR_InvalidComputer) {
        server = CString("\\\\") + name;
        status = m_pfnNetShareEnum9x(server, 1, buffer, kShareBuffer9x, &read, &total);
    }
    if (status != NERR_Success && status != ERROR_MORE_DATA)
        return kEnumFailed;

    // ERROR_MORE_DATA: the records the buffer holds are the answer; the call
    // has no resume handle, so asking again would bring the same ones.
    const unsigned fits = kShareBuffer9x / sizeof(ShareInfo1_9x);
    const unsigned count = read < fits ? read : fits;
    const ShareInfo1_9x* records = reinterpret_cast<const ShareInfo1_9x*>(buffer);
    const char* end = buffer + kShareBuffer9x;
    for (unsigned i = 0; i < count; ++i) {
        const ShareInfo1_9x& r = records[i];
        // The name field holds at most 12 characters and its terminator.
        const void* zero = std::memchr(r.shi1_netname, '\0', 12);
        const int nameLen = zero ? static_cast<int>(static_cast<const char*>(zero) - r.shi1_netname) : 12;
        names.push_back(CString(r.shi1_netname, nameLen));
        // The remark lies in the caller's buffer; anything else is not ours to read.
        const char* remark = r.shi1_remark;
        CString comment;
        if (remark && remark >= buffer && remark < end) {
            const void* term = std::memchr(remark, '\0', end - remark);
            comment = CString(remark, term ? static_cast<int>(static_cast<const char*>(term) - remark)
                                           : static_cast<int>(end - remark));
        }
        comments.push_back(comment);
        types.push_back(ShareTypeText(r.shi1_type));
    }
    return 0;
}
