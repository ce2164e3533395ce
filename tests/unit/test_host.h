// A plain top-level window for control tests: a background of a colour no
// control uses, the notifications its children send, and the framework's
// reflection to the children's objects.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "framework/afx.h"

class TestHost : public CWnd {
public:
    static constexpr COLORREF kBackground = RGB(0x30, 0x60, 0x90);

    // A visible, topmost popup at the given screen place.
    TestHost(int x, int y, int width, int height);
    ~TestHost() override;

    HWND AddChild(const char* className, const char* text, DWORD style, int x, int y, int width, int height,
                  int id);

    struct Command {
        int id;
        int code;
    };
    std::vector<Command> commands;
    std::vector<LPARAM> rightPresses;
    // Called for each WM_COMMAND as it arrives.
    std::function<void(const Command&)> onCommand;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The GDI objects this process holds, regions and the system's spare
// display contexts left out: Wine keeps the update regions of windows as
// region objects, as many as happen to be invalid, and keeps released
// window DCs for reuse, making another whenever more are in use at once (so
// their number grows now and then with the timing of the painting).
// GetGuiResources answers 0 under Wine; a 16-bit handle value names a live
// object there, so every value is tried.
int CountGdiObjects();

// What a leak would leave behind, by kind: GDI objects, cursors and icons,
// windows (the USER objects a program like this one makes, message-only
// ones included), the framework's objects bound to windows, and kernel
// handles of this process.
struct Objects {
    int fonts = 0, brushes = 0, pens = 0, bitmaps = 0, dcs = 0, regions = 0, otherGdi = 0;
    int cursors = 0, windows = 0, windowObjects = 0;
    long handles = 0;
    int gdi() const { return fonts + brushes + pens + bitmaps + dcs + regions + otherGdi; }
};
// A count that two counts a little apart agree on. Every window of the
// process is first validated, so the regions counted are the program's own
// and not update regions waiting to be painted.
Objects TakeObjects();
// Each kind of which there are more after than before, as "fonts 12 -> 13";
// empty when none grew. (Fewer is no leak: the system may let go of what it
// kept, a spare DC and its bitmap say.)
std::string ObjectsGrown(const Objects& before, const Objects& after);

// Dispatches whatever is queued for this thread.
void PumpMessages();

// A 32-bit memory bitmap to paint controls into and read back.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return m_dc; }
    COLORREF At(int x, int y) const { return ::GetPixel(m_dc, x, y); }
    void Fill(COLORREF color);
    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    int m_width, m_height;
};
