// CHyperLink: a static text of a dialog template turned into a link. It
// shows its text in the link colour, underlines it under the mouse, shows
// a hand cursor and a tooltip naming the target, and opens its URL when
// clicked: through the shell, else through the program registered for
// ".htm" files, else with a beep and a box that says why.
#pragma once
#include <windows.h>
#include "framework/afx.h"

// The beep before the launch error box, replaceable so that tests hear it.
extern BOOL (WINAPI *g_pfnLinkBeep)(UINT type);

class CHyperLink : public CStatic {
public:
    CHyperLink();
    ~CHyperLink() override;

    // The target a click opens. Never changes the window text.
    void SetURL(CString url);
    void MarkVisited(BOOL visited);
    // Takes ownership of `cursor`; null loads the hand cursor again.
    void SetHandCursor(HCURSOR cursor);
    // 1: always underlined; -1: underlined while hovered; else never.
    void SetUnderlineMode(int mode);

    // Opens `url`; a result above 32 is success.
    UINT LaunchURL(LPCSTR url, int showCmd);
    // The default value of `root`\`subKey` into `out` (260 bytes at most,
    // empty when the key has none); `subKey` and `out` may be one buffer.
    static LONG ReadKeyDefaultValue(HKEY root, LPCSTR subKey, LPSTR out);
    void ShowLaunchError(int result);
    // The text of the box for a failed result, without its heading.
    static CString LaunchErrorText(int result);

    void PreSubclassWindow() override;
    BOOL DestroyWindow() override;
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

    HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    BOOL OnSetCursor(HWND wnd, UINT hitTest, UINT message);
    void OnMouseMove(UINT flags, CPoint point);
    void OnTimer(UINT_PTR id);
    void OnClicked();
    BOOL OnEraseBkgnd(CDC* dc);

    void FitToText();
    void BuildTipText(const CString& url);
    void LoadHandCursor();

    COLORREF m_linkColor = RGB(0, 0, 238);
    COLORREF m_visitedColor = RGB(85, 26, 139);
    COLORREF m_hoverColor = RGB(255, 0, 0);
    BOOL m_hovering = FALSE;
    BOOL m_visited = FALSE;
    int m_underlineMode = -1;
    CString m_url;
    CString m_tipText;
    CFont m_underlineFont;
    CFont m_normalFont;
    HCURSOR m_handCursor = nullptr;
    CToolTipCtrl m_tip;
    UINT m_hoverTimerId = 100;
};
