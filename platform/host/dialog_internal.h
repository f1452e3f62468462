// Private to the dialog manager and the controls of the device (dialog*.cpp,
// control_*.cpp, listview*.cpp, messagebox*.cpp, user_nonclient.cpp). They are
// written on the device's public Win32 functions, the way the platform's own
// user and common-controls libraries are; only these few helpers are shared.
#pragma once

#include "internal.h"

#include <string>

namespace dev {

// Class registration of each control file; RegisterSystemClasses calls them.
void RegisterDialogClass();
void RegisterStaticClass();
void RegisterButtonClass();
void RegisterEditClass();
void RegisterListViewClass();

// The screen without the taskbar: where top-level dialogs and message boxes
// are kept.
RECT DeviceWorkArea();

// MulDiv as the platform rounds it (half away from zero), for dialog units.
int MulDivRound(int value, int numerator, int denominator);

// The window's text as the window stores it (read without a message).
std::u16string WindowText(HWND window);

// The font a control draws with: the one WM_SETFONT gave it, or the dialog
// font when it was never given one.
HFONT ControlFont(HFONT font);

// Ask the parent for the colours of a control (WM_CTLCOLOR*), with the
// platform's defaults when the parent leaves the message alone.
HBRUSH ControlColorBrush(HWND control, HDC dc, UINT message);
// What DefWindowProc gives for WM_CTLCOLOR*: window colours for edits and
// lists, the button face for everything else.
HBRUSH DefaultControlColor(HDC dc, UINT message);

// Classic 3-D frames, shared by buttons, the close box, header items and
// scroll arrows. The rectangle is shrunk by the frame drawn.
void DrawRaisedFrame(HDC dc, RECT *rect, bool outerBlack);
void DrawSunkenFrame(HDC dc, RECT *rect);
void FillSolid(HDC dc, const RECT &rect, COLORREF color);
void DrawLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color);

// The per-window record of a control lives in its first extra bytes.
template <class Record> Record *ControlRecord(HWND window) {
    return reinterpret_cast<Record *>(GetWindowLongPtrW(window, 0));
}

} // namespace dev
