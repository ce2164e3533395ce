#include <gtest/gtest.h>
#include <windows.h>
#include <lm.h>
#include <cstring>
#include "net/share_enum.h"
#include "tests/unit/fake_shares.h"

using Names = std::vector<std::string>;

namespace {

// A computer that answers the probe inside the test world.
const char kHere[] = "localhost";

struct Listed {
    int result;
    Names names, comments, types;
};

Listed Enumerate(CFerrolinkDlg& dlg, bool nt, const char* name = kHere)
{
    CStringList names, comments, types;
    Listed l;
    l.result = nt ? dlg.EnumSharesNT(name, names, comments, types) : dlg.EnumShares9x(name, names, comments, types);
    for (auto& s : names) l.names.push_back(s.str());
    for (auto& s : comments) l.comments.push_back(s.str());
    for (auto& s : types) l.types.push_back(s.str());
    return l;
}

TEST(ShareTypeText, WholeValueTable)
{
    const struct { DWORD type; const char* text; } rows[] = {
        {0, "Disk"}, {1, "Print"}, {2, "DEV"}, {3, "IPC"},
        {0x80000003, "IPC"}, {0x80000000, "SPEC"},
        {0x80000001, "?"}, {0x80000002, "?"}, {4, "?"}, {0x40000000, "?"}, {0xFFFFFFFF, "?"},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(ShareTypeText(r.type), r.text) << std::hex << r.type;
}

TEST(ShareText, ConversionsAreBounded)
{
    EXPECT_STREQ(WideToAnsiBounded(nullptr), "");
    EXPECT_STREQ(WideToAnsiBounded(L""), "");
    EXPECT_STREQ(WideToAnsiBounded(L"DOCS"), "DOCS");
    const std::wstring huge(5000, L'w');
    EXPECT_EQ(WideToAnsiBounded(huge.c_str()).GetLength(), kConversionBuffer - 1);
    const std::wstring fits(kConversionBuffer - 1, L'f');
    EXPECT_EQ(WideToAnsiBounded(fits.c_str()).GetLength(), kConversionBuffer - 1);

    wchar_t out[kConversionBuffer / 2];
    AnsiToWideBounded("PC1", out);
    EXPECT_STREQ(out, L"PC1");
    AnsiToWideBounded(std::string(3000, 'N').c_str(), out);
    EXPECT_EQ(lstrlenW(out), kConversionBuffer / 2 - 1);
    AnsiToWideBounded(nullptr, out);
    EXPECT_STREQ(out, L"");
}

TEST(EnumSharesNT, PassesRetryAndUpperCase)
{
    CFerrolinkDlg dlg;
    InstallFakeShares(dlg, true);
    Shares().needsBackslashes = true;
    Shares().passes = 3;
    Shares().shares = {{L"DOCS", 0, L"Documents"}, {L"LASER", 1, L"Second floor"}, {L"COM1", 2, L""},
                       {L"IPC$", 0x80000003, L"Remote IPC"}, {L"C$", 0x80000000, L"Default share"},
                       {std::nullopt, 0x80000001, std::nullopt}};
    const Listed l = Enumerate(dlg, true, "localhost");
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.names, Names({"DOCS", "LASER", "COM1", "IPC$", "C$", ""}));
    EXPECT_EQ(l.types, Names({"Disk", "Print", "DEV", "IPC", "SPEC", "?"}));
    EXPECT_EQ(l.comments, Names({"Documents", "Second floor", "", "Remote IPC", "Default share", ""}));
    // Every pass asks with the bare upper-case name first, then with backslashes.
    EXPECT_EQ(Shares().serversSeen, Names({"LOCALHOST", "\\\\LOCALHOST", "LOCALHOST", "\\\\LOCALHOST",
                                           "LOCALHOST", "\\\\LOCALHOST"}));
}

TEST(EnumSharesNT, FailingPassKeepsEarlierShares)
{
    CFerrolinkDlg dlg;
    InstallFakeShares(dlg, true);
    Shares().passes = 3;
    Shares().failPass = 1;
    Shares().shares = {{L"A", 0, L""}, {L"B", 0, L""}, {L"C", 0, L""}};
    const Listed l = Enumerate(dlg, true);
    EXPECT_EQ(l.result, ERROR_NO_NET_OR_BAD_PATH);
    EXPECT_EQ(l.names, Names({"A"}));
}

TEST(EnumSharesNT, ServiceAnswers)
{
    const struct { DWORD status; bool moreDataEmpty; bool missingEntries; int result; } rows[] = {
        {ERROR_ACCESS_DENIED, false, false, ERROR_NO_NET_OR_BAD_PATH},
        {ERROR_BAD_NETPATH, false, false, ERROR_NO_NET_OR_BAD_PATH},
        {NERR_Success, true, false, 0},          // 234 without records ends the passes
        {NERR_Success, false, true, ERROR_NO_NET_OR_BAD_PATH},   // nothing to call
    };
    for (const auto& r : rows) {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, true);
        Shares().status = r.status;
        Shares().moreDataEmpty = r.moreDataEmpty;
        Shares().shares = {{L"X", 0, L""}};
        if (r.missingEntries)
            dlg.m_pfnNetApiBufferFree = nullptr;
        const Listed l = Enumerate(dlg, true);
        EXPECT_EQ(l.result, r.result) << r.status;
        EXPECT_TRUE(l.names.empty());
        EXPECT_LE(Shares().calls, r.moreDataEmpty ? 1 : 2);
    }
}

TEST(EnumSharesNT, LongNamesAreCut)
{
    CFerrolinkDlg dlg;
    InstallFakeShares(dlg, true);
    Shares().shares = {{std::wstring(4000, L'S'), 0, std::wstring(3000, L'R')}};
    const Listed l = Enumerate(dlg, true);
    ASSERT_EQ(l.names.size(), 1u);
    EXPECT_EQ(l.names[0].size(), static_cast<size_t>(kConversionBuffer - 1));
    EXPECT_EQ(l.comments[0].size(), static_cast<size_t>(kConversionBuffer - 1));
}

TEST(ShareText, WideTextMustLieInTheBuffer)
{
    // The buffer is the eight characters between the two guards.
    wchar_t storage[10] = {L'x', L'A', L'B', 0, L'C', L'D', L'E', L'F', L'G', 0};
    wchar_t* block = storage + 1;
    const DWORD size = 8 * sizeof(wchar_t);
    const char* bytes = reinterpret_cast<const char*>(block);
    const wchar_t outside[] = L"elsewhere";
    const struct { const wchar_t* text; DWORD size; bool kept; const char* why; } rows[] = {
        {block, size, true, "starts the buffer, ends inside"},
        {block + 2, size, true, "empty text inside"},
        {block + 3, size, false, "no terminator before the end"},
        {block, 4, false, "terminator beyond the stated size"},
        {block + 8, size, false, "just past the end"},
        {block - 1, size, false, "just before the start"},
        {reinterpret_cast<const wchar_t*>(bytes + 1), size, false, "between two characters"},
        {outside, size, false, "another block"},
        {nullptr, size, false, "no text"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(WideTextInBuffer(r.text, block, r.size) == r.text && r.text, r.kept) << r.why;
}

// A service whose count claims more records than its buffer holds, and
// whose second record points outside it; it tells the true size.
struct LyingBlock {
    SHARE_INFO_1 records[2];
    wchar_t text[8];
};
LyingBlock g_lying;
NET_API_STATUS WINAPI LyingEnum(LMSTR, DWORD, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total, LPDWORD)
{
    static const wchar_t elsewhere[] = L"elsewhere";
    std::memcpy(g_lying.text, L"ONE\0one\0", sizeof g_lying.text);
    g_lying.records[0] = {g_lying.text, STYPE_DISKTREE, g_lying.text + 4};
    g_lying.records[1] = {const_cast<wchar_t*>(elsewhere), STYPE_PRINTQ, g_lying.text + 4};
    *buffer = reinterpret_cast<LPBYTE>(&g_lying);
    *read = 100000;
    *total = 2;
    return NERR_Success;
}
NET_API_STATUS WINAPI LyingFree(LPVOID) { return NERR_Success; }
NET_API_STATUS WINAPI LyingSize(LPVOID, LPDWORD size)
{
    *size = sizeof g_lying;
    return NERR_Success;
}

TEST(EnumSharesNT, ReadsNoMoreThanTheBufferHolds)
{
    CFerrolinkDlg dlg;
    dlg.m_pfnNetShareEnumNT = &LyingEnum;
    dlg.m_pfnNetApiBufferFree = &LyingFree;
    dlg.m_pfnNetApiBufferSize = &LyingSize;
    const Listed l = Enumerate(dlg, true);
    EXPECT_EQ(l.result, 0);
    // sizeof g_lying holds two whole records: the claimed 100,000 are cut.
    ASSERT_EQ(l.names.size(), sizeof g_lying / sizeof(SHARE_INFO_1));
    EXPECT_EQ(l.names[0], "ONE");
    EXPECT_EQ(l.comments[0], "one");
    EXPECT_EQ(l.names[1], "") << "a name outside the buffer is not read";
    EXPECT_EQ(l.comments[1], "one");
    EXPECT_EQ(l.types, Names({"Disk", "Print"}));
}

TEST(EnumShares, NoAnswerMeansSuccessWithoutAsking)
{
    for (bool nt : {true, false}) {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, nt);
        Shares().shares = {{L"X", 0, L""}};
        const Listed l = Enumerate(dlg, nt, "no-such-computer.invalid");
        EXPECT_EQ(l.result, 0);
        EXPECT_TRUE(l.names.empty());
        EXPECT_EQ(Shares().calls, 0);
    }
}

TEST(EnumShares9x, RecordsRetryAndTypes)
{
    CFerrolinkDlg dlg;
    InstallFakeShares(dlg, false);
    Shares().needsBackslashes = true;
    Shares().shares = {{L"DOCS", 0, L"Documents"}, {L"PRINTER", 1, L"Laser"}, {L"TWELVECHARSX", 3, L""}};
    const Listed l = Enumerate(dlg, false, "localhost");
    EXPECT_EQ(l.result, 0);
    EXPECT_EQ(l.names, Names({"DOCS", "PRINTER", "TWELVECHARSX"}));
    EXPECT_EQ(l.types, Names({"Disk", "Print", "IPC"}));
    EXPECT_EQ(l.comments, Names({"Documents", "Laser", ""}));
    EXPECT_EQ(Shares().serversSeen, Names({"LOCALHOST", "\\\\LOCALHOST"}));
}

TEST(EnumShares9x, MoreDataTakesWhatTheBufferHolds)
{
    CFerrolinkDlg dlg;
    InstallFakeShares(dlg, false);
    for (int i = 0; i < 200; ++i)
        Shares().shares.push_back({L"S" + std::to_wstring(i), 0, L"remark"});
    const Listed l = Enumerate(dlg, false);
    EXPECT_EQ(l.result, 0);
    EXPECT_GT(l.names.size(), 10u);
    EXPECT_LT(l.names.size(), 200u);
    EXPECT_EQ(l.names.front(), "S0");
    EXPECT_EQ(Shares().calls, 1);   // never the same request again
}

TEST(EnumShares9x, HostileRecords)
{
    const size_t fits = kShareBuffer9x / sizeof(ShareInfo1_9x);
    {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, false);
        Shares().nameUnterminated = true;
        Shares().shares = {{L"X", 0, L"r"}};
        const Listed l = Enumerate(dlg, false);
        EXPECT_EQ(l.names, Names({std::string(12, 'N')}));
    }
    {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, false);
        Shares().remarkOutside = true;
        Shares().shares = {{L"X", 0, L"r"}};
        const Listed l = Enumerate(dlg, false);
        EXPECT_EQ(l.comments, Names({""}));
    }
    {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, false);
        Shares().countLie = 5000;
        Shares().shares = {{L"X", 0, L"r"}};
        const Listed l = Enumerate(dlg, false);
        EXPECT_EQ(l.names.size(), fits);
        EXPECT_EQ(l.names[0], "X");
    }
    {
        CFerrolinkDlg dlg;
        InstallFakeShares(dlg, false);
        Shares().status = ERROR_ACCESS_DENIED;
        EXPECT_EQ(Enumerate(dlg, false).result, ERROR_NO_NET_OR_BAD_PATH);
        dlg.m_pfnNetShareEnum9x = nullptr;
        EXPECT_EQ(Enumerate(dlg, false).result, ERROR_NO_NET_OR_BAD_PATH);
    }
}

} // namespace
