// The device's window manager as its other areas, the emulator and tests see
// it (platform/host/user*.cpp): window geometry, stylus input, the window
// dump, the non-client frame and the system window classes.
#pragma once

#include "../platform.h"

#include <string>

namespace dev {

// Screen geometry of a window: the rectangle of the whole window and of its
// client area, in screen coordinates. False for no such window.
bool WindowScreenRects(HWND window, RECT *windowRect, RECT *clientRect);
// The window that shows at a screen pixel (deepest visible child), or null
// for the desktop background. Device contexts of a window draw only on the
// pixels it owns.
HWND PixelOwner(int x, int y);
// Stylus input from the presenter or the --tap option, in screen pixels.
void Tap(int x, int y, bool down);
// Post WM_CLOSE to the first top-level window of the class and title.
bool CloseWindowNormally(LPCWSTR className, LPCWSTR title);
// One line per window, as a window spy shows them.
std::string DumpWindows();
// Per-class hook for --dump-windows (list views add columns and item count).
void SetDumpExtra(LPCWSTR className, std::string (*extra)(HWND window));

// Non-client frame (platform/host/user_nonclient.cpp). Insets are the frame's
// thickness on each side (left, top, right, bottom): the client area is the
// window rectangle shrunk by them. The kernel paints the frame on WM_NCPAINT
// and activation changes with PaintNonClient, answers WM_NCHITTEST with
// NonClientHitTest, and hands WM_NCLBUTTONDOWN to NonClientButtonDown, which
// tracks a press on the close box and sends WM_SYSCOMMAND SC_CLOSE on release.
void FrameInsets(DWORD style, DWORD exStyle, RECT *insets);
void PaintNonClient(HWND window);
LRESULT NonClientHitTest(HWND window, POINT screenPoint);
LRESULT NonClientButtonDown(HWND window, WPARAM hitTest, LPARAM screenPoint);
// The system window classes "Dialog" (DEVICE_DIALOG_CLASS), "Static",
// "Button", "Edit" and "SysListView32" (platform/host/dialog*.cpp,
// control_*.cpp, listview*.cpp), global to every process of the device.
// ResetDevice forgets all classes; call this again after it.
void RegisterSystemClasses();

} // namespace dev
