// Windows of the device: classes, creation and destruction, the window tree
// and z-order, window data, geometry, visibility, activation and focus,
// system metrics and colours.
//
// Handles are small integers that are never reused, so a stale handle fails
// cleanly. Top-level windows keep one z-order list (WS_EX_TOPMOST windows
// first, owned windows above their owner); children keep theirs in the
// parent, new children at the bottom as the dialog manager expects (their
// creation order is the tab order).
//
// Activation and focus news for another thread's window are delivered
// without waiting for that thread, so activating a window never hangs on a
// hung program; everything else sent to another thread's window waits.
//
// Not implemented: minimized and maximized states (SW_MINIMIZE hides),
// window regions, WM_NCCALCSIZE (the frame comes from FrameInsets),
// WM_PARENTNOTIFY, WM_MOUSEACTIVATE, menus, class extra bytes.

#include "user_private.h"
#include "kernel.h"
#include "user.h"

#include <algorithm>
#include <cstring>

namespace dev {

UserState &U()
{
    static UserState *state = new UserState;
    return *state;
}

namespace {

// Handles go up in steps of two.
UserState::Recent &RecentSlot(UserState &u, uintptr_t handle)
{
    return u.recent[(handle >> 1) % UserState::kRecent];
}

} // namespace

Window *W(HWND handle)
{
    UserState &u = U();
    uintptr_t key = (uintptr_t)handle;
    UserState::Recent &slot = RecentSlot(u, key);
    if (slot.handle == key) return slot.window;
    auto it = u.windows.find(key);
    if (it == u.windows.end()) return nullptr;
    slot = UserState::Recent{key, it->second.get()};
    return slot.window;
}

Window *WindowOrError(HWND handle)
{
    Window *w = W(handle);
    if (!w) SetLastError(1400);
    return w;
}

std::string Utf8(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        }
        if (c < 0x80)
            out += (char)c;
        else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

typedef std::lock_guard<std::recursive_mutex> Lock;

std::u16string Fold(const std::u16string &s)
{
    std::u16string r = s;
    for (char16_t &c : r)
        if (c >= 'A' && c <= 'Z') c = (char16_t)(c + 32);
    return r;
}

RECT Insets(const Window *w)
{
    RECT in{0, 0, 0, 0};
    FrameInsets(w->style, w->exStyle, &in);
    return in;
}

std::vector<Window *> &SiblingsOf(Window *w)
{
    return w->parent ? w->parent->children : U().topLevel;
}

bool IsTopmost(const Window *w)
{
    return !w->parent && (w->exStyle & WS_EX_TOPMOST);
}

// Place a top-level window at the top of its band, with the windows it owns
// above it. True when the order changed.
bool BringToTop(Window *w)
{
    std::vector<Window *> &list = SiblingsOf(w);
    std::vector<Window *> before = list;
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
    size_t at = 0;
    if (!w->parent && !IsTopmost(w))
        while (at < list.size() && IsTopmost(list[at]))
            at++;
    list.insert(list.begin() + (long)at, w);
    if (!w->parent) {
        std::vector<Window *> owned;
        for (Window *o : list)
            if (o->owner == w) owned.push_back(o);
        for (auto it = owned.rbegin(); it != owned.rend(); ++it)
            if (IsTopmost(*it) == IsTopmost(w)) BringToTop(*it);
    }
    return before != list;
}

void PlaceAfter(Window *w, HWND after)
{
    std::vector<Window *> &list = SiblingsOf(w);
    if (after == HWND_TOP) {
        BringToTop(w);
        return;
    }
    if (after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        if (!w->parent) {
            if (after == HWND_TOPMOST)
                w->exStyle |= WS_EX_TOPMOST;
            else
                w->exStyle &= ~(DWORD)WS_EX_TOPMOST;
        }
        BringToTop(w);
        return;
    }
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
    if (after == HWND_BOTTOM) {
        if (!w->parent) w->exStyle &= ~(DWORD)WS_EX_TOPMOST;
        list.push_back(w);
        return;
    }
    Window *a = W(after);
    auto it = a ? std::find(list.begin(), list.end(), a) : list.end();
    if (it == list.end())
        list.insert(list.begin(), w);
    else
        list.insert(it + 1, w);
}

std::shared_ptr<WindowClass> FindClass(LPCWSTR name, DWORD processId)
{
    UserState &u = U();
    if (IS_INTRESOURCE(name)) {
        ATOM atom = (ATOM)(uintptr_t)name;
        for (auto &c : u.classes)
            if (c->atom == atom && (c->processId == 0 || c->processId == processId)) return c;
        return nullptr;
    }
    std::u16string key = Fold(name);
    for (auto &c : u.classes)
        if (c->processId == processId && processId && c->key == key) return c;
    for (auto &c : u.classes)
        if (c->processId == 0 && c->key == key) return c;
    return nullptr;
}

// Deliver to the window's thread: directly on it, without waiting otherwise.
void Tell(Window *w, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!w) return;
    if (w->thread == CurrentThread())
        SendLocked(w->handle, message, wParam, lParam);
    else
        Notify(w->handle, message, wParam, lParam);
}

void SetFocusLocked(Thread *t, HWND focus)
{
    HWND old = t->focus;
    if (old == focus) return;
    t->focus = focus;
    if (Window *o = W(old)) Tell(o, WM_KILLFOCUS, (WPARAM)focus, 0);
    if (Window *n = W(focus)) Tell(n, WM_SETFOCUS, (WPARAM)old, 0);
}

bool IsDescendantOrSelf(const Window *ancestor, const Window *w)
{
    for (; w; w = w->parent)
        if (w == ancestor) return true;
    return false;
}

void Unlink(Window *w)
{
    UserState &u = U();
    std::vector<Window *> &list = SiblingsOf(w);
    list.erase(std::remove(list.begin(), list.end(), w), list.end());
    if (w->thread) {
        auto &mine = w->thread->windows;
        mine.erase(std::remove(mine.begin(), mine.end(), w), mine.end());
        if (w->thread->active == w->handle) w->thread->active = nullptr;
        if (w->thread->focus == w->handle) w->thread->focus = nullptr;
        // Posted messages for a window that is gone are dropped with it.
        auto &posted = w->thread->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG &m) { return m.hwnd == w->handle; }),
                     posted.end());
    }
    for (auto &entry : u.windows)
        if (entry.second->owner == w) entry.second->owner = nullptr;
    if (u.foreground == w->handle) u.foreground = nullptr;
    if (u.capture == w->handle) u.capture = nullptr;
}

// Free the record after WM_NCDESTROY (or without messages).
void Forget(Window *w)
{
    bool visible = IsVisible(w);
    KillWindowTimers(w->handle);
    Unlink(w);
    UserState &u = U();
    UserState::Recent &slot = RecentSlot(u, (uintptr_t)w->handle);
    if (slot.handle == (uintptr_t)w->handle) slot = UserState::Recent{};
    u.windows.erase((uintptr_t)w->handle);
    CountObject(KindWindow, -1);
    if (visible) ScreenChanged();
}

void DestroyTree(Window *w)
{
    HWND handle = w->handle;
    w->destroying = true;
    // Owned windows go first, as the platform destroys a window's popups.
    std::vector<HWND> owned;
    for (Window *o : U().topLevel)
        if (o->owner == w && !o->destroying) owned.push_back(o->handle);
    for (HWND h : owned)
        if (Window *o = W(h)) {
            if (o->thread == CurrentThread())
                DestroyTree(o);
            else
                o->owner = nullptr;
        }
    if ((w = W(handle)) == nullptr) return;
    if (w->style & WS_VISIBLE) {
        bool wasShown = IsVisible(w);
        w->style &= ~(DWORD)WS_VISIBLE;
        if (wasShown) ScreenChanged();
        WindowHidden(w);
    } else if (U().foreground == handle) {
        WindowHidden(w);
    }
    if (!W(handle)) return;
    SendLocked(handle, WM_DESTROY, 0, 0);
    for (;;) {
        w = W(handle);
        if (!w) return;
        Window *child = nullptr;
        for (Window *c : w->children)
            if (!c->destroying) {
                child = c;
                break;
            }
        if (!child) break;
        DestroyTree(child);
    }
    // Children that were already on their way out when we got here.
    while ((w = W(handle)) && !w->children.empty())
        Forget(w->children.front());
    SendLocked(handle, WM_NCDESTROY, 0, 0);
    if ((w = W(handle)) != nullptr) Forget(w);
}

bool Eligible(Window *w, Window *leaving)
{
    return w != leaving && !w->destroying && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) &&
           !(w->exStyle & WS_EX_TOOLWINDOW);
}

} // namespace

// ------------------------------------------------------------- geometry

RECT ScreenRect(const Window *w)
{
    if (!w->parent) return w->rect;
    RECT origin = ClientScreenRect(w->parent);
    return Offset(w->rect, origin.left, origin.top);
}

RECT ClientScreenRect(const Window *w)
{
    RECT r = ScreenRect(w);
    RECT in = Insets(w);
    RECT c{r.left + in.left, r.top + in.top, r.right - in.right, r.bottom - in.bottom};
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    return c;
}

RECT ClientRectOf(const Window *w)
{
    RECT c = ClientScreenRect(w);
    return RECT{0, 0, c.right - c.left, c.bottom - c.top};
}

bool IsVisible(const Window *w)
{
    for (; w; w = w->parent)
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

Window *TopLevelOf(Window *w)
{
    while (w && w->parent)
        w = w->parent;
    return w;
}

bool HasFrame(const Window *w)
{
    RECT in = Insets(w);
    return in.left || in.top || in.right || in.bottom;
}

bool WindowScreenRects(HWND window, RECT *windowRect, RECT *clientRect)
{
    Lock lock(BigLock());
    if (window == kDesktopWindow) {
        RECT screen{0, 0, CurrentConfig().screenWidth, CurrentConfig().screenHeight};
        if (windowRect) *windowRect = screen;
        if (clientRect) *clientRect = screen;
        return true;
    }
    Window *w = W(window);
    if (!w) return false;
    if (windowRect) *windowRect = ScreenRect(w);
    if (clientRect) *clientRect = ClientScreenRect(w);
    return true;
}

// ----------------------------------------------------- activation, focus

void ActivateWindow(Window *w, int how)
{
    UserState &u = U();
    w = TopLevelOf(w);
    HWND handle = w ? w->handle : nullptr;
    if (w && BringToTop(w) && IsVisible(w)) ScreenChanged();
    Window *old = W(u.foreground);
    if (old == w) {
        if (w) w->thread->active = handle;
        return;
    }
    HWND oldHandle = old ? old->handle : nullptr;
    u.foreground = handle;
    if (old) {
        if (old->thread->active == oldHandle) old->thread->active = nullptr;
        Tell(old, WM_NCACTIVATE, FALSE, 0);
        Tell(W(oldHandle), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), (LPARAM)handle);
        // A thread whose window loses the foreground to another thread loses
        // its focus too; within one thread the new window's SetFocus moves it.
        Window *gone = W(oldHandle);
        Window *next = W(handle);
        if (gone && (!next || next->thread != gone->thread)) SetFocusLocked(gone->thread, nullptr);
    }
    if ((w = W(handle)) != nullptr && u.foreground == handle) {
        w->thread->active = handle;
        if (IsVisible(w)) {
            // The platform moves an activated window to the top with
            // SetWindowPos, so it hears of its new place.
            WINDOWPOS pos{handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE};
            if (w->thread == CurrentThread()) {
                SendLocked(handle, WM_WINDOWPOSCHANGING, 0, (LPARAM)&pos);
                SendLocked(handle, WM_WINDOWPOSCHANGED, 0, (LPARAM)&pos);
            } else {
                NotifyPos(handle, WM_WINDOWPOSCHANGING, pos);
                NotifyPos(handle, WM_WINDOWPOSCHANGED, pos);
            }
        }
        Tell(W(handle), WM_NCACTIVATE, TRUE, 0);
        Tell(W(handle), WM_ACTIVATE, MAKEWPARAM(how, 0), (LPARAM)oldHandle);
    }
}

void WindowHidden(Window *w)
{
    UserState &u = U();
    HWND handle = w->handle;
    if (u.capture && IsDescendantOrSelf(w, W(u.capture))) {
        HWND old = u.capture;
        u.capture = nullptr;
        Tell(W(old), WM_CAPTURECHANGED, 0, 0);
    }
    if ((w = W(handle)) == nullptr) return;
    Thread *t = w->thread;
    if (t->focus && IsDescendantOrSelf(w, W(t->focus))) SetFocusLocked(t, nullptr);
    if ((w = W(handle)) == nullptr || w->parent || u.foreground != handle) return;
    // The owner takes over when it can, else the next window down.
    Window *next = nullptr;
    if (w->owner && Eligible(w->owner, w)) next = w->owner;
    for (size_t i = 0; !next && i < u.topLevel.size(); i++)
        if (Eligible(u.topLevel[i], w) && !(u.topLevel[i]->exStyle & WS_EX_TOPMOST)) next = u.topLevel[i];
    ActivateWindow(next, WA_ACTIVE);
}

// ---------------------------------------------------------------- reset

void ResetUser()
{
    UserState &u = U();
    for (Thread *t : AllThreads()) {
        t->windows.clear();
        t->active = t->focus = nullptr;
        t->mayPaint = false;
    }
    u.windows.clear();
    for (UserState::Recent &slot : u.recent)
        slot = UserState::Recent{};
    u.topLevel.clear();
    u.classes.clear();
    u.nextHandle = 0x10010;
    u.nextAtom = 0xC000;
    u.foreground = u.capture = nullptr;
    u.cursor = POINT{0, 0};
    u.pixelOwners.clear();
    u.ownerRunEnds.clear();
    u.ownersValid = false;
    u.nextThreadTimer = 1;
}

void DestroyThreadWindows(Thread *t)
{
    while (!t->windows.empty()) {
        Window *w = t->windows.front();
        while (w->parent && w->parent->thread == t)
            w = w->parent;
        size_t before = t->windows.size();
        if (!w->destroying) DestroyTree(w);
        if (t->windows.size() == before && !t->windows.empty() && t->windows.front() == w) Forget(w);
    }
}

void DropProcessWindows(DWORD processId)
{
    UserState &u = U();
    std::vector<HWND> doomed;
    for (auto &entry : u.windows)
        if (entry.second->processId == processId && !entry.second->parent) doomed.push_back(entry.second->handle);
    for (HWND h : doomed) {
        std::vector<Window *> stack;
        if (Window *w = W(h)) stack.push_back(w);
        // Leaves first, so no record outlives its parent.
        while (!stack.empty()) {
            Window *w = stack.back();
            if (!w->children.empty()) {
                stack.push_back(w->children.front());
                continue;
            }
            stack.pop_back();
            Forget(w);
        }
    }
    std::shared_ptr<Process> p = FindProcess(processId);
    if (p && p->ended)
        u.classes.erase(
            std::remove_if(u.classes.begin(), u.classes.end(),
                           [&](const std::shared_ptr<WindowClass> &c) { return c->processId == processId; }),
            u.classes.end());
}

} // namespace dev

using namespace dev;

// --------------------------------------------------------------- classes

ATOM RegisterClassW(const WNDCLASSW *windowClass)
{
    Lock lock(BigLock());
    if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName) ||
        !windowClass->lpszClassName[0] || windowClass->cbWndExtra < 0) {
        SetLastError(87);
        return 0;
    }
    Thread *t = CurrentThread();
    bool global = !windowClass->hInstance || (windowClass->style & CS_GLOBALCLASS) || !t;
    DWORD processId = global ? 0 : t->process->id;
    UserState &u = U();
    std::u16string key = Fold(windowClass->lpszClassName);
    for (auto &c : u.classes)
        if (c->key == key && c->processId == processId) {
            SetLastError(1410); // ERROR_CLASS_ALREADY_EXISTS
            return 0;
        }
    auto c = std::make_shared<WindowClass>();
    c->name = windowClass->lpszClassName;
    c->key = key;
    c->info = *windowClass;
    c->info.lpszClassName = c->name.c_str();
    c->info.lpszMenuName = nullptr;
    c->processId = processId;
    c->atom = u.nextAtom++;
    u.classes.push_back(c);
    return c->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    Lock lock(BigLock());
    if (!className) return FALSE;
    Thread *t = CurrentThread();
    DWORD processId = t && instance ? t->process->id : 0;
    std::shared_ptr<WindowClass> c = FindClass(className, processId);
    if (!c || c->processId != processId) {
        SetLastError(1411); // ERROR_CLASS_DOES_NOT_EXIST
        return FALSE;
    }
    for (auto &entry : U().windows)
        if (entry.second->cls == c) {
            SetLastError(1412); // ERROR_CLASS_HAS_WINDOWS
            return FALSE;
        }
    auto &classes = U().classes;
    classes.erase(std::remove(classes.begin(), classes.end(), c), classes.end());
    return TRUE;
}

// -------------------------------------------------- creation, destruction

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    if (!t || !className) {
        SetLastError(87);
        return nullptr;
    }
    std::shared_ptr<WindowClass> cls = FindClass(className, t->process->id);
    if (!cls) {
        SetLastError(1407); // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    if (parent == kDesktopWindow || parent == HWND_MESSAGE) parent = nullptr;
    Window *parentWindow = parent ? W(parent) : nullptr;
    if (parent && !parentWindow) {
        SetLastError(1400); // ERROR_INVALID_WINDOW_HANDLE
        return nullptr;
    }
    if ((style & WS_CHILD) && !parentWindow) {
        SetLastError(1406); // ERROR_TLW_WITH_WSCHILD
        return nullptr;
    }
    UserState &u = U();
    const Config &config = CurrentConfig();
    auto record = std::make_unique<Window>();
    Window *w = record.get();
    w->handle = (HWND)u.nextHandle;
    u.nextHandle += 2;
    w->cls = cls;
    w->thread = t;
    w->processId = t->process->id;
    w->style = style & ~(DWORD)WS_VISIBLE; // shown at the end, as the platform does
    w->exStyle = exStyle;
    w->proc = cls->info.lpfnWndProc;
    w->instance = instance;
    w->extra.assign((size_t)cls->info.cbWndExtra, 0);
    if (style & WS_CHILD) {
        w->parent = parentWindow;
        w->id = (LONG_PTR)(uintptr_t)menu;
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
    } else {
        // A popup's "parent" is its owner, always a top-level window.
        w->owner = TopLevelOf(parentWindow);
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = config.screenWidth;
            height = config.screenHeight;
        }
    }
    w->rect = RECT{x, y, x + width, y + height};
    HWND handle = w->handle;
    u.windows[(uintptr_t)handle] = std::move(record);
    CountObject(KindWindow, 1);
    t->windows.push_back(w);
    if (w->parent)
        w->parent->children.push_back(w);
    else {
        u.topLevel.insert(u.topLevel.begin(), w);
        BringToTop(w);
    }

    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.style = (LONG)style;
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!SendLocked(handle, WM_NCCREATE, 0, (LPARAM)&cs)) {
        if (Window *gone = W(handle)) {
            SendLocked(handle, WM_NCDESTROY, 0, 0);
            if ((gone = W(handle)) != nullptr) Forget(gone);
        }
        return nullptr;
    }
    if (!W(handle)) return nullptr;
    if (SendLocked(handle, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!(w = W(handle))) return nullptr;
    RECT client = ClientRectOf(w);
    SendLocked(handle, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    if (!(w = W(handle))) return nullptr;
    RECT origin = ClientScreenRect(w);
    if (w->parent) {
        RECT parentClient = ClientScreenRect(w->parent);
        origin = Offset(origin, -parentClient.left, -parentClient.top);
    }
    SendLocked(handle, WM_MOVE, 0, MAKELPARAM(origin.left, origin.top));
    if ((style & WS_VISIBLE) && W(handle)) ShowWindow(handle, (style & WS_CHILD) ? SW_SHOWNA : SW_SHOW);
    return W(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    // Only the thread that created a window may destroy it.
    if (w->thread != CurrentThread()) {
        SetLastError(5); // ERROR_ACCESS_DENIED
        return FALSE;
    }
    if (w->destroying) return TRUE;
    DestroyTree(w);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    Lock lock(BigLock());
    return window == kDesktopWindow || W(window) != nullptr;
}

// ------------------------------------------------------------------ tree

HWND GetParent(HWND window)
{
    Lock lock(BigLock());
    Window *w = W(window);
    if (!w) return nullptr;
    if (w->style & WS_CHILD) return w->parent ? w->parent->handle : nullptr;
    // A popup answers with its owner, as on the platform.
    return (w->style & WS_POPUP) && w->owner ? w->owner->handle : nullptr;
}

HWND GetWindow(HWND window, UINT command)
{
    Lock lock(BigLock());
    UserState &u = U();
    if (window == kDesktopWindow)
        return command == GW_CHILD && !u.topLevel.empty() ? u.topLevel.front()->handle : nullptr;
    Window *w = WindowOrError(window);
    if (!w) return nullptr;
    std::vector<Window *> &list = SiblingsOf(w);
    auto it = std::find(list.begin(), list.end(), w);
    switch (command) {
    case GW_HWNDFIRST:
        return list.empty() ? nullptr : list.front()->handle;
    case GW_HWNDLAST:
        return list.empty() ? nullptr : list.back()->handle;
    case GW_HWNDNEXT:
        return it != list.end() && it + 1 != list.end() ? (*(it + 1))->handle : nullptr;
    case GW_HWNDPREV:
        return it != list.end() && it != list.begin() ? (*(it - 1))->handle : nullptr;
    case GW_OWNER:
        return w->owner ? w->owner->handle : nullptr;
    case GW_CHILD:
        return w->children.empty() ? nullptr : w->children.front()->handle;
    default:
        SetLastError(87);
        return nullptr;
    }
}

HWND GetDesktopWindow(void)
{
    return kDesktopWindow;
}

BOOL IsChild(HWND parent, HWND window)
{
    Lock lock(BigLock());
    Window *p = W(parent), *w = W(window);
    if (!p || !w) return FALSE;
    for (w = w->parent; w; w = w->parent)
        if (w == p) return TRUE;
    return FALSE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM param)
{
    std::vector<HWND> handles;
    {
        Lock lock(BigLock());
        CheckTerminate();
        for (Window *w : U().topLevel)
            handles.push_back(w->handle);
    }
    for (HWND h : handles) {
        {
            Lock lock(BigLock());
            if (!W(h)) continue;
        }
        if (!proc(h, param)) return FALSE;
    }
    return TRUE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM param)
{
    std::vector<HWND> handles;
    {
        Lock lock(BigLock());
        std::vector<Window *> roots;
        if (!parent || parent == kDesktopWindow)
            roots = U().topLevel;
        else if (Window *p = W(parent))
            roots = p->children;
        else
            return FALSE;
        // Depth first, each level in z-order.
        std::vector<Window *> stack(roots.rbegin(), roots.rend());
        while (!stack.empty()) {
            Window *w = stack.back();
            stack.pop_back();
            handles.push_back(w->handle);
            stack.insert(stack.end(), w->children.rbegin(), w->children.rend());
        }
    }
    for (HWND h : handles) {
        {
            Lock lock(BigLock());
            if (!W(h)) continue;
        }
        if (!proc(h, param)) return FALSE;
    }
    return TRUE;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    Lock lock(BigLock());
    std::u16string key = className && !IS_INTRESOURCE(className) ? Fold(className) : std::u16string();
    std::u16string title = windowName ? Fold(windowName) : std::u16string();
    // Reads the text kept with the window, so a hung window does not hang the
    // search; titles compare without case, as the platform compares them.
    for (Window *w : U().topLevel) {
        if (w->destroying) continue;
        if (className) {
            if (IS_INTRESOURCE(className) ? w->cls->atom != (ATOM)(uintptr_t)className : w->cls->key != key) continue;
        }
        if (windowName && Fold(w->text) != title) continue;
        return w->handle;
    }
    return nullptr;
}

// ---------------------------------------------------------- window data

LONG_PTR GetWindowLongPtrW(HWND window, int index)
{
    Lock lock(BigLock());
    Window *w = WindowOrError(window);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE:
        return (LONG_PTR)(LONG)w->style;
    case GWL_EXSTYLE:
        return (LONG_PTR)(LONG)w->exStyle;
    case GWLP_ID:
        return w->id;
    case GWLP_WNDPROC:
        return (LONG_PTR)w->proc;
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_HINSTANCE:
        return (LONG_PTR)w->instance;
    case GWLP_HWNDPARENT:
        return (LONG_PTR)(w->parent ? w->parent->handle : w->owner ? w->owner->handle : nullptr);
    default:
        break;
    }
    if (index < 0 || (size_t)index + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(1413); // ERROR_INVALID_INDEX
        return 0;
    }
    LONG_PTR value;
    memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    Lock lock(BigLock());
    Window *w = WindowOrError(window);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWL_STYLE: {
        bool wasVisible = IsVisible(w);
        old = (LONG_PTR)(LONG)w->style;
        w->style = (DWORD)value;
        if (wasVisible != IsVisible(w)) ScreenChanged();
        return old;
    }
    case GWL_EXSTYLE:
        old = (LONG_PTR)(LONG)w->exStyle;
        w->exStyle = (DWORD)value;
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWLP_WNDPROC:
        old = (LONG_PTR)w->proc;
        w->proc = (WNDPROC)value;
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    case GWLP_HINSTANCE:
        old = (LONG_PTR)w->instance;
        w->instance = (HINSTANCE)value;
        return old;
    default:
        break;
    }
    if (index < 0 || (size_t)index + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(1413);
        return 0;
    }
    memcpy(&old, w->extra.data() + index, sizeof old);
    memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
}

LONG GetWindowLongW(HWND window, int index)
{
    if (index < 0) return (LONG)GetWindowLongPtrW(window, index);
    Lock lock(BigLock());
    Window *w = W(window);
    if (!w || (size_t)index + sizeof(LONG) > w->extra.size()) {
        SetLastError(w ? 1413 : 1400);
        return 0;
    }
    LONG value;
    memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
}

LONG SetWindowLongW(HWND window, int index, LONG value)
{
    if (index < 0) return (LONG)SetWindowLongPtrW(window, index, value);
    Lock lock(BigLock());
    Window *w = W(window);
    if (!w || (size_t)index + sizeof(LONG) > w->extra.size()) {
        SetLastError(w ? 1413 : 1400);
        return 0;
    }
    LONG old;
    memcpy(&old, w->extra.data() + index, sizeof old);
    memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
}

int GetClassNameW(HWND window, LPWSTR buffer, int size)
{
    Lock lock(BigLock());
    Window *w = W(window);
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    if (!w) {
        SetLastError(1400);
        return 0;
    }
    int n = (int)std::min<size_t>(w->cls->name.size(), (size_t)size - 1);
    std::copy(w->cls->name.begin(), w->cls->name.begin() + n, buffer);
    buffer[n] = 0;
    return n;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    // Answered by the window's own thread, as the device does for every window.
    return (int)SendMessageW(window, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer);
}

int GetWindowTextLengthW(HWND window)
{
    return (int)SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
}

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    return (BOOL)SendMessageW(window, WM_SETTEXT, 0, (LPARAM)text);
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    Lock lock(BigLock());
    Window *w = WindowOrError(window);
    if (!w) return 0;
    if (processId) *processId = w->processId;
    return w->thread->id;
}

// ------------------------------------------------------------- geometry

BOOL GetWindowRect(HWND window, LPRECT rect)
{
    RECT r;
    if (!rect || !WindowScreenRects(window, &r, nullptr)) {
        SetLastError(1400);
        return FALSE;
    }
    *rect = r;
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect)
{
    RECT c;
    if (!rect || !WindowScreenRects(window, nullptr, &c)) {
        SetLastError(1400);
        return FALSE;
    }
    *rect = RECT{0, 0, c.right - c.left, c.bottom - c.top};
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point)
{
    RECT c;
    if (!point || !WindowScreenRects(window, nullptr, &c)) return FALSE;
    point->x -= c.left;
    point->y -= c.top;
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point)
{
    RECT c;
    if (!point || !WindowScreenRects(window, nullptr, &c)) return FALSE;
    point->x += c.left;
    point->y += c.top;
    return TRUE;
}

HWND WindowFromPoint(POINT point)
{
    Lock lock(BigLock());
    Window *w = W(PixelOwner(point.x, point.y));
    // Disabled children are passed over for their parent.
    while (w && w->parent && (w->style & WS_DISABLED))
        w = w->parent;
    return w ? w->handle : nullptr;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    if (w->parent) flags |= SWP_NOACTIVATE;
    RECT before = w->rect;
    if (flags & SWP_NOMOVE) {
        x = before.left;
        y = before.top;
    }
    if (flags & SWP_NOSIZE) {
        cx = before.right - before.left;
        cy = before.bottom - before.top;
    }
    if (cx < 0) cx = 0;
    if (cy < 0) cy = 0;
    WINDOWPOS pos{window, insertAfter, x, y, cx, cy, flags};
    SendLocked(window, WM_WINDOWPOSCHANGING, 0, (LPARAM)&pos);
    if (!(w = W(window))) return FALSE;
    flags = pos.flags;
    bool wasVisible = IsVisible(w);
    RECT after = before;
    if (!(flags & SWP_NOMOVE)) after = Offset(after, pos.x - before.left, pos.y - before.top);
    if (!(flags & SWP_NOSIZE)) {
        after.right = after.left + (pos.cx < 0 ? 0 : pos.cx);
        after.bottom = after.top + (pos.cy < 0 ? 0 : pos.cy);
    }
    bool geometry = memcmp(&after, &before, sizeof after) != 0;
    w->rect = after;
    bool order = false;
    if (!(flags & SWP_NOZORDER)) {
        std::vector<Window *> old = SiblingsOf(w);
        PlaceAfter(w, pos.hwndInsertAfter);
        order = old != SiblingsOf(w);
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~(DWORD)WS_VISIBLE;
    bool visible = IsVisible(w);
    if (flags & SWP_FRAMECHANGED) MarkFrameDirty(w);
    if (visible && (geometry || !wasVisible) && !(flags & SWP_NOREDRAW)) InvalidateAll(w, true);
    if (geometry || order || wasVisible != visible) ScreenChanged();
    if (wasVisible && !visible) WindowHidden(w);
    if (!(w = W(window))) return TRUE;
    if (!(flags & (SWP_NOACTIVATE | SWP_HIDEWINDOW)) && !w->parent && visible) ActivateWindow(w, WA_ACTIVE);
    if (!(w = W(window))) return TRUE;
    // What really changed, so DefWindowProc sends WM_MOVE and WM_SIZE only then.
    UINT changed = flags | SWP_NOMOVE | SWP_NOSIZE;
    if (after.left != before.left || after.top != before.top) changed &= ~(UINT)SWP_NOMOVE;
    if (after.right - after.left != before.right - before.left ||
        after.bottom - after.top != before.bottom - before.top)
        changed &= ~(UINT)SWP_NOSIZE;
    WINDOWPOS done{window,    pos.hwndInsertAfter,      after.left,
                   after.top, after.right - after.left, after.bottom - after.top,
                   changed};
    SendLocked(window, WM_WINDOWPOSCHANGED, 0, (LPARAM)&done);
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(window, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

// ------------------------------------------------- visibility, enabling

BOOL ShowWindow(HWND window, int command)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE && command != SW_MINIMIZE;
    UINT flags = SWP_NOMOVE | SWP_NOSIZE;
    if (!show)
        flags |= SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER;
    else
        flags |= SWP_SHOWWINDOW;
    if (command == SW_SHOWNA || command == SW_SHOWNOACTIVATE || (w->style & WS_CHILD))
        flags |= SWP_NOACTIVATE | (command == SW_SHOWNA || (w->style & WS_CHILD) ? SWP_NOZORDER : 0);
    if (show != wasVisible) {
        SendLocked(window, WM_SHOWWINDOW, show, 0);
        if (!W(window)) return wasVisible;
    }
    // Hiding a hidden window changes nothing and says nothing.
    if (!show && !wasVisible) return FALSE;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, flags);
    return wasVisible;
}

BOOL IsWindowVisible(HWND window)
{
    Lock lock(BigLock());
    Window *w = W(window);
    return w && IsVisible(w);
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable)
        w->style &= ~(DWORD)WS_DISABLED;
    else {
        w->style |= WS_DISABLED;
        Thread *t = w->thread;
        if (t->focus && IsDescendantOrSelf(w, W(t->focus))) SetFocusLocked(t, nullptr);
        if (U().capture == window) U().capture = nullptr;
    }
    SendLocked(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    Lock lock(BigLock());
    Window *w = W(window);
    return w && !(w->style & WS_DISABLED);
}

// ------------------------------------------------- activation and focus

BOOL SetForegroundWindow(HWND window)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    ActivateWindow(w, WA_ACTIVE);
    return TRUE;
}

HWND GetForegroundWindow(void)
{
    Lock lock(BigLock());
    return U().foreground;
}

HWND SetActiveWindow(HWND window)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    Window *w = W(window);
    if (!t || (window && (!w || w->thread != t))) {
        SetLastError(1400);
        return nullptr;
    }
    HWND old = t->active;
    ActivateWindow(w, WA_ACTIVE);
    return old;
}

HWND GetActiveWindow(void)
{
    Lock lock(BigLock());
    Thread *t = CurrentThread();
    return t ? t->active : nullptr;
}

HWND SetFocus(HWND window)
{
    Lock lock(BigLock());
    CheckTerminate();
    Thread *t = CurrentThread();
    if (!t) return nullptr;
    HWND old = t->focus;
    if (!window) {
        SetFocusLocked(t, nullptr);
        return old;
    }
    Window *w = W(window);
    if (!w || w->thread != t || (w->style & WS_DISABLED)) {
        SetLastError(w ? 5 : 1400);
        return nullptr;
    }
    Window *top = TopLevelOf(w);
    if (t->active != top->handle) ActivateWindow(top, WA_ACTIVE);
    if (!W(window)) return old;
    SetFocusLocked(t, window);
    return old;
}

HWND GetFocus(void)
{
    Lock lock(BigLock());
    Thread *t = CurrentThread();
    return t ? t->focus : nullptr;
}

HWND SetCapture(HWND window)
{
    Lock lock(BigLock());
    UserState &u = U();
    HWND old = u.capture;
    if (!W(window)) return old;
    u.capture = window;
    if (old && old != window) Tell(W(old), WM_CAPTURECHANGED, 0, (LPARAM)window);
    return old;
}

BOOL ReleaseCapture(void)
{
    Lock lock(BigLock());
    UserState &u = U();
    HWND old = u.capture;
    u.capture = nullptr;
    if (old) Tell(W(old), WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture(void)
{
    Lock lock(BigLock());
    return U().capture;
}

// ------------------------------------------------- metrics and colours

int GetSystemMetrics(int index)
{
    const Config &config = CurrentConfig();
    switch (index) {
    case SM_CXSCREEN:
        return config.screenWidth;
    case SM_CYSCREEN:
        return config.screenHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CYCAPTION:
        return 19; // the bar and the line under it, as the frame draws it
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return 2;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
        return 13;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    default:
        return 0;
    }
}

DWORD GetSysColor(int index)
{
    // The classic grey scheme.
    static const COLORREF colors[] = {
        RGB(192, 192, 192), // COLOR_SCROLLBAR
        RGB(64, 128, 128),  // COLOR_BACKGROUND (the desktop)
        RGB(0, 0, 128),     // COLOR_ACTIVECAPTION
        RGB(128, 128, 128), // COLOR_INACTIVECAPTION
        RGB(192, 192, 192), // COLOR_MENU
        RGB(255, 255, 255), // COLOR_WINDOW
        RGB(0, 0, 0),       // COLOR_WINDOWFRAME
        RGB(0, 0, 0),       // COLOR_MENUTEXT
        RGB(0, 0, 0),       // COLOR_WINDOWTEXT
        RGB(255, 255, 255), // COLOR_CAPTIONTEXT
        RGB(192, 192, 192), // COLOR_ACTIVEBORDER
        RGB(192, 192, 192), // COLOR_INACTIVEBORDER
        RGB(128, 128, 128), // COLOR_APPWORKSPACE
        RGB(0, 0, 128),     // COLOR_HIGHLIGHT
        RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
        RGB(192, 192, 192), // COLOR_BTNFACE
        RGB(128, 128, 128), // COLOR_BTNSHADOW
        RGB(128, 128, 128), // COLOR_GRAYTEXT
        RGB(0, 0, 0),       // COLOR_BTNTEXT
        RGB(192, 192, 192), // COLOR_INACTIVECAPTIONTEXT
        RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
        RGB(0, 0, 0),       // COLOR_3DDKSHADOW
        RGB(192, 192, 192), // COLOR_3DLIGHT
        RGB(0, 0, 0),       // COLOR_INFOTEXT
        RGB(255, 255, 225), // COLOR_INFOBK
    };
    if (index < 0 || index >= (int)(sizeof colors / sizeof colors[0])) return 0;
    return colors[index];
}

HBRUSH GetSysColorBrush(int index)
{
    // The system colour brushes are the (HBRUSH)(COLOR_x + 1) values that
    // FillRect and class backgrounds take; they are never deleted.
    if (index < 0 || index > 24) return nullptr;
    return (HBRUSH)(uintptr_t)(index + 1);
}
