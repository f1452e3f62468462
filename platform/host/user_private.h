// Private to the window core of the device (user_window.cpp,
// user_message.cpp, user_paint.cpp, user_input.cpp): window and class
// records, timers, and the helpers they share. Everything here is guarded by
// BigLock; window procedures are always called with it released.
#pragma once

#include "kernel_sched.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace dev {

struct WindowClass {
    std::u16string name;
    std::u16string key; // name folded to lower case
    WNDCLASSW info;     // lpszClassName points at name
    DWORD processId;    // 0: a system class, seen by every process
    ATOM atom;
};

struct Timer {
    HWND window; // null for a thread timer
    Thread *thread;
    UINT_PTR id;
    UINT period;
    uint64_t due; // device time of the next WM_TIMER
    TIMERPROC proc;
};

struct Window {
    HWND handle;
    std::shared_ptr<WindowClass> cls;
    Thread *thread;
    DWORD processId;
    DWORD style;
    DWORD exStyle;
    WNDPROC proc;
    HINSTANCE instance;
    LONG_PTR id; // GWLP_ID: a child's identifier
    LONG_PTR userData;
    std::u16string text;
    Window *parent = nullptr; // null for a top-level window
    Window *owner = nullptr;
    std::vector<Window *> children; // z-order, topmost first
    RECT rect{};                    // in the parent's client coordinates (screen for top-level)
    std::vector<uint8_t> extra;     // cbWndExtra bytes
    std::vector<RECT> update;       // update region, client coordinates, as a few rectangles
    bool erase = false;             // WM_ERASEBKGND due at the next BeginPaint
    uint32_t paints = 0;            // BeginPaint calls so far
    bool frameDirty = false;        // WM_NCPAINT due
    bool destroying = false;
};

struct UserState {
    std::unordered_map<uintptr_t, std::unique_ptr<Window>> windows;
    // Handles looked up lately, by their low bits: W answers most calls from
    // here. A record leaving windows leaves here too.
    struct Recent {
        uintptr_t handle = 0;
        Window *window = nullptr;
    };
    static const size_t kRecent = 256;
    Recent recent[kRecent];
    uintptr_t nextHandle = 0x10010;
    std::vector<Window *> topLevel; // z-order, topmost first
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    HWND foreground = nullptr;
    HWND capture = nullptr;
    POINT cursor{0, 0};
    std::vector<HWND> pixelOwners;  // screen width * height
    std::vector<HWND> ownersBefore; // the map before the last change, kept for its storage
    std::vector<int> ownerRunEnds;  // per pixel: the x where its row's run of one owner ends
    int ownersWidth = 0, ownersHeight = 0;
    bool ownersValid = false;
    std::map<std::u16string, std::string (*)(HWND)> dumpExtra;
    UINT_PTR nextThreadTimer = 1;
};

UserState &U();

const HWND kDesktopWindow = (HWND)(uintptr_t)0x10000;

// The live window of a handle, or null (also for windows being torn down
// past WM_NCDESTROY).
Window *W(HWND handle);
// W, setting ERROR_INVALID_WINDOW_HANDLE as the platform does when it is gone.
Window *WindowOrError(HWND handle);

// Geometry, screen coordinates.
RECT ScreenRect(const Window *w);
RECT ClientScreenRect(const Window *w);
RECT ClientRectOf(const Window *w); // client coordinates: 0,0 to width,height
bool IsVisible(const Window *w);    // it and all its ancestors
Window *TopLevelOf(Window *w);
bool HasFrame(const Window *w);

// Call the window's procedure on the calling thread, with BigLock released.
LRESULT CallProc(Window *w, UINT message, WPARAM wParam, LPARAM lParam);
// SendMessageW with the lock held by the caller.
LRESULT SendLocked(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Deliver to the window's own thread without waiting for it (activation and
// focus news for another thread, which must not hang the sender).
void Notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void NotifyPos(HWND window, UINT message, const WINDOWPOS &pos); // the record travels with it
// Turn stylus input of the thread into mouse messages (user_input.cpp).
void CookInput(Thread *thread);

// Painting (user_paint.cpp).
void AddUpdate(Window *w, const RECT &clientRect, bool erase);
void InvalidateAll(Window *w, bool children); // client and frame
bool HasUpdate(const Window *w);
void MarkFrameDirty(Window *w); // WM_NCPAINT due
void ScreenChanged();           // window layout changed: recompute pixel owners
void DropPixels(Window *w);

// Activation (user_window.cpp).
void ActivateWindow(Window *w, int how);
void WindowHidden(Window *w); // pass activation and focus on from a window going away

// Timers (user_message.cpp).
void KillWindowTimers(HWND window);

// Rectangle helpers.
inline bool EmptyRect(const RECT &r)
{
    return r.right <= r.left || r.bottom <= r.top;
}
inline RECT Intersection(const RECT &a, const RECT &b)
{
    RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
           a.bottom < b.bottom ? a.bottom : b.bottom};
    if (EmptyRect(r)) r = RECT{0, 0, 0, 0};
    return r;
}
inline RECT Offset(RECT r, int dx, int dy)
{
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}
inline bool Contains(const RECT &outer, const RECT &inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string Utf8(const std::u16string &text);

} // namespace dev
