// Private to the graphics files of the device (gdi*.cpp, font*.cpp,
// icon*.cpp, imagelist*.cpp, resources*.cpp, png*.cpp): the object table and
// the drawing surface model. Other areas use the Win32 functions or the dev::
// contracts in gdi.h and screen.h.
//
// Every pixel, on the screen and in every bitmap, is a 32-bit 0x00RRGGBB
// word. Monochrome bitmaps hold only 0x000000 and 0x00FFFFFF, so the raster
// operations need no second code path for them.
#pragma once

#include "kernel.h"

#include <memory>
#include <vector>

namespace dev {

// PixelOwner for a whole row (user_paint.cpp): null when no owners are
// known there, every pixel then being nobody's. runEnds[x] is where the run
// of pixels with row[x]'s owner ends (exclusive).
const HWND *PixelOwnerRow(int y, int *width, const int **runEnds);

namespace gdi {

typedef std::lock_guard<std::recursive_mutex> Lock;

const uint32_t kWhite = 0x00FFFFFF;
const uint32_t kBlack = 0x00000000;

// COLORREF (0x00BBGGRR) <-> pixel (0x00RRGGBB): the same swap both ways.
inline uint32_t SwapRB(uint32_t c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline uint32_t PixelOf(COLORREF c)
{
    return SwapRB(c & 0x00FFFFFF);
}
inline COLORREF ColorOf(uint32_t p)
{
    return SwapRB(p & 0x00FFFFFF);
}
// A monochrome surface keeps the nearer of black and white.
inline uint32_t MonoOf(uint32_t p)
{
    return ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) >= 383 ? kWhite : kBlack;
}

enum class Type : uint8_t { None, DC, Bitmap, Brush, Pen, Font, Region, Icon, ImageList };

struct Object {
    virtual ~Object() {}
    Type type = Type::None;
    bool stock = false; // never deleted, not counted
    int selections = 0; // device contexts it is selected into
};

struct Pixmap {
    int width = 0, height = 0;
    bool mono = false;
    std::vector<uint32_t> pixels; // width * height, top row first
};

struct Bitmap : Object {
    Pixmap pix;
};

struct Brush : Object {
    bool hollow = false;
    uint32_t pixel = 0; // 0x00RRGGBB
    COLORREF color = 0;
};

struct Pen : Object {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct FontFace; // font.cpp
struct Font : Object {
    LOGFONTW logFont{};
    FontFace *face = nullptr;
};

struct Region : Object {
    RECT rect{};
};

struct Icon : Object {
    int width = 0, height = 0;
    std::vector<uint32_t> color; // XOR image
    std::vector<uint32_t> mask;  // AND mask: kWhite keeps the destination, kBlack clears it
    bool monoColor = false;      // the XOR image came from a monochrome bitmap
    bool shared = false;         // from LoadIconW: outlives DestroyIcon
    BOOL isIcon = TRUE;
    DWORD hotX = 0, hotY = 0;
};

struct ImageList : Object {
    int width = 0, height = 0;
    UINT flags = 0;
    std::vector<std::vector<uint32_t>> images; // colour, blacked out where masked
    std::vector<std::vector<uint32_t>> masks;  // empty when ILC_MASK was not given
};

enum class DCKind : uint8_t { Memory, Client, Window, Screen };

struct DCState {
    HBITMAP bitmap = nullptr;
    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HFONT font = nullptr;
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    POINT viewport{0, 0};
    POINT position{0, 0};
    bool hasClip = false;
    RECT clip{}; // device coordinates
};

struct DC : Object {
    DCKind kind = DCKind::Memory;
    HWND window = nullptr;
    bool hasPaintClip = false;
    RECT paintClip{}; // client coordinates, from BeginPaint
    DCState st;
    std::vector<DCState> saved;
};

// ---- object table (gdi.cpp)
HANDLE AddObject(std::unique_ptr<Object> object);
Object *Find(HANDLE handle, Type type);
template <class T> T *Get(HANDLE handle, Type type)
{
    return static_cast<T *>(Find(handle, type));
}
inline DC *GetDC_(HDC dc)
{
    return Get<DC>(dc, Type::DC);
}
inline Bitmap *GetBitmap(HBITMAP b)
{
    return Get<Bitmap>(b, Type::Bitmap);
}
// Removes the object and its count; the caller has checked that it may go.
void RemoveObject(HANDLE handle);
ObjectKind KindOf(Type type);
HBITMAP NewBitmap(int width, int height, bool mono);

// ---- drawing surfaces (gdi.cpp)
// Where a device context's pixels are, resolved for one operation.
struct Target {
    uint32_t *pixels = nullptr;
    int width = 0, height = 0; // of the surface (bitmap or screen)
    bool mono = false;
    bool screen = false;
    int originX = 0, originY = 0; // surface position of logical (0, 0)
    RECT clip{};                  // surface coordinates, inside the surface
    HWND owner = nullptr;         // draw only where PixelOwner gives this window
    bool ownerIsDesktop = false;  // ... or nothing at all (the desktop background)
    DC *dc = nullptr;
};
// False when the DC is stale or has nothing to draw on.
bool ResolveTarget(HDC dc, Target *target);
// The pixels of a rectangle (surface coordinates) this target may draw on:
// calls run(y, x0, x1) for each visible run, x1 exclusive.
template <class F> void ForEachRun(const Target &t, RECT r, F run);
bool ClipToTarget(const Target &t, RECT *r);
bool OwnsPixel(const Target &t, int x, int y);
// The end of the run from x (before x1) whose pixels the target owns, or,
// with owned false, does not own.
int OwnedRunEnd(const Target &t, int y, int x, int x1, bool owned);
void Touched(const Target &t); // bumps the screen generation for screen targets
uint32_t BrushPixel(const Target &t, HBRUSH brush, bool *hollow);
uint32_t ToTarget(const Target &t, uint32_t pixel); // mono targets keep black or white
// Fill a surface rectangle through the raster operation with a pattern colour.
void FillRectRop(const Target &t, RECT r, uint32_t pattern, uint8_t rop3);
// Apply one row of a ternary raster operation (the high byte of a ROP code).
void RopRow(uint32_t *dest, const uint32_t *source, uint32_t pattern, int count, uint8_t rop3);
// Blend a coverage mask (0..255) of colour into the target at surface (x, y).
void BlendCoverage(const Target &t, int x, int y, int w, int h, const uint8_t *coverage, int pitch, uint32_t pixel);
// Draw an icon image (AND mask then XOR colour) at surface coordinates,
// stretched from srcW by srcH. Without a mask the image is copied.
void DrawMaskedImage(const Target &t, int x, int y, int w, int h, const uint32_t *mask, const uint32_t *color, int srcW,
                     int srcH);
// Copies a pixmap out of a bitmap handle, converting to 32-bit; false if stale.
bool ReadBitmap(HBITMAP bitmap, Pixmap *out);

// ---- fonts (font.cpp)
FontFace *FaceFor(const LOGFONTW &logFont);

// ---- resources (resources.cpp)
struct ResId {
    int ordinal = -1;    // -1 for a string
    std::u16string name; // upper case
};
struct ResEntry {
    ResId type, name;
    WORD language = 0;
    const uint8_t *data = nullptr;
    DWORD size = 0;
};
ResId IdOf(LPCWSTR name);
bool SameId(const ResId &a, const ResId &b);
// The records of a .res image; false when it is damaged (the records before
// the damage are still given).
bool ParseRes(const uint8_t *bytes, size_t size, std::vector<ResEntry> *entries);
// The data of a resource of the module (null: the calling process's).
bool FindIn(HMODULE module, LPCWSTR name, LPCWSTR type, const uint8_t **data, DWORD *size);
// Decodes an uncompressed DIB (header, palette, bits) into 32-bit pixels.
// rows: how many rows of the image to take (0: its height; an icon gives
// half its doubled height). bitsEnd receives the offset after those rows.
bool DecodeDib(const uint8_t *dib, size_t size, int rows, Pixmap *out, size_t *bitsEnd);

// ---- icons (icon.cpp)
HICON NewIcon(int width, int height, const uint32_t *color, const uint32_t *mask, bool shared);

// ---- device reset: every object goes, each file forgets its state
void ResetGraphics();   // gdi.cpp, calls the others
extern long pixelReads; // GetPixel calls since the device started
void ResetResources();  // resources.cpp
void ResetIcons();      // icon.cpp

template <class F> void ForEachRun(const Target &t, RECT r, F run)
{
    if (!ClipToTarget(t, &r)) return;
    for (int y = r.top; y < r.bottom; y++) {
        if (!t.owner && !t.ownerIsDesktop) {
            run(y, (int)r.left, (int)r.right);
            continue;
        }
        int x = r.left;
        while (x < r.right) {
            int start = OwnedRunEnd(t, y, x, r.right, false);
            x = OwnedRunEnd(t, y, start, r.right, true);
            if (x > start) run(y, start, x);
        }
    }
}

} // namespace gdi
} // namespace dev
