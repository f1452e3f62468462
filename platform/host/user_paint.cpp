// Painting: update regions, WM_PAINT and WM_NCPAINT, and the map of which
// window owns each screen pixel.
//
// The screen has no backing store. Every pixel belongs to the deepest
// visible window at it (children clip out of their parents, higher windows
// out of lower ones) or to the desktop. When the layout changes, pixels that
// change owner are invalidated in their new owner, which repaints them at
// its next WM_PAINT; pixels left to the desktop are painted with the desktop
// colour at once.
//
// An update region is kept as a few rectangles, exact enough that
// invalidating a small square repaints only that square; past eight pieces
// it becomes their bounding rectangle.

#include "user_private.h"
#include "kernel.h"
#include "user.h"
#include "gdi.h"
#include "screen.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace dev {

namespace {

typedef std::lock_guard<std::recursive_mutex> Lock;

const size_t kMaxPieces = 8;

RECT Bounds(const std::vector<RECT> &pieces)
{
    RECT b{0, 0, 0, 0};
    bool first = true;
    for (const RECT &r : pieces) {
        if (EmptyRect(r)) continue;
        if (first) {
            b = r;
            first = false;
            continue;
        }
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

// a minus b, as up to four rectangles.
void Subtract(const RECT &a, const RECT &b, std::vector<RECT> *out)
{
    RECT i = Intersection(a, b);
    if (EmptyRect(i)) {
        out->push_back(a);
        return;
    }
    if (a.top < i.top) out->push_back(RECT{a.left, a.top, a.right, i.top});
    if (i.bottom < a.bottom) out->push_back(RECT{a.left, i.bottom, a.right, a.bottom});
    if (a.left < i.left) out->push_back(RECT{a.left, i.top, i.left, i.bottom});
    if (i.right < a.right) out->push_back(RECT{i.right, i.top, a.right, i.bottom});
}

uint32_t DesktopPixel()
{
    COLORREF c = GetSysColor(COLOR_BACKGROUND);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

void Fill(std::vector<HWND> &map, int width, Window *w, const RECT &clip)
{
    RECT r = Intersection(ScreenRect(w), clip);
    if (EmptyRect(r)) return;
    for (int y = r.top; y < r.bottom; y++)
        std::fill(&map[(size_t)y * width + r.left], &map[(size_t)y * width + r.right], w->handle);
    RECT inner = Intersection(ClientScreenRect(w), r);
    if (EmptyRect(inner)) return;
    // Bottom of the z-order first, so higher siblings end up on top.
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if ((*it)->style & WS_VISIBLE) Fill(map, width, *it, inner);
}

void Invalidate(Window *w, const RECT *clientRect, bool erase)
{
    RECT client = ClientRectOf(w);
    RECT r = clientRect ? Intersection(*clientRect, client) : client;
    AddUpdate(w, r, erase);
}

void PaintPending(Window *w)
{
    if (w->thread) w->thread->mayPaint = true;
}

void PaintNow(Window *w)
{
    HWND handle = w->handle;
    if (IsVisible(w)) {
        if (w->frameDirty) {
            w->frameDirty = false;
            SendLocked(handle, WM_NCPAINT, 1, 0);
        }
        if ((w = W(handle)) != nullptr && HasUpdate(w)) SendLocked(handle, WM_PAINT, 0, 0);
    }
    if ((w = W(handle)) == nullptr) return;
    std::vector<HWND> children;
    for (Window *c : w->children)
        children.push_back(c->handle);
    for (HWND c : children)
        if (Window *child = W(c)) PaintNow(child);
}

} // namespace

void AddUpdate(Window *w, const RECT &rect, bool erase)
{
    RECT r = Intersection(rect, ClientRectOf(w));
    if (EmptyRect(r) || !IsVisible(w)) return;
    std::vector<RECT> &pieces = w->update;
    if (erase) w->erase = true;
    for (const RECT &p : pieces)
        if (Contains(p, r)) return;
    pieces.erase(std::remove_if(pieces.begin(), pieces.end(), [&](const RECT &p) { return Contains(r, p); }),
                 pieces.end());
    pieces.push_back(r);
    PaintPending(w);
    if (pieces.size() > kMaxPieces) {
        RECT b = Bounds(pieces);
        pieces.assign(1, b);
    }
    if (w->thread != CurrentThread()) Wake(w->thread);
}

bool HasUpdate(const Window *w)
{
    return !w->update.empty();
}

void MarkFrameDirty(Window *w)
{
    w->frameDirty = true;
    PaintPending(w);
}

void InvalidateAll(Window *w, bool children)
{
    if (!IsVisible(w)) return;
    if (HasFrame(w)) {
        MarkFrameDirty(w);
        if (w->thread != CurrentThread()) Wake(w->thread);
    }
    Invalidate(w, nullptr, true);
    if (children)
        for (Window *c : w->children)
            InvalidateAll(c, true);
}

// Recompute the owner of every pixel; invalidate what changed hands.
void ScreenChanged()
{
    UserState &u = U();
    int width = ScreenWidth(), height = ScreenHeight();
    uint32_t *screen = ScreenPixels();
    if (width <= 0 || height <= 0 || !screen) return;
    // The new map is built in the storage of the one before last: a fresh
    // vector was a new mapping of the whole screen's size, zeroed and
    // faulted in page by page, at every window shown, hidden or moved.
    std::vector<HWND> &fresh = u.ownersBefore;
    fresh.assign((size_t)width * height, nullptr);
    RECT all{0, 0, width, height};
    for (auto it = u.topLevel.rbegin(); it != u.topLevel.rend(); ++it)
        if ((*it)->style & WS_VISIBLE) Fill(fresh, width, *it, all);

    bool full = !u.ownersValid || u.ownersWidth != width || u.ownersHeight != height;
    uint32_t desktop = DesktopPixel();
    bool screenTouched = false;
    // Runs of pixels that changed hands, per new owner, merged downwards.
    std::map<HWND, std::vector<RECT>> gained;
    for (int y = 0; y < height; y++) {
        const HWND *row = &fresh[(size_t)y * width];
        const HWND *old = full ? nullptr : &u.pixelOwners[(size_t)y * width];
        int x = 0;
        while (x < width) {
            if (old && row[x] == old[x]) {
                x++;
                continue;
            }
            HWND owner = row[x];
            int start = x;
            while (x < width && row[x] == owner && (!old || row[x] != old[x]))
                x++;
            if (!owner) {
                std::fill(screen + (size_t)y * width + start, screen + (size_t)y * width + x, desktop);
                screenTouched = true;
                continue;
            }
            std::vector<RECT> &list = gained[owner];
            if (!list.empty() && list.back().left == start && list.back().right == x && list.back().bottom == y)
                list.back().bottom = y + 1;
            else
                list.push_back(RECT{start, y, x, y + 1});
        }
    }
    u.pixelOwners.swap(fresh);
    u.ownerRunEnds.resize((size_t)width * height);
    for (int y = 0; y < height; y++) {
        const HWND *row = &u.pixelOwners[(size_t)y * width];
        int *ends = &u.ownerRunEnds[(size_t)y * width];
        ends[width - 1] = width;
        for (int x = width - 2; x >= 0; x--)
            ends[x] = row[x] == row[x + 1] ? ends[x + 1] : x + 1;
    }
    u.ownersWidth = width;
    u.ownersHeight = height;
    u.ownersValid = true;
    if (screenTouched) screenGeneration = screenGeneration + 1;

    for (auto &entry : gained) {
        Window *w = W(entry.first);
        if (!w) continue;
        RECT client = ClientScreenRect(w);
        for (const RECT &r : entry.second) {
            RECT inside = Intersection(r, client);
            if (!EmptyRect(inside)) AddUpdate(w, Offset(inside, -client.left, -client.top), true);
            if (!Contains(client, r)) {
                MarkFrameDirty(w);
                if (w->thread != CurrentThread()) Wake(w->thread);
            }
        }
    }
}

void RebuildScreen()
{
    U().ownersValid = false;
    ScreenChanged();
}

const HWND *PixelOwnerRow(int y, int *width, const int **runEnds)
{
    UserState &u = U();
    *width = 0;
    *runEnds = nullptr;
    if (!u.ownersValid || y < 0 || y >= u.ownersHeight) return nullptr;
    *width = u.ownersWidth;
    *runEnds = &u.ownerRunEnds[(size_t)y * u.ownersWidth];
    return &u.pixelOwners[(size_t)y * u.ownersWidth];
}

HWND PixelOwner(int x, int y)
{
    // Called for every pixel a window draws, with BigLock held: no locking here.
    UserState &u = U();
    if (!u.ownersValid || x < 0 || y < 0 || x >= u.ownersWidth || y >= u.ownersHeight) return nullptr;
    return u.pixelOwners[(size_t)y * u.ownersWidth + x];
}

} // namespace dev

using namespace dev;

BOOL InvalidateRect(HWND window, const RECT *rect, BOOL erase)
{
    Lock lock(BigLock());
    if (!window) {
        // Everything, as the platform does for a null window.
        for (auto &entry : U().windows)
            InvalidateAll(entry.second.get(), false);
        return TRUE;
    }
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    Invalidate(w, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT *rect)
{
    Lock lock(BigLock());
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    if (!rect) {
        w->update.clear();
        w->erase = false;
        return TRUE;
    }
    std::vector<RECT> rest;
    for (const RECT &p : w->update)
        Subtract(p, *rect, &rest);
    w->update.swap(rest);
    if (w->update.empty()) w->erase = false;
    return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL)
{
    Lock lock(BigLock());
    Window *w = W(window);
    if (!w) {
        if (rect) *rect = RECT{0, 0, 0, 0};
        return FALSE;
    }
    RECT b = Bounds(w->update);
    if (rect) *rect = b;
    return !EmptyRect(b);
}

BOOL UpdateWindow(HWND window)
{
    Lock lock(BigLock());
    CheckTerminate();
    Window *w = WindowOrError(window);
    if (!w) return FALSE;
    PaintNow(w);
    return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    std::unique_lock<std::recursive_mutex> lock(BigLock());
    Window *w = W(window);
    if (!w || !paint) {
        SetLastError(1400);
        return nullptr;
    }
    memset(paint, 0, sizeof *paint);
    if (w->frameDirty) {
        w->frameDirty = false;
        SendLocked(window, WM_NCPAINT, 1, 0);
        if (!(w = W(window))) return nullptr;
    }
    RECT bounds = Bounds(w->update);
    bool erase = w->erase;
    w->paints++;
    w->update.clear();
    w->erase = false;
    paint->rcPaint = bounds;
    lock.unlock();
    HDC dc = GetPaintDC(window, &bounds);
    paint->hdc = dc;
    paint->fErase = FALSE;
    if (erase && dc) paint->fErase = SendMessageW(window, WM_ERASEBKGND, (WPARAM)dc, 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT *paint)
{
    if (!paint || !paint->hdc) return TRUE;
    ReleaseDC(window, paint->hdc);
    return TRUE;
}
