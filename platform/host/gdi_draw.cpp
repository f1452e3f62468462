// Drawing of the emulated device: raster operations (BitBlt, StretchBlt,
// PatBlt), pixels, lines, rectangles, the user32 fills and edges, GetDIBits.
//
// Every operation resolves its device contexts to surfaces once, clips the
// rectangle to the surface and the DC's clip, and then works row by row on
// runs of pixels the DC may draw on (for a window DC, the pixels that window
// shows). Only the pixel ownership test is per pixel.
//
// Not implemented: pattern brushes, pen styles other than solid and null,
// pen widths beyond a square nib, mirrored (negative) BitBlt sizes, DrawEdge's
// BF_SOFT, BF_FLAT, BF_MONO and BF_DIAGONAL, GetDIBits below 24 bits.

#include "gdi_internal.h"
#include "kernel.h"

#include <algorithm>
#include <cstring>

namespace dev {
namespace gdi {
namespace {

// One row of converted source pixels; grown as needed and kept, so the
// periodic copies allocate nothing (all drawing runs under the device lock).
uint32_t *Scratch(size_t count)
{
    static std::vector<uint32_t> row;
    if (row.size() < count) row.resize(count);
    return row.data();
}

bool UsesSource(uint8_t rop3)
{
    return ((rop3 >> 2) ^ rop3) & 0x33;
}
bool UsesPattern(uint8_t rop3)
{
    return ((rop3 >> 4) ^ rop3) & 0x0F;
}

// The visible runs of one row, x1 exclusive.
template <class F> void RowRuns(const Target &t, int y, int x0, int x1, F run)
{
    if (!t.owner) {
        run(x0, x1);
        return;
    }
    int x = x0;
    while (x < x1) {
        int start = OwnedRunEnd(t, y, x, x1, false);
        x = OwnedRunEnd(t, y, start, x1, true);
        if (x > start) run(start, x);
    }
}

// Source pixels converted to the destination's format: monochrome to colour
// gives the destination's text colour for 0 and its background for 1; colour
// to monochrome gives 1 where the pixel is the source's background colour.
void ConvertRow(const Target &dst, const Target &src, const uint32_t *in, uint32_t *out, int count)
{
    if (src.mono == dst.mono) {
        memcpy(out, in, count * sizeof(uint32_t));
    } else if (src.mono) {
        uint32_t zero = PixelOf(dst.dc->st.textColor), one = PixelOf(dst.dc->st.bkColor);
        for (int i = 0; i < count; i++)
            out[i] = in[i] ? one : zero;
    } else {
        uint32_t background = PixelOf(src.dc->st.bkColor);
        for (int i = 0; i < count; i++)
            out[i] = (in[i] & 0x00FFFFFF) == background ? kWhite : kBlack;
    }
}

uint32_t TernaryRop(uint8_t rop3, uint32_t p, uint32_t s, uint32_t d)
{
    uint32_t result = 0;
    for (int i = 0; i < 8; i++) {
        if (!(rop3 >> i & 1)) continue;
        uint32_t term = (i & 4 ? p : ~p) & (i & 2 ? s : ~s) & (i & 1 ? d : ~d);
        result |= term;
    }
    return result & 0x00FFFFFF;
}

void PlotPixel(const Target &t, int x, int y, uint32_t pixel)
{
    if (x < t.clip.left || x >= t.clip.right || y < t.clip.top || y >= t.clip.bottom) return;
    if (!OwnsPixel(t, x, y)) return;
    t.pixels[(size_t)y * t.width + x] = pixel;
}

// Square nib of the pen's width centred on the point.
void PlotNib(const Target &t, int x, int y, int width, uint32_t pixel)
{
    if (width <= 1) {
        PlotPixel(t, x, y, pixel);
        return;
    }
    int half = width / 2;
    FillRectRop(t, RECT{x - half, y - half, x - half + width, y - half + width}, pixel, 0xF0);
}

Pen *CurrentPen(const Target &t)
{
    Pen *pen = Get<Pen>(t.dc->st.pen, Type::Pen);
    return pen && pen->style != 5 /* PS_NULL */ ? pen : nullptr;
}

RECT Surface(const Target &t, int left, int top, int right, int bottom)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    return RECT{left + t.originX, top + t.originY, right + t.originX, bottom + t.originY};
}

void FillSurface(const Target &t, RECT r, HBRUSH brush)
{
    bool hollow;
    uint32_t pixel = BrushPixel(t, brush, &hollow);
    if (!hollow) FillRectRop(t, r, pixel, 0xF0);
}

DWORD SysPixel(const Target &t, int index)
{
    return ToTarget(t, PixelOf(GetSysColor(index)));
}

} // namespace

void RopRow(uint32_t *d, const uint32_t *s, uint32_t p, int n, uint8_t rop3)
{
    switch (rop3) {
    case 0xCC:
        memmove(d, s, n * sizeof(uint32_t));
        break; // SRCCOPY
    case 0x66:
        for (int i = 0; i < n; i++)
            d[i] ^= s[i];
        break; // SRCINVERT
    case 0x88:
        for (int i = 0; i < n; i++)
            d[i] &= s[i];
        break; // SRCAND
    case 0xEE:
        for (int i = 0; i < n; i++)
            d[i] |= s[i];
        break; // SRCPAINT
    case 0x33:
        for (int i = 0; i < n; i++)
            d[i] = ~s[i] & 0x00FFFFFF;
        break; // NOTSRCCOPY
    case 0xF0:
        std::fill(d, d + n, p);
        break; // PATCOPY
    case 0x5A:
        for (int i = 0; i < n; i++)
            d[i] ^= p;
        break; // PATINVERT
    case 0x55:
        for (int i = 0; i < n; i++)
            d[i] = ~d[i] & 0x00FFFFFF;
        break; // DSTINVERT
    case 0x00:
        std::fill(d, d + n, kBlack);
        break; // BLACKNESS
    case 0xFF:
        std::fill(d, d + n, kWhite);
        break; // WHITENESS
    case 0xAA:
        break; // destination
    default:
        for (int i = 0; i < n; i++)
            d[i] = TernaryRop(rop3, p, s ? s[i] : 0, d[i]);
    }
}

void FillRectRop(const Target &t, RECT r, uint32_t pattern, uint8_t rop3)
{
    ForEachRun(t, r, [&](int y, int x0, int x1) {
        RopRow(t.pixels + (size_t)y * t.width + x0, nullptr, pattern, x1 - x0, rop3);
    });
    Touched(t);
}

void BlendCoverage(const Target &t, int x, int y, int w, int h, const uint8_t *coverage, int pitch, uint32_t pixel)
{
    uint32_t pr = pixel >> 16 & 0xFF, pg = pixel >> 8 & 0xFF, pb = pixel & 0xFF;
    uint32_t solid = ToTarget(t, pixel);
    ForEachRun(t, RECT{x, y, x + w, y + h}, [&](int row, int x0, int x1) {
        const uint8_t *a = coverage + (size_t)(row - y) * pitch + (x0 - x);
        uint32_t *d = t.pixels + (size_t)row * t.width + x0;
        for (int i = 0; i < x1 - x0; i++) {
            uint32_t alpha = a[i];
            if (!alpha) continue;
            if (alpha == 255 || t.mono) {
                if (alpha >= 128) d[i] = solid;
                continue;
            }
            uint32_t v = d[i];
            uint32_t r = v >> 16 & 0xFF, g = v >> 8 & 0xFF, b = v & 0xFF;
            r += ((int)pr - (int)r) * (int)alpha / 255;
            g += ((int)pg - (int)g) * (int)alpha / 255;
            b += ((int)pb - (int)b) * (int)alpha / 255;
            d[i] = r << 16 | g << 8 | b;
        }
    });
    Touched(t);
}

void DrawMaskedImage(const Target &t, int x, int y, int w, int h, const uint32_t *mask, const uint32_t *color, int srcW,
                     int srcH)
{
    if (w <= 0 || h <= 0 || srcW <= 0 || srcH <= 0) return;
    ForEachRun(t, RECT{x, y, x + w, y + h}, [&](int row, int x0, int x1) {
        int sy = (row - y) * srcH / h;
        uint32_t *d = t.pixels + (size_t)row * t.width;
        for (int px = x0; px < x1; px++) {
            int sx = (px - x) * srcW / w;
            size_t i = (size_t)sy * srcW + sx;
            uint32_t v = mask ? d[px] & mask[i] : 0; // no mask: the image replaces
            if (color) v ^= t.mono ? MonoOf(color[i]) : color[i];
            d[px] = v & 0x00FFFFFF;
        }
    });
    Touched(t);
}

} // namespace gdi
} // namespace dev

using namespace dev;
using namespace dev::gdi;

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop)
{
    Lock lock(BigLock());
    Target t;
    if (!ResolveTarget(dc, &t)) return FALSE;
    uint8_t rop3 = rop >> 16 & 0xFF;
    if (UsesSource(rop3)) return FALSE;
    uint32_t pattern = 0;
    if (UsesPattern(rop3)) {
        bool hollow;
        pattern = BrushPixel(t, t.dc->st.brush, &hollow);
        if (hollow) return TRUE; // a hollow brush paints nothing
    }
    FillRectRop(t, Surface(t, x, y, x + width, y + height), pattern, rop3);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop)
{
    Lock lock(BigLock());
    uint8_t rop3 = rop >> 16 & 0xFF;
    if (!UsesSource(rop3)) return PatBlt(dest, x, y, width, height, rop);
    Target dt, st;
    if (!ResolveTarget(dest, &dt) || !ResolveTarget(source, &st)) return FALSE;
    if (width <= 0 || height <= 0) return TRUE;
    uint32_t pattern = 0;
    if (UsesPattern(rop3)) {
        bool hollow;
        pattern = BrushPixel(dt, dt.dc->st.brush, &hollow);
        if (hollow) return TRUE;
    }
    int dx = x + dt.originX, dy = y + dt.originY;
    int sx = sourceX + st.originX, sy = sourceY + st.originY;
    int offX = dx - sx, offY = dy - sy; // destination = source + offset
    RECT r{dx, dy, dx + width, dy + height};
    // A source is clipped to its bitmap, or for a window DC to the screen:
    // reading shows whatever the screen holds there.
    RECT sourceBounds{offX, offY, st.width + offX, st.height + offY};
    if (!IntersectRect(&r, &r, &sourceBounds) || !ClipToTarget(dt, &r)) return TRUE;

    int count = r.right - r.left;
    uint32_t *row = Scratch(count);
    // Within one surface, rows run away from the overlap; each row goes
    // through the buffer, so columns may overlap in either direction.
    bool upward = dt.pixels == st.pixels && offY > 0;
    for (int i = 0; i < r.bottom - r.top; i++) {
        int yy = upward ? r.bottom - 1 - i : r.top + i;
        const uint32_t *in = st.pixels + (size_t)(yy - offY) * st.width + (r.left - offX);
        ConvertRow(dt, st, in, row, count);
        uint32_t *out = dt.pixels + (size_t)yy * dt.width;
        RowRuns(dt, yy, r.left, r.right,
                [&](int x0, int x1) { RopRow(out + x0, row + (x0 - r.left), pattern, x1 - x0, rop3); });
    }
    Touched(dt);
    return TRUE;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, int sourceWidth,
                int sourceHeight, DWORD rop)
{
    Lock lock(BigLock());
    if (width == sourceWidth && height == sourceHeight)
        return BitBlt(dest, x, y, width, height, source, sourceX, sourceY, rop);
    uint8_t rop3 = rop >> 16 & 0xFF;
    if (!UsesSource(rop3)) return PatBlt(dest, x, y, width, height, rop);
    Target dt, st;
    if (!ResolveTarget(dest, &dt) || !ResolveTarget(source, &st)) return FALSE;
    if (!width || !height || !sourceWidth || !sourceHeight) return TRUE;
    uint32_t pattern = 0;
    if (UsesPattern(rop3)) {
        bool hollow;
        pattern = BrushPixel(dt, dt.dc->st.brush, &hollow);
        if (hollow) return TRUE;
    }
    // Normalise to positive destination sizes; a sign change mirrors.
    if (width < 0) {
        x += width;
        width = -width;
        sourceX += sourceWidth - (sourceWidth > 0 ? 1 : -1);
        sourceWidth = -sourceWidth;
    }
    if (height < 0) {
        y += height;
        height = -height;
        sourceY += sourceHeight - (sourceHeight > 0 ? 1 : -1);
        sourceHeight = -sourceHeight;
    }
    int dx = x + dt.originX, dy = y + dt.originY;
    int sx = sourceX + st.originX, sy = sourceY + st.originY;
    RECT r{dx, dy, dx + width, dy + height};
    if (!ClipToTarget(dt, &r)) return TRUE;
    // Nearest source pixel for each destination pixel, sampled at its centre.
    auto mapX = [&](int px) {
        int64_t i = px - dx;
        int64_t v = ((2 * i + 1) * sourceWidth) / (2 * width);
        if ((2 * i + 1) * sourceWidth < 0 && ((2 * i + 1) * sourceWidth) % (2 * width)) v--;
        return sx + (int)v;
    };
    auto mapY = [&](int py) {
        int64_t i = py - dy;
        int64_t v = ((2 * i + 1) * sourceHeight) / (2 * height);
        if ((2 * i + 1) * sourceHeight < 0 && ((2 * i + 1) * sourceHeight) % (2 * height)) v--;
        return sy + (int)v;
    };
    std::vector<uint32_t> sampled(r.right - r.left), row(r.right - r.left);
    std::vector<uint8_t> valid(r.right - r.left);
    // A copy onto its own surface reads from a snapshot.
    std::vector<uint32_t> snapshot;
    const uint32_t *pixels = st.pixels;
    if (dt.pixels == st.pixels) {
        snapshot.assign(st.pixels, st.pixels + (size_t)st.width * st.height);
        pixels = snapshot.data();
    }
    for (int yy = r.top; yy < r.bottom; yy++) {
        int srcY = mapY(yy);
        if (srcY < 0 || srcY >= st.height) continue;
        for (int px = r.left; px < r.right; px++) {
            int srcX = mapX(px);
            valid[px - r.left] = srcX >= 0 && srcX < st.width;
            sampled[px - r.left] = valid[px - r.left] ? pixels[(size_t)srcY * st.width + srcX] : 0;
        }
        ConvertRow(dt, st, sampled.data(), row.data(), r.right - r.left);
        uint32_t *out = dt.pixels + (size_t)yy * dt.width;
        RowRuns(dt, yy, r.left, r.right, [&](int x0, int x1) {
            for (int px = x0; px < x1; px++)
                if (valid[px - r.left]) RopRow(out + px, &row[px - r.left], pattern, 1, rop3);
        });
    }
    Touched(dt);
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y)
{
    Lock lock(BigLock());
    pixelReads++;
    Target t;
    if (!ResolveTarget(dc, &t)) return CLR_INVALID;
    int px = x + t.originX, py = y + t.originY;
    if (px < t.clip.left || px >= t.clip.right || py < t.clip.top || py >= t.clip.bottom) return CLR_INVALID;
    if (!OwnsPixel(t, px, py)) return CLR_INVALID;
    return ColorOf(t.pixels[(size_t)py * t.width + px]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color)
{
    Lock lock(BigLock());
    Target t;
    if (!ResolveTarget(dc, &t)) return CLR_INVALID;
    int px = x + t.originX, py = y + t.originY;
    if (px < t.clip.left || px >= t.clip.right || py < t.clip.top || py >= t.clip.bottom) return CLR_INVALID;
    if (!OwnsPixel(t, px, py)) return CLR_INVALID;
    uint32_t pixel = ToTarget(t, PixelOf(color));
    t.pixels[(size_t)py * t.width + px] = pixel;
    Touched(t);
    return ColorOf(pixel);
}

BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous)
{
    Lock lock(BigLock());
    DC *d = GetDC_(dc);
    if (!d) return FALSE;
    if (previous) *previous = d->st.position;
    d->st.position = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y)
{
    Lock lock(BigLock());
    Target t;
    if (!ResolveTarget(dc, &t)) return FALSE;
    POINT from = t.dc->st.position;
    t.dc->st.position = POINT{x, y};
    Pen *pen = CurrentPen(t);
    if (!pen) return TRUE;
    uint32_t pixel = ToTarget(t, PixelOf(pen->color));
    // Bresenham, leaving out the end point as the platform does.
    int x0 = from.x + t.originX, y0 = from.y + t.originY;
    int x1 = x + t.originX, y1 = y + t.originY;
    int ddx = std::abs(x1 - x0), ddy = -std::abs(y1 - y0);
    int stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
    int error = ddx + ddy;
    while (x0 != x1 || y0 != y1) {
        PlotNib(t, x0, y0, pen->width, pixel);
        int e2 = 2 * error;
        if (e2 >= ddy) {
            error += ddy;
            x0 += stepX;
        }
        if (e2 <= ddx) {
            error += ddx;
            y0 += stepY;
        }
    }
    Touched(t);
    return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom)
{
    Lock lock(BigLock());
    Target t;
    if (!ResolveTarget(dc, &t)) return FALSE;
    RECT r = Surface(t, left, top, right, bottom);
    Pen *pen = CurrentPen(t);
    if (!pen) {
        // Without a pen the figure is one pixel narrower and shorter.
        FillSurface(t, RECT{r.left, r.top, r.right - 1, r.bottom - 1}, t.dc->st.brush);
        return TRUE;
    }
    if (r.right - r.left > 2 && r.bottom - r.top > 2)
        FillSurface(t, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, t.dc->st.brush);
    uint32_t pixel = ToTarget(t, PixelOf(pen->color));
    int w = pen->width;
    FillRectRop(t, RECT{r.left, r.top, r.right, r.top + w}, pixel, 0xF0);
    FillRectRop(t, RECT{r.left, r.bottom - w, r.right, r.bottom}, pixel, 0xF0);
    FillRectRop(t, RECT{r.left, r.top, r.left + w, r.bottom}, pixel, 0xF0);
    FillRectRop(t, RECT{r.right - w, r.top, r.right, r.bottom}, pixel, 0xF0);
    return TRUE;
}

int FillRect(HDC dc, const RECT *rect, HBRUSH brush)
{
    Lock lock(BigLock());
    Target t;
    if (!rect || !ResolveTarget(dc, &t)) return 0;
    bool hollow;
    uint32_t pixel = BrushPixel(t, brush, &hollow);
    if (!hollow) FillRectRop(t, Surface(t, rect->left, rect->top, rect->right, rect->bottom), pixel, 0xF0);
    return 1;
}

int FrameRect(HDC dc, const RECT *rect, HBRUSH brush)
{
    Lock lock(BigLock());
    Target t;
    if (!rect || !ResolveTarget(dc, &t)) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    RECT r = Surface(t, rect->left, rect->top, rect->right, rect->bottom);
    FillSurface(t, RECT{r.left, r.top, r.right, r.top + 1}, brush);
    FillSurface(t, RECT{r.left, r.bottom - 1, r.right, r.bottom}, brush);
    FillSurface(t, RECT{r.left, r.top, r.left + 1, r.bottom}, brush);
    FillSurface(t, RECT{r.right - 1, r.top, r.right, r.bottom}, brush);
    return 1;
}

BOOL DrawEdge(HDC dc, LPRECT rect, UINT edge, UINT flags)
{
    const UINT kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kMiddle = 0x800, kAdjust = 0x2000;
    Lock lock(BigLock());
    Target t;
    if (!rect || !ResolveTarget(dc, &t)) return FALSE;
    RECT r = Surface(t, rect->left, rect->top, rect->right, rect->bottom);
    // Outer ring first, then inner; top and left lines, then bottom and
    // right over the corners they share, as the classic 3-D look has it.
    struct Ring {
        UINT raised, sunken;
        int raisedTL, raisedBR, sunkenTL, sunkenBR;
    };
    const Ring rings[2] = {
        {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
        {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
    };
    int inset = 0;
    for (const Ring &ring : rings) {
        bool raised = edge & ring.raised, sunken = edge & ring.sunken;
        if (!raised && !sunken) continue;
        uint32_t tl = SysPixel(t, raised ? ring.raisedTL : ring.sunkenTL);
        uint32_t br = SysPixel(t, raised ? ring.raisedBR : ring.sunkenBR);
        RECT e{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset};
        if (flags & kTop) FillRectRop(t, RECT{e.left, e.top, e.right, e.top + 1}, tl, 0xF0);
        if (flags & kLeft) FillRectRop(t, RECT{e.left, e.top, e.left + 1, e.bottom}, tl, 0xF0);
        if (flags & kBottom) FillRectRop(t, RECT{e.left, e.bottom - 1, e.right, e.bottom}, br, 0xF0);
        if (flags & kRight) FillRectRop(t, RECT{e.right - 1, e.top, e.right, e.bottom}, br, 0xF0);
        inset++;
    }
    RECT inner{rect->left + ((flags & kLeft) ? inset : 0), rect->top + ((flags & kTop) ? inset : 0),
               rect->right - ((flags & kRight) ? inset : 0), rect->bottom - ((flags & kBottom) ? inset : 0)};
    if (flags & kMiddle)
        FillRectRop(t, Surface(t, inner.left, inner.top, inner.right, inner.bottom), SysPixel(t, COLOR_BTNFACE), 0xF0);
    if (flags & kAdjust) *rect = inner;
    return TRUE;
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info, UINT)
{
    Lock lock(BigLock());
    Bitmap *bitmap = GetBitmap(handle);
    if (!bitmap || !info || !GetDC_(dc)) return 0;
    const Pixmap &pix = bitmap->pix;
    BITMAPINFOHEADER &h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    if (!bits && h.biBitCount == 0) {
        h.biWidth = pix.width;
        h.biHeight = pix.height;
        h.biPlanes = 1;
        h.biBitCount = pix.mono ? 1 : 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = (DWORD)(((pix.width * h.biBitCount + 31) / 32) * 4 * pix.height);
        return pix.height;
    }
    if (h.biBitCount != 32 && h.biBitCount != 24) return 0;
    if (h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0) return 0;
    int height = std::abs(h.biHeight);
    bool topDown = h.biHeight < 0;
    int stride = ((h.biWidth * h.biBitCount + 31) / 32) * 4;
    h.biSizeImage = (DWORD)(stride * height);
    if (!bits) return pix.height;
    int copied = 0;
    for (UINT line = start; line < start + lines && (int)line < height; line++) {
        // DIB line numbers count from the bottom of a bottom-up image.
        int row = topDown ? (int)line : height - 1 - (int)line;
        uint8_t *out = (uint8_t *)bits + (size_t)(line - start) * stride;
        memset(out, 0, stride);
        if (row < pix.height) {
            int n = std::min((int)h.biWidth, pix.width);
            const uint32_t *in = &pix.pixels[(size_t)row * pix.width];
            for (int x = 0; x < n; x++) {
                uint32_t v = in[x];
                if (h.biBitCount == 32) {
                    memcpy(out + 4 * x, &v, 4);
                } else {
                    out[3 * x] = v & 0xFF;
                    out[3 * x + 1] = v >> 8 & 0xFF;
                    out[3 * x + 2] = v >> 16 & 0xFF;
                }
            }
        }
        copied++;
    }
    return copied;
}
