// Stylus input, the normal close of a program's window from outside, and the
// window list dump.
//
// A tap goes to the queue of the thread that owns the window under the pen
// (or the capture window); that thread hit-tests it with WM_NCHITTEST when
// it fetches messages, activates the window it tapped (WA_CLICKACTIVE) and
// gets WM_LBUTTONDOWN/UP in client coordinates, or WM_NCLBUTTONDOWN/UP with
// the hit-test code and screen coordinates outside the client area.

#include "user_private.h"
#include "kernel.h"
#include "user.h"

#include <stdio.h>

namespace dev {

namespace {

typedef std::lock_guard<std::recursive_mutex> Lock;

const WPARAM kLeftButton = 0x0001; // MK_LBUTTON

} // namespace

void CookInput(Thread *t)
{
    // One message at a time: what the thread does with it (a capture taken
    // on a press) decides what the next input becomes, so a press and its
    // release queued together must not both be read before the first is
    // handled.
    while (!t->input.empty() && t->cookedInput.empty()) {
        RawInput in = t->input.front();
        t->input.pop_front();
        UserState &u = U();
        u.cursor = in.screen;
        Window *w = W(in.window);
        if (!w) continue;
        HWND handle = w->handle;
        bool captured = u.capture == handle;
        LRESULT hit = HTCLIENT;
        if (!captured) {
            hit = SendLocked(handle, WM_NCHITTEST, 0, MAKELPARAM(in.screen.x, in.screen.y));
            if (!(w = W(handle))) continue;
        }
        if (hit == HTERROR || hit == HTTRANSPARENT) continue;
        if (in.down && !captured) {
            Window *top = TopLevelOf(w);
            if (top && !(top->style & WS_DISABLED) && U().foreground != top->handle) {
                ActivateWindow(top, WA_CLICKACTIVE);
                if (!(w = W(handle))) continue;
            }
        }
        MSG msg{handle, 0, 0, 0, TickOf(in.time), in.screen};
        if (hit == HTCLIENT) {
            RECT client = ClientScreenRect(w);
            msg.message = in.down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            msg.wParam = in.down ? kLeftButton : 0;
            msg.lParam = MAKELPARAM(in.screen.x - client.left, in.screen.y - client.top);
        } else {
            msg.message = in.down ? WM_NCLBUTTONDOWN : WM_NCLBUTTONUP;
            msg.wParam = (WPARAM)hit;
            msg.lParam = MAKELPARAM(in.screen.x, in.screen.y);
        }
        t->cookedInput.push_back(msg);
    }
}

void Tap(int x, int y, bool down)
{
    Lock lock(BigLock());
    UserState &u = U();
    u.cursor = POINT{x, y};
    Window *w = W(u.capture);
    if (!w) {
        w = W(PixelOwner(x, y));
        // Disabled children let the tap through to their parent; a disabled
        // top-level window takes nothing.
        while (w && w->parent && (w->style & WS_DISABLED))
            w = w->parent;
        if (!w || (w->style & WS_DISABLED)) return;
    }
    if (w->thread->finished || w->thread->tearingDown) return;
    w->thread->input.push_back(RawInput{w->handle, POINT{x, y}, down, Now()});
    Wake(w->thread);
}

bool CloseWindowNormally(LPCWSTR className, LPCWSTR title)
{
    Lock lock(BigLock());
    HWND window = FindWindowW(className, title);
    Window *w = W(window);
    if (!w) return false;
    MSG msg{window, WM_CLOSE, 0, 0, TickOf(Now()), U().cursor};
    w->thread->posted.push_back(msg);
    Wake(w->thread);
    return true;
}

void SetDumpExtra(LPCWSTR className, std::string (*extra)(HWND window))
{
    Lock lock(BigLock());
    std::u16string key = className ? className : u"";
    for (char16_t &c : key)
        if (c >= 'A' && c <= 'Z') c = (char16_t)(c + 32);
    if (extra)
        U().dumpExtra[key] = extra;
    else
        U().dumpExtra.erase(key);
}

std::string DumpWindows()
{
    struct Line {
        HWND handle;
        int depth;
        std::string text;
        std::string (*extra)(HWND);
    };
    std::vector<Line> lines;
    {
        Lock lock(BigLock());
        std::vector<std::pair<Window *, int>> stack;
        for (auto it = U().topLevel.rbegin(); it != U().topLevel.rend(); ++it)
            stack.push_back({*it, 0});
        while (!stack.empty()) {
            Window *w = stack.back().first;
            int depth = stack.back().second;
            stack.pop_back();
            RECT r = ScreenRect(w);
            char buffer[256];
            snprintf(buffer, sizeof buffer, "%*s%08lx parent=%08lx owner=%08lx id=%ld rect=(%ld,%ld)-(%ld,%ld) %s %s ",
                     depth * 2, "", (unsigned long)(uintptr_t)w->handle,
                     (unsigned long)(uintptr_t)(w->parent ? w->parent->handle : nullptr),
                     (unsigned long)(uintptr_t)(w->owner ? w->owner->handle : nullptr), (long)w->id, (long)r.left,
                     (long)r.top, (long)r.right, (long)r.bottom, IsVisible(w) ? "visible" : "hidden",
                     (w->style & WS_DISABLED) ? "disabled" : "enabled");
            std::string text = buffer;
            text += "class=\"" + Utf8(w->cls->name) + "\" text=\"" + Utf8(w->text) + "\" program=\"" +
                    Utf8(w->thread->process->path) + "\"";
            auto extra = U().dumpExtra.find(w->cls->key);
            lines.push_back(Line{w->handle, depth, text, extra == U().dumpExtra.end() ? nullptr : extra->second});
            for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
                stack.push_back({*it, depth + 1});
        }
    }
    std::string out;
    for (Line &line : lines) {
        out += line.text;
        if (line.extra && IsWindow(line.handle)) out += " " + line.extra(line.handle);
        out += "\n";
    }
    return out;
}

} // namespace dev
