#include <gtest/gtest.h>
#include "app/ferrolink_dlg.h"
#include "net/net_update.h"

namespace {

struct VersionRow {
    DWORD platform, major, minor;
    int kind;
};

class OsKind : public ::testing::TestWithParam<VersionRow> {};

TEST_P(OsKind, FirstMatchingRowWins)
{
    const VersionRow r = GetParam();
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwPlatformId = r.platform;
    v.dwMajorVersion = r.major;
    v.dwMinorVersion = r.minor;
    EXPECT_EQ(OsKindFromVersion(v, 0), r.kind) << r.platform << " " << r.major << "." << r.minor;
}

INSTANTIATE_TEST_SUITE_P(Versions, OsKind, ::testing::Values(
    VersionRow{VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1},    // Windows 95
    VersionRow{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2},   // Windows 98
    VersionRow{VER_PLATFORM_WIN32_WINDOWS, 4, 90, 2},   // Windows Me
    VersionRow{VER_PLATFORM_WIN32_NT, 4, 0, 32},        // NT 4.0
    VersionRow{VER_PLATFORM_WIN32_NT, 4, 7, 32},        // major 4 wins over the minor
    VersionRow{VER_PLATFORM_WIN32_NT, 5, 0, 33},        // 2000
    VersionRow{VER_PLATFORM_WIN32_NT, 5, 1, 34},        // XP
    VersionRow{VER_PLATFORM_WIN32_NT, 5, 2, 35},        // 2003
    VersionRow{VER_PLATFORM_WIN32_NT, 6, 0, 33},        // Vista
    VersionRow{VER_PLATFORM_WIN32_NT, 6, 1, 34},        // 7
    VersionRow{VER_PLATFORM_WIN32_NT, 6, 2, 35},        // 8
    VersionRow{VER_PLATFORM_WIN32_NT, 6, 3, 0},         // 8.1: not recognised
    VersionRow{VER_PLATFORM_WIN32_NT, 10, 0, 33},       // only the minor counts
    VersionRow{VER_PLATFORM_WIN32s, 3, 1, 34}));

TEST(OsKind, UnrecognisedKeepsThePreviousValue)
{
    OSVERSIONINFOA v = {};
    v.dwPlatformId = VER_PLATFORM_WIN32_NT;
    v.dwMajorVersion = 6;
    v.dwMinorVersion = 3;
    EXPECT_EQ(OsKindFromVersion(v, 7), 7);
}

TEST(ComputerName, RemoteNameForms)
{
    const struct { const char* remote; const char* text; } rows[] = {
        {"\\\\ALPHA", "ALPHA"},      // the usual form
        {"BETA", "BETA"},            // no backslash: unchanged
        {"\\XGAMMA", "GAMMA"},       // one backslash: it and the next character go
        {"\\", ""},                  // too short to drop two characters
        {"\\\\", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(ComputerNameFromRemote(r.remote), r.text) << (r.remote ? r.remote : "(null)");
}

} // namespace
