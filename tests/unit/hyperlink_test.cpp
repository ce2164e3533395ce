// CHyperLink: set-up at subclassing, fitting, tips, hover, colours, the
// cursor it owns, and opening a link through the shell, the ".htm"
// fallback and the error box. The world's shell opens http and mailto
// targets with the recorder, so nothing real is started.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "controls/hyperlink.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/test_host.h"

namespace {

class ProbeLink : public CHyperLink {
public:
    using CHyperLink::BuildTipText;
    using CHyperLink::m_handCursor;
    using CHyperLink::m_hovering;
    using CHyperLink::m_normalFont;
    using CHyperLink::m_tip;
    using CHyperLink::m_tipText;
    using CHyperLink::m_underlineFont;
    using CHyperLink::m_url;
    using CHyperLink::m_visited;
};

const COLORREF kLink = RGB(0, 0, 238), kVisited = RGB(85, 26, 139), kHover = RGB(255, 0, 0);
const int kLinkId = 1009;

std::string TextOf(HWND h)
{
    char buf[1024] = {};
    ::GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

RECT RectIn(HWND parent, HWND child)
{
    RECT r = {};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The tooltip's text for the control's one tool.
std::string TipOf(ProbeLink& link)
{
    char buf[512] = {};
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = link.m_hWnd;
    ti.uId = 1;
    ti.lpszText = buf;
    ::SendMessageA(link.m_tip.m_hWnd, TTM_GETTEXTA, sizeof buf, reinterpret_cast<LPARAM>(&ti));
    return buf;
}

// A static on a host, subclassed as a link.
struct LinkFixture {
    explicit LinkFixture(const char* text, DWORD style = SS_LEFT, const char* urlBefore = nullptr,
                         RECT place = {40, 30, 240, 50})
        : host(150, 150, 400, 120)
    {
        wnd = host.AddChild("Static", text, style, place.left, place.top, place.right - place.left,
                            place.bottom - place.top, kLinkId);
        if (urlBefore)
            link.SetURL(urlBefore);
        link.SubclassWindow(wnd);
    }
    // The colour the link asks its parent to paint its text in.
    COLORREF TextColor()
    {
        Canvas c(4, 4);
        const LRESULT brush = ::SendMessageA(host.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(c.dc()),
                                             reinterpret_cast<LPARAM>(wnd));
        EXPECT_EQ(brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));
        EXPECT_EQ(::GetBkMode(c.dc()), TRANSPARENT);
        return ::GetTextColor(c.dc());
    }
    HFONT Font() const { return reinterpret_cast<HFONT>(::SendMessageA(wnd, WM_GETFONT, 0, 0)); }
    void Click() { ::SendMessageA(host.m_hWnd, WM_COMMAND, MAKEWPARAM(kLinkId, STN_CLICKED), reinterpret_cast<LPARAM>(wnd)); }
    // A timer tick as the message loop would deliver it, with the cursor at
    // a screen point.
    void TickWithCursorAt(int x, int y)
    {
        ::SetCursorPos(x, y);
        ::PostMessageA(wnd, WM_TIMER, 100, 0);
        PumpMessages();
    }

    TestHost host;
    ProbeLink link;
    HWND wnd = nullptr;
};

SIZE TextExtent(HWND wnd, HFONT font)
{
    HDC dc = ::GetDC(wnd);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE s = {};
    const std::string text = TextOf(wnd);
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
    ::SelectObject(dc, old);
    ::ReleaseDC(wnd, dc);
    return s;
}

// The recorder's log: one command line per start.
std::vector<std::string> RecordedLines()
{
    std::vector<std::string> lines;
    const char* path = std::getenv("FERROLINK_RECORD_FILE");
    char winPath[MAX_PATH] = {};
    if (!::GetEnvironmentVariableA("FERROLINK_RECORD", winPath, sizeof winPath))
        return lines;
    (void)path;
    std::ifstream in(winPath);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool WaitForRecord(const std::string& needle, std::string* line = nullptr)
{
    return WaitFor(
        [&] {
            for (const auto& l : RecordedLines())
                if (l.find(needle) != std::string::npos) {
                    if (line)
                        *line = l;
                    return true;
                }
            return false;
        },
        10000);
}

std::string RecorderPath()
{
    char exe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string dir(exe);
    dir.resize(dir.find_last_of('\\') + 1);
    return dir + "recorder.exe";
}

void DeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS)
        return;
    char sub[256];
    while (::RegEnumKeyA(key, 0, sub, sizeof sub) == ERROR_SUCCESS)
        DeleteKeyTree(key, sub);
    ::RegCloseKey(key);
    ::RegDeleteKeyA(root, path.c_str());
}

// Sets a default value under HKCR for the test and puts the old one back.
class ClassesValue {
public:
    ClassesValue(const char* key, const std::string& value)
        : m_key(key)
    {
        char old[1024] = {};
        LONG size = sizeof old;
        m_had = ::RegQueryValueA(HKEY_CLASSES_ROOT, key, old, &size) == ERROR_SUCCESS;
        m_old = old;
        ::RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, value.c_str(), static_cast<DWORD>(value.size()));
    }
    ~ClassesValue()
    {
        if (m_had)
            ::RegSetValueA(HKEY_CLASSES_ROOT, m_key.c_str(), REG_SZ, m_old.c_str(), static_cast<DWORD>(m_old.size()));
        else
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, m_key.c_str());
    }

private:
    std::string m_key, m_old;
    bool m_had = false;
};

TEST(HyperLink, TipTexts)
{
    struct Row {
        const char* url;
        const char* tip;
    } rows[] = {
        {"http://www.flink.test", "Go to www.flink.test"},
        {"HTTP://WWW.A.EXAMPLE/", "Go to WWW.A.EXAMPLE/"},
        {"mailto:support@flink.test", "E-mail support@flink.test"},
        {"MailTo:A@B", "E-mail A@B"},
        // An upper-case I is an i whatever the user's locale (in a Turkish
        // one its lower case is a dotless i, and MAILTO would not match).
        {"MAILTO:IT@FLINK.TEST", "E-mail IT@FLINK.TEST"},
        {"https://x.example", "https://x.example"},
        {"ftp.flink.test", "ftp.flink.test"},
        {"http:/", "http:/"},
        {"", ""},
    };
    for (const Row& r : rows) {
        ProbeLink link;
        link.BuildTipText(r.url);
        EXPECT_EQ(std::string(link.m_tipText), r.tip) << r.url;
    }
}

TEST(HyperLink, SetUpAtSubclassing)
{
    struct Row {
        const char* text;
        const char* urlBefore;
        const char* url;
        const char* windowText;
        const char* tip;
    } rows[] = {
        {"www.flink.test", nullptr, "http://www.flink.test", "www.flink.test", "Go to www.flink.test"},
        {"WWW.Flink.Example", nullptr, "http://WWW.Flink.Example", "WWW.Flink.Example", "Go to WWW.Flink.Example"},
        {"support@flink.test", nullptr, "support@flink.test", "support@flink.test", "support@flink.test"},
        {"Write to us", "mailto:a@flink.test", "mailto:a@flink.test", "Write to us", "E-mail a@flink.test"},
        {"", "http://www.flink.test", "http://www.flink.test", "http://www.flink.test",
         "Go to www.flink.test"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        LinkFixture f(r.text, SS_LEFT, r.urlBefore);
        EXPECT_EQ(std::string(f.link.m_url), r.url);
        EXPECT_EQ(TextOf(f.wnd), r.windowText);
        EXPECT_EQ(TipOf(f.link), r.tip);
        EXPECT_TRUE(::GetWindowLongA(f.wnd, GWL_STYLE) & SS_NOTIFY);
        LOGFONTA normal = {}, underlined = {};
        ::GetObjectA(f.link.m_normalFont, sizeof normal, &normal);
        ::GetObjectA(f.link.m_underlineFont, sizeof underlined, &underlined);
        EXPECT_FALSE(normal.lfUnderline);
        EXPECT_TRUE(underlined.lfUnderline);
        EXPECT_STREQ(normal.lfFaceName, underlined.lfFaceName);
        EXPECT_EQ(f.TextColor(), kLink);
    }
}

TEST(HyperLink, SetUrlChangesTheTipButNotTheText)
{
    LinkFixture f("www.flink.test");
    const RECT before = RectIn(f.host.m_hWnd, f.wnd);
    f.link.SetURL("mailto:ferrolink@flink.test");
    EXPECT_EQ(std::string(f.link.m_url), "mailto:ferrolink@flink.test");
    EXPECT_EQ(TextOf(f.wnd), "www.flink.test");
    EXPECT_EQ(TipOf(f.link), "E-mail ferrolink@flink.test");
    const RECT after = RectIn(f.host.m_hWnd, f.wnd);
    EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST(HyperLink, FitsItselfToItsText)
{
    const RECT place = {40, 30, 240, 60}; // 200 x 30, wider and taller than the text
    struct Row {
        const char* name;
        DWORD style;
    } rows[] = {{"left", SS_LEFT}, {"right", SS_RIGHT}, {"centre", SS_CENTER},
                {"centre image", SS_LEFT | SS_CENTERIMAGE}, {"right, centre image", SS_RIGHT | SS_CENTERIMAGE}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        LinkFixture f("www.flink.test", r.style, nullptr, place);
        const SIZE text = TextExtent(f.wnd, f.link.m_underlineFont);
        const RECT got = RectIn(f.host.m_hWnd, f.wnd);
        // A centred side keeps its centre by taking the same whole number of
        // pixels off both ends, so an odd difference leaves one pixel more.
        if (r.style & SS_CENTER) {
            const int cut = (200 - text.cx) / 2;
            EXPECT_EQ(got.left, place.left + cut);
            EXPECT_EQ(got.right, place.right - cut);
        } else if (r.style & SS_RIGHT) {
            EXPECT_EQ(got.right, place.right);
            EXPECT_EQ(got.right - got.left, text.cx);
        } else {
            EXPECT_EQ(got.left, place.left);
            EXPECT_EQ(got.right - got.left, text.cx);
        }
        if (r.style & SS_CENTERIMAGE) {
            const int cut = (30 - text.cy) / 2;
            EXPECT_EQ(got.top, place.top + cut);
            EXPECT_EQ(got.bottom, place.bottom - cut);
        } else {
            EXPECT_EQ(got.top, place.top);
            EXPECT_EQ(got.bottom - got.top, text.cy);
        }
    }
}

TEST(HyperLink, HoverUnderlinesUntilTheTimerFindsTheCursorGone)
{
    LinkFixture f("www.flink.test");
    RECT screen = {};
    ::GetWindowRect(f.wnd, &screen);
    ::SetCursorPos(screen.left + 2, screen.top + 2);
    ::SendMessageA(f.wnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(f.link.m_hovering);
    EXPECT_EQ(f.Font(), static_cast<HFONT>(f.link.m_underlineFont));
    EXPECT_EQ(f.TextColor(), kHover);

    // A tick with the cursor still inside changes nothing.
    f.TickWithCursorAt(screen.left + 3, screen.top + 2);
    EXPECT_TRUE(f.link.m_hovering);

    // Outside: normal font and colour again.
    f.TickWithCursorAt(screen.right + 50, screen.bottom + 50);
    EXPECT_FALSE(f.link.m_hovering);
    EXPECT_EQ(f.Font(), static_cast<HFONT>(f.link.m_normalFont));
    EXPECT_EQ(f.TextColor(), kLink);

    // Always underlined: leaving keeps the underline.
    f.link.SetUnderlineMode(1);
    EXPECT_EQ(f.Font(), static_cast<HFONT>(f.link.m_underlineFont));
    ::SetCursorPos(screen.left + 2, screen.top + 2);
    ::SendMessageA(f.wnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    f.TickWithCursorAt(screen.right + 50, screen.bottom + 50);
    EXPECT_FALSE(f.link.m_hovering);
    EXPECT_EQ(f.Font(), static_cast<HFONT>(f.link.m_underlineFont));
    // Never underlined.
    f.link.SetUnderlineMode(0);
    ::SetCursorPos(screen.left + 2, screen.top + 2);
    ::SendMessageA(f.wnd, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(f.Font(), static_cast<HFONT>(f.link.m_normalFont));
    f.TickWithCursorAt(screen.right + 50, screen.bottom + 50);
}

TEST(HyperLink, OwnsItsCursor)
{
    LinkFixture f("www.flink.test");
    HCURSOR first = static_cast<HCURSOR>(::CopyIcon(::LoadCursorA(nullptr, IDC_ARROW)));
    HCURSOR second = static_cast<HCURSOR>(::CopyIcon(::LoadCursorA(nullptr, IDC_IBEAM)));
    f.link.SetHandCursor(first);
    EXPECT_EQ(::SendMessageA(f.wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(f.wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    f.link.SetHandCursor(first); // the same one again is kept
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(first, &info));
    ::DeleteObject(info.hbmMask);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);

    f.link.SetHandCursor(second);
    EXPECT_FALSE(::GetIconInfo(first, &info)) << "the replaced cursor is destroyed";
    // A launch loads the hand cursor afresh, so it lets the held one go.
    f.link.LaunchURL("http://www.flink.test/cursor", SW_SHOW);
    EXPECT_FALSE(::GetIconInfo(second, &info));
    EXPECT_NE(f.link.m_handCursor, second);
    if (!f.link.m_handCursor) {
        // No hand cursor where the system keeps none: the default cursor.
        EXPECT_EQ(::SendMessageA(f.wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(f.wnd),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                  FALSE);
    }
}

TEST(HyperLink, ReadKeyDefaultValue)
{
    HKEY root = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, "Software\\FerrolinkTest\\Present", &root), ERROR_SUCCESS);
    ::RegSetValueA(HKEY_CURRENT_USER, "Software\\FerrolinkTest\\Present", REG_SZ, "the value", 9);
    ::RegCloseKey(root);
    ::RegCreateKeyA(HKEY_CURRENT_USER, "Software\\FerrolinkTest\\NoDefault", &root);
    ::RegCloseKey(root);
    const std::string longValue(300, 'v');
    ::RegSetValueA(HKEY_CURRENT_USER, "Software\\FerrolinkTest\\TooLong", REG_SZ, longValue.c_str(), 300);

    struct Row {
        const char* key;
        LONG result;
        const char* value;
    } rows[] = {
        {"Software\\FerrolinkTest\\Present", ERROR_SUCCESS, "the value"},
        {"Software\\FerrolinkTest\\NoDefault", ERROR_SUCCESS, ""},
        {"Software\\FerrolinkTest\\TooLong", ERROR_SUCCESS, ""},
        {"Software\\FerrolinkTest\\Missing", ERROR_FILE_NOT_FOUND, "untouched"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.key);
        char out[520];
        std::memset(out, 'x', sizeof out);
        lstrcpyA(out, "untouched");
        EXPECT_EQ(CHyperLink::ReadKeyDefaultValue(HKEY_CURRENT_USER, r.key, out), r.result);
        EXPECT_STREQ(out, r.value);
        // The key path and the answer in one buffer.
        char same[520];
        lstrcpyA(same, r.key);
        CHyperLink::ReadKeyDefaultValue(HKEY_CURRENT_USER, same, same);
        if (r.result == ERROR_SUCCESS) {
            EXPECT_STREQ(same, r.value);
        }
    }
    DeleteKeyTree(HKEY_CURRENT_USER, "Software\\FerrolinkTest");
}

TEST(HyperLink, LaunchErrorTexts)
{
    struct Row {
        int code;
        const char* text;
    } rows[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {4, "Unknown Error (4) occurred."},
        {33, "Unknown Error (33) occurred."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const Row& r : rows)
        EXPECT_EQ(std::string(CHyperLink::LaunchErrorText(r.code)), r.text) << r.code;
}

// The ".htm" fallback: the shell knows no "nolink:" scheme, so the command
// registered for ".htm" files runs with the URL in place of its placeholder.
TEST(HyperLink, FallbackThroughTheHtmCommand)
{
    const std::string rec = "\"" + RecorderPath() + "\"";
    struct Row {
        std::string command;
        std::string expected; // what the recorder is started with, before the URL
    } rows[] = {
        {rec + " \"%1\"", rec + "  "},
        {rec + " %1", rec + "  "},
        {rec + " \"%1\" --new-window", rec + "  "},
        {rec + " -url %1 -other", rec + " -url  "},
        {rec, rec + " "},
    };
    ClassesValue htm(".htm", "FerrolinkTestPage");
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.command);
        ClassesValue command("FerrolinkTestPage\\shell\\open\\command", r.command);
        ProbeLink link;
        const std::string url = "nolink:page-" + std::to_string(++n);
        const UINT result = link.LaunchURL(url.c_str(), SW_SHOW);
        EXPECT_GT(result, 32u);
        std::string line;
        ASSERT_TRUE(WaitForRecord(url, &line));
        EXPECT_EQ(line, r.expected + url);
    }
    DeleteKeyTree(HKEY_CLASSES_ROOT, "FerrolinkTestPage");
}

TEST(HyperLink, NoCommandIsRunCutShort)
{
    ClassesValue htm(".htm", "FerrolinkTestPage");
    ClassesValue command("FerrolinkTestPage\\shell\\open\\command", "\"" + RecorderPath() + "\" \"%1\"");
    ProbeLink link;
    const std::string url = "nolink:long-" + std::string(600, 'u');
    const UINT result = link.LaunchURL(url.c_str(), SW_SHOW);
    EXPECT_LE(result, 32u) << "the shell's failure is the answer";
    ::Sleep(500);
    for (const auto& l : RecordedLines())
        EXPECT_EQ(l.find("nolink:long-"), std::string::npos);
    DeleteKeyTree(HKEY_CLASSES_ROOT, "FerrolinkTestPage");
}

std::mutex g_eventsLock;
std::vector<std::string> g_events;
void AddEvent(const std::string& e)
{
    std::lock_guard<std::mutex> lock(g_eventsLock);
    g_events.push_back(e);
}
BOOL WINAPI RecordBeep(UINT type)
{
    AddEvent(type == MB_ICONEXCLAMATION ? "beep" : "other beep");
    return TRUE;
}

TEST(HyperLink, ClickOpensAndMarksVisited)
{
    LinkFixture f("www.flink.test");
    f.link.m_hovering = TRUE;
    f.Click();
    EXPECT_TRUE(f.link.m_visited);
    EXPECT_FALSE(f.link.m_hovering);
    EXPECT_EQ(f.TextColor(), kVisited);
    EXPECT_TRUE(WaitForRecord("http://www.flink.test"));
    // The next move over it brings the hover colour back: hover wins.
    ::SendMessageA(f.wnd, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    EXPECT_EQ(f.TextColor(), kHover);
}

TEST(HyperLink, FailedClickBeepsThenExplains)
{
    // No class for ".htm" files: the shell's own code is shown.
    ClassesValue htm(".htm", "FerrolinkNoSuchClass");
    LinkFixture f("www.flink.test");
    f.link.MarkVisited(TRUE);
    f.link.SetURL("nolink:nowhere");
    g_events.clear();
    auto* savedBeep = g_pfnLinkBeep;
    g_pfnLinkBeep = &RecordBeep;
    MessageBoxSeen box;
    bool gotBox = false;
    std::thread reader([&] {
        gotBox = TakeAnyMessageBox(&box, 10000);
        AddEvent("box");
    });
    f.Click();
    reader.join();
    g_pfnLinkBeep = savedBeep;

    ASSERT_TRUE(gotBox);
    EXPECT_EQ(box.caption, "ferrolink");
    EXPECT_EQ(box.text.rfind("Unable to open hyperlink:\n\n", 0), 0u) << box.text;
    const std::string reason = box.text.substr(std::string("Unable to open hyperlink:\n\n").size());
    EXPECT_EQ(reason, "There is no application associated\nwith the given filename extension.");
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "beep");
    EXPECT_EQ(g_events[1], "box");
    EXPECT_FALSE(f.link.m_visited);
    EXPECT_EQ(f.TextColor(), kLink);
}

// A cursor's pixels, its mask and its colour, as 32-bit rows.
std::vector<DWORD> CursorBits(HCURSOR cursor)
{
    std::vector<DWORD> bits;
    ICONINFO info = {};
    if (!::GetIconInfo(cursor, &info))
        return bits;
    HDC dc = ::GetDC(nullptr);
    for (HBITMAP bitmap : {info.hbmMask, info.hbmColor}) {
        BITMAP bm = {};
        if (!bitmap || !::GetObjectA(bitmap, sizeof bm, &bm))
            continue;
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = bm.bmWidth;
        bi.bmiHeader.biHeight = bm.bmHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        std::vector<DWORD> rows(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
        ::GetDIBits(dc, bitmap, 0, bm.bmHeight, rows.data(), &bi, DIB_RGB_COLORS);
        bits.insert(bits.end(), rows.begin(), rows.end());
        ::DeleteObject(bitmap);
    }
    ::ReleaseDC(nullptr, dc);
    return bits;
}

// The Windows directory's winhlp32.exe replaced, for as long as it lives,
// by the stand-in built beside the tests, which carries the cursor number
// 106 that the label takes from there (Wine's own has none); or removed.
class WinHelpInPlace {
public:
    explicit WinHelpInPlace(bool present)
    {
        ::GetWindowsDirectoryA(m_path, MAX_PATH - 20);
        lstrcatA(m_path, "\\winhlp32.exe");
        lstrcpyA(m_aside, m_path);
        lstrcatA(m_aside, ".aside");
        m_moved = ::MoveFileA(m_path, m_aside) != FALSE;
        char standin[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, standin, MAX_PATH - 40);
        *(strrchr(standin, '\\') + 1) = '\0';
        lstrcatA(standin, "winhelp_standin.exe");
        if (present)
            ::CopyFileA(standin, m_path, FALSE);
    }
    ~WinHelpInPlace()
    {
        ::DeleteFileA(m_path);
        if (m_moved)
            ::MoveFileA(m_aside, m_path);
    }
    const char* path() const { return m_path; }

private:
    char m_path[MAX_PATH] = {}, m_aside[MAX_PATH + 8] = {};
    bool m_moved = false;
};

TEST(HyperLink, HandCursorComesFromWinHelp)
{
    {
        WinHelpInPlace winhelp(true);
        HMODULE module = ::LoadLibraryExA(winhelp.path(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module) << winhelp.path();
        const HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(106));
        ASSERT_TRUE(hand);
        {
            LinkFixture f("www.flink.test");
            ASSERT_TRUE(f.link.m_handCursor);
            EXPECT_NE(f.link.m_handCursor, hand) << "a copy of its own, which outlives the module";
            EXPECT_EQ(CursorBits(f.link.m_handCursor), CursorBits(hand));
        }
        ::FreeLibrary(module);
    }
    WinHelpInPlace none(false);
    LinkFixture f("www.flink.test");
    EXPECT_FALSE(f.link.m_handCursor) << "without winhlp32.exe there is no hand cursor";
}

} // namespace
