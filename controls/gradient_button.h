// CGradientButton: an owner-drawn push button that paints itself: a flat,
// gradient or rounded face, a one-pixel frame and an icon and/or caption,
// in colours that follow the mouse (normal, hot, pressed, hot and pressed).
// Which shape, content and behaviour apply is chosen by the style word.
#pragma once
#include <windows.h>
#include "framework/afx.h"

class CGradientButton : public CButton {
public:
    CGradientButton();
    ~CGradientButton() override;

    void SetStyle(DWORD style);
    DWORD GetButtonStyle() const { return m_style; }
    void SetColors(COLORREF activeText, COLORREF activeFace, COLORREF normalText, COLORREF normalFace);
    void SetBorderColors(COLORREF light, COLORREF dark, COLORREF normalLight, COLORREF normalDark);
    // Height in logical units; an empty face name and a weight of -1 keep
    // the current ones.
    void SetFont(int height, const char* faceName, int weight);
    // Loads icon `iconId` (16 or 32 pixels, by style 0x4000) from `instance`,
    // the program's own when null, and shows it.
    HICON SetIcon(UINT iconId, HINSTANCE instance);
    void SetCheck(int state);
    int GetCheck() const { return m_checked; }
    // Fills both vertex sets; mode 0x400 gives dark edges and a light middle.
    void ComputeGradient(UINT mode);

    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnKillFocus(HWND newWnd);
    void OnCaptureChanged(HWND newWnd);
    BOOL OnEraseBkgnd(CDC* dc);
    void OnRButtonDown(UINT flags, CPoint point);
    void OnSize(UINT type, int cx, int cy);

    // The look follows the pointer: flags and a point in client coordinates.
    void Evaluate(UINT flags, CPoint point);
    // Evaluates with the left button held at the cursor's current position.
    void EvaluatePressAtCursor();
    bool IsOver(CPoint point, HWND* under) const;
    void TakeCapture();
    void InitToolTip();
    // Lets the parent paint the area the face leaves uncovered.
    void PaintParentBackground(CDC* dc, const CRect& rect);

    DWORD m_style = 5;
    int m_checked = 0;
    UINT m_textFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    CToolTipCtrl m_toolTip;
    int m_hover = 0;
    int m_pressed = 0;
    HWND m_lastWnd = nullptr;
    UINT m_lastFlags = 0;
    COLORREF m_activeTextColor;
    COLORREF m_activeFaceColor;
    COLORREF m_normalTextColor;
    COLORREF m_normalFaceColor;
    COLORREF m_lightColor;
    COLORREF m_darkColor;
    COLORREF m_normalLightColor;
    COLORREF m_normalDarkColor;
    LOGFONTA m_logFont = {};
    HFONT m_font = nullptr;
    CBrush m_activeBrush;
    CBrush m_normalBrush;
    CPen m_darkPen;
    CPen m_lightPen;
    CPen m_normalPen;
    int m_cornerWidth = 2;
    int m_cornerHeight = 2;
    TRIVERTEX m_activeVertices[4] = {};
    TRIVERTEX m_normalVertices[4] = {};
    GRADIENT_RECT m_gradientRect = {0, 1};
    int m_halfHeight = 15;
    int m_height = 30;
    int m_appliedCheck = 0;
    HICON* m_pCurrentIcon = nullptr;
    HICON m_normalIcon = nullptr;
    HICON m_checkedIcon = nullptr;
};
