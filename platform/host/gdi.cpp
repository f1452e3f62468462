// GDI objects and device contexts of the emulated device: the object table,
// the screen, memory and window device contexts, stock objects, selection,
// the DC state (colours, clip rectangle, viewport, SaveDC) and the rectangle
// helpers. The drawing itself is in gdi_draw.cpp, text in font.cpp.
//
// Handles are small integers: the slot index in the low 16 bits and the
// slot's generation above it, so a stale handle fails cleanly instead of
// reaching whatever reuses the slot. Every handle is at least 0x10000, which
// keeps the values 1 to 31 free for the system colour "brushes" that
// FillRect accepts as (HBRUSH)(COLOR_x + 1).
//
// Not implemented: regions other than rectangles (CreateRectRgn only, and
// SelectObject of a region sets a rectangular clip), mapping modes, world
// transforms, palettes, pattern and hatched brushes, wide or styled pens.

#include "gdi_internal.h"
#include "kernel.h"
#include "user.h"
#include "gdi.h"
#include "screen.h"

#include <algorithm>
#include <cstring>

namespace dev {

volatile uint64_t screenGeneration = 0;

namespace gdi {
namespace {

struct Slot {
    uint16_t generation = 1;
    std::unique_ptr<Object> object;
};

std::vector<Slot> slots(1); // slot 0 unused: no handle is null

// Free slots, oldest first, in a ring: a deque would take and return a
// block of the heap every so many handles on the drawing paths.
class FreeSlots {
public:
    bool empty() const { return count_ == 0; }
    uint32_t front() const { return ring_[head_]; }
    void pop_front()
    {
        head_ = (head_ + 1) % ring_.size();
        count_--;
    }
    void push_back(uint32_t index)
    {
        if (count_ == ring_.size()) {
            std::vector<uint32_t> larger(ring_.empty() ? 64 : ring_.size() * 2);
            for (size_t i = 0; i < count_; i++)
                larger[i] = ring_[(head_ + i) % ring_.size()];
            ring_.swap(larger);
            head_ = 0;
        }
        ring_[(head_ + count_) % ring_.size()] = index;
        count_++;
    }

private:
    std::vector<uint32_t> ring_;
    size_t head_ = 0, count_ = 0;
};
FreeSlots freeSlots;

// Device contexts and bitmaps come and go several times a second on the
// monitor's drawing paths (a DC per drawing, the graph's ramp loaded each
// time); a deleted one's storage waits here for the next, as a GDI keeps
// its own object heap, rather than going back to the host's heap.
const size_t kSpares = 8;
std::vector<std::unique_ptr<DC>> spareDCs;
std::vector<std::unique_ptr<Bitmap>> spareBitmaps;

// Keeps a deleted object's storage when it is of a recycled kind; false if not kept.
bool Recycle(std::unique_ptr<Object> &object)
{
    if (spareDCs.capacity() < kSpares) spareDCs.reserve(kSpares);
    if (spareBitmaps.capacity() < kSpares) spareBitmaps.reserve(kSpares);
    if (object->type == Type::DC && spareDCs.size() < kSpares) {
        spareDCs.emplace_back(static_cast<DC *>(object.release()));
        return true;
    }
    if (object->type == Type::Bitmap && spareBitmaps.size() < kSpares) {
        spareBitmaps.emplace_back(static_cast<Bitmap *>(object.release()));
        return true;
    }
    return false;
}

std::unique_ptr<DC> FreshDCObject()
{
    if (spareDCs.empty()) return std::make_unique<DC>();
    std::unique_ptr<DC> dc = std::move(spareDCs.back());
    spareDCs.pop_back();
    std::vector<DCState> saved = std::move(dc->saved);
    saved.clear();
    *dc = DC();
    dc->saved = std::move(saved);
    return dc;
}

// The spare whose pixel storage best fits `count` pixels, or a new bitmap.
std::unique_ptr<Bitmap> FreshBitmapObject(size_t count)
{
    size_t best = spareBitmaps.size();
    for (size_t i = 0; i < spareBitmaps.size(); i++) {
        size_t capacity = spareBitmaps[i]->pix.pixels.capacity();
        if (capacity >= count && (best == spareBitmaps.size() || capacity < spareBitmaps[best]->pix.pixels.capacity()))
            best = i;
    }
    if (best == spareBitmaps.size()) return std::make_unique<Bitmap>();
    std::unique_ptr<Bitmap> bitmap = std::move(spareBitmaps[best]);
    spareBitmaps.erase(spareBitmaps.begin() + (long)best);
    std::vector<uint32_t> pixels = std::move(bitmap->pix.pixels);
    *bitmap = Bitmap();
    bitmap->pix.pixels = std::move(pixels);
    return bitmap;
}

// The screen, sized from the device configuration.
std::vector<uint32_t> screen;
int screenW = 0, screenH = 0;

const int kStockCount = 32;
const int kStockBitmap = 21; // the 1x1 monochrome bitmap of a fresh memory DC
HANDLE stock[kStockCount];

// Region results, as the platform numbers them.
const int kError = 0, kNullRegion = 1, kSimpleRegion = 2;

uint32_t HandleValue(HANDLE h)
{
    return (uint32_t)(uintptr_t)h;
}

// Registered on first use rather than at static initialisation, whose order
// across files is unknown.
void EnsureResetHook()
{
    static bool hooked = false;
    if (hooked) return;
    hooked = true;
    OnReset([] { ResetGraphics(); });
}

void EnsureScreen()
{
    EnsureResetHook();
    const Config &config = CurrentConfig();
    int w = std::max(1, config.screenWidth), h = std::max(1, config.screenHeight);
    if (w == screenW && h == screenH && !screen.empty()) return;
    screenW = w;
    screenH = h;
    screen.assign((size_t)w * h, 0);
    screenGeneration = screenGeneration + 1;
}

HANDLE MakeStock(int index)
{
    std::unique_ptr<Object> object;
    if (index <= BLACK_BRUSH || index == NULL_BRUSH) {
        static const COLORREF colors[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        auto brush = std::make_unique<Brush>();
        brush->type = Type::Brush;
        brush->hollow = index == NULL_BRUSH;
        brush->color = brush->hollow ? 0 : colors[index];
        brush->pixel = PixelOf(brush->color);
        object = std::move(brush);
    } else if (index == WHITE_PEN || index == BLACK_PEN || index == NULL_PEN) {
        auto pen = std::make_unique<Pen>();
        pen->type = Type::Pen;
        pen->style = index == NULL_PEN ? 5 /* PS_NULL */ : PS_SOLID;
        pen->color = index == WHITE_PEN ? 0xFFFFFF : 0;
        object = std::move(pen);
    } else if (index == SYSTEM_FONT || index == DEFAULT_GUI_FONT) {
        // The device has one font for the system and for dialogs.
        return DialogFont();
    } else if (index == kStockBitmap) {
        auto bitmap = std::make_unique<Bitmap>();
        bitmap->type = Type::Bitmap;
        bitmap->pix.width = bitmap->pix.height = 1;
        bitmap->pix.mono = true;
        bitmap->pix.pixels.assign(1, kBlack);
        object = std::move(bitmap);
    } else {
        return nullptr;
    }
    object->stock = true;
    return AddObject(std::move(object));
}

HANDLE Stock(int index)
{
    if (index < 0 || index >= kStockCount) return nullptr;
    if (!stock[index] || !Find(stock[index], Type::None)) stock[index] = MakeStock(index);
    return stock[index];
}

void Select(HANDLE *slot, HANDLE object)
{
    if (*slot == object) return;
    if (Object *old = Find(*slot, Type::None)) old->selections--;
    if (Object *now = Find(object, Type::None)) now->selections++;
    *slot = object;
}

void InitState(DC *dc)
{
    dc->st = DCState();
    Select((HANDLE *)&dc->st.brush, Stock(WHITE_BRUSH));
    Select((HANDLE *)&dc->st.pen, Stock(BLACK_PEN));
    Select((HANDLE *)&dc->st.font, Stock(SYSTEM_FONT));
    if (dc->kind == DCKind::Memory) Select((HANDLE *)&dc->st.bitmap, Stock(kStockBitmap));
}

void DropSelections(DC *dc)
{
    Select((HANDLE *)&dc->st.brush, nullptr);
    Select((HANDLE *)&dc->st.pen, nullptr);
    Select((HANDLE *)&dc->st.font, nullptr);
    Select((HANDLE *)&dc->st.bitmap, nullptr);
}

HDC NewDC(DCKind kind, HWND window)
{
    auto dc = FreshDCObject();
    dc->type = Type::DC;
    dc->kind = kind;
    dc->window = window;
    DC *raw = dc.get();
    HDC handle = (HDC)AddObject(std::move(dc));
    InitState(raw);
    return handle;
}

bool Intersect(RECT *r, const RECT &with)
{
    r->left = std::max(r->left, with.left);
    r->top = std::max(r->top, with.top);
    r->right = std::min(r->right, with.right);
    r->bottom = std::min(r->bottom, with.bottom);
    if (r->right <= r->left || r->bottom <= r->top) {
        *r = RECT{0, 0, 0, 0};
        return false;
    }
    return true;
}

RECT Offset(RECT r, int dx, int dy)
{
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

int WidthBytes(int width, int bits)
{
    return ((width * bits + 15) / 16) * 2;
}

} // namespace

// ---------------------------------------------------------------- the table

HANDLE AddObject(std::unique_ptr<Object> object)
{
    EnsureResetHook();
    uint32_t index;
    if (!freeSlots.empty()) {
        index = freeSlots.front();
        freeSlots.pop_front();
    } else {
        if (slots.size() >= 0xFFFF) return nullptr;
        index = (uint32_t)slots.size();
        slots.emplace_back();
    }
    Slot &slot = slots[index];
    if (!object->stock) CountObject(KindOf(object->type), +1);
    slot.object = std::move(object);
    return (HANDLE)(uintptr_t)(((uint32_t)slot.generation << 16) | index);
}

Object *Find(HANDLE handle, Type type)
{
    uint32_t value = HandleValue(handle);
    uint32_t index = value & 0xFFFF, generation = value >> 16;
    if ((uintptr_t)handle >> 32 || index == 0 || index >= slots.size()) return nullptr;
    Slot &slot = slots[index];
    if (slot.generation != generation || !slot.object) return nullptr;
    if (type != Type::None && slot.object->type != type) return nullptr;
    return slot.object.get();
}

void RemoveObject(HANDLE handle)
{
    Object *object = Find(handle, Type::None);
    if (!object) return;
    uint32_t index = HandleValue(handle) & 0xFFFF;
    if (!object->stock) CountObject(KindOf(object->type), -1);
    Slot &slot = slots[index];
    if (!Recycle(slot.object)) slot.object.reset();
    slot.generation = slot.generation >= 0x7FFF ? 1 : slot.generation + 1;
    // Reuse the oldest free slot first, so a handle stays stale as long as possible.
    freeSlots.push_back(index);
}

ObjectKind KindOf(Type type)
{
    switch (type) {
    case Type::DC:
        return KindDC;
    case Type::Bitmap:
        return KindBitmap;
    case Type::Brush:
        return KindBrush;
    case Type::Pen:
        return KindPen;
    case Type::Font:
        return KindFont;
    case Type::Icon:
        return KindIcon;
    case Type::ImageList:
        return KindImageList;
    default:
        return KindCount;
    }
}

HBITMAP NewBitmap(int width, int height, bool mono)
{
    if (width < 0 || height < 0 || (int64_t)width * height > (1 << 26)) return nullptr;
    auto bitmap = FreshBitmapObject((size_t)std::max(width, 1) * std::max(height, 1));
    bitmap->type = Type::Bitmap;
    // A zero size gives a new 1x1 monochrome bitmap, as the platform does.
    if (width == 0 || height == 0) {
        width = height = 1;
        mono = true;
    }
    bitmap->pix.width = width;
    bitmap->pix.height = height;
    bitmap->pix.mono = mono;
    bitmap->pix.pixels.assign((size_t)width * height, kBlack);
    return (HBITMAP)AddObject(std::move(bitmap));
}

// The kernel has zeroed the live counts by the time this runs, so objects
// go without being counted down; their slots move on a generation so that
// handles from before the reset stay stale.
void ResetObjects()
{
    for (size_t i = 1; i < slots.size(); i++) {
        Slot &slot = slots[i];
        if (!slot.object) continue;
        slot.object.reset();
        slot.generation = slot.generation >= 0x7FFF ? 1 : slot.generation + 1;
        freeSlots.push_back((uint32_t)i);
    }
    std::fill(stock, stock + kStockCount, nullptr);
}

// ---------------------------------------------------------------- surfaces

bool ResolveTarget(HDC handle, Target *t)
{
    DC *dc = GetDC_(handle);
    if (!dc) return false;
    *t = Target();
    t->dc = dc;
    RECT area;
    int originX = 0, originY = 0;
    if (dc->kind == DCKind::Memory) {
        Bitmap *bitmap = GetBitmap(dc->st.bitmap);
        if (!bitmap) return false;
        t->pixels = bitmap->pix.pixels.data();
        t->width = bitmap->pix.width;
        t->height = bitmap->pix.height;
        t->mono = bitmap->pix.mono;
        area = RECT{0, 0, t->width, t->height};
    } else {
        EnsureScreen();
        t->pixels = screen.data();
        t->width = screenW;
        t->height = screenH;
        t->screen = true;
        area = RECT{0, 0, screenW, screenH};
        if (dc->kind != DCKind::Screen) {
            RECT windowRect, clientRect;
            if (!WindowScreenRects(dc->window, &windowRect, &clientRect)) return false;
            const RECT &r = dc->kind == DCKind::Client ? clientRect : windowRect;
            originX = r.left;
            originY = r.top;
            Intersect(&area, r);
            if (dc->hasPaintClip) Intersect(&area, Offset(dc->paintClip, originX, originY));
            t->owner = dc->window;
            t->ownerIsDesktop = dc->window == GetDesktopWindow();
        }
    }
    if (dc->st.hasClip) Intersect(&area, Offset(dc->st.clip, originX, originY));
    t->clip = area;
    t->originX = originX + dc->st.viewport.x;
    t->originY = originY + dc->st.viewport.y;
    return true;
}

bool ClipToTarget(const Target &t, RECT *r)
{
    return Intersect(r, t.clip);
}

bool OwnsPixel(const Target &t, int x, int y)
{
    if (!t.owner) return true;
    HWND owner = PixelOwner(x, y);
    return owner == t.owner || (t.ownerIsDesktop && owner == nullptr);
}

// Drawing asks this for every row it touches: one look-up of the row, then
// a step per run of one owner, rather than a call per pixel.
int OwnedRunEnd(const Target &t, int y, int x, int x1, bool owned)
{
    if (!t.owner) return owned ? std::max(x, x1) : x;
    int width = 0;
    const int *runEnds = nullptr;
    const HWND *row = PixelOwnerRow(y, &width, &runEnds);
    while (x < x1) {
        bool inside = row && x >= 0 && x < width;
        HWND owner = inside ? row[x] : nullptr;
        bool mine = owner == t.owner || (t.ownerIsDesktop && owner == nullptr);
        if (mine != owned) break;
        x = inside ? std::min(runEnds[x], x1) : x + 1;
    }
    return x;
}

void Touched(const Target &t)
{
    if (t.screen) screenGeneration = screenGeneration + 1;
}

uint32_t ToTarget(const Target &t, uint32_t pixel)
{
    return t.mono ? MonoOf(pixel) : pixel & 0x00FFFFFF;
}

uint32_t BrushPixel(const Target &t, HBRUSH handle, bool *hollow)
{
    *hollow = false;
    uintptr_t value = (uintptr_t)handle;
    if (value >= 1 && value <= 31) // (HBRUSH)(COLOR_x + 1)
        return ToTarget(t, PixelOf(GetSysColor((int)value - 1)));
    Brush *brush = Get<Brush>(handle, Type::Brush);
    if (!brush || brush->hollow) {
        *hollow = true;
        return 0;
    }
    return ToTarget(t, brush->pixel);
}

bool ReadBitmap(HBITMAP handle, Pixmap *out)
{
    Bitmap *bitmap = GetBitmap(handle);
    if (!bitmap) return false;
    *out = bitmap->pix;
    return true;
}

// ------------------------------------------------------------- device reset

long pixelReads = 0;

void ResetGraphics()
{
    ResetObjects();
    ResetResources();
    ResetIcons();
    pixelReads = 0;
    // The same buffer when the size stays, so a presenter's pointer stays good.
    EnsureScreen();
    std::fill(screen.begin(), screen.end(), 0);
    screenGeneration = screenGeneration + 1;
}

} // namespace gdi

// ------------------------------------------------------------------ screen

uint32_t *ScreenPixels()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    gdi::EnsureScreen();
    return gdi::screen.data();
}

int ScreenWidth()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    gdi::EnsureScreen();
    return gdi::screenW;
}

int ScreenHeight()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    gdi::EnsureScreen();
    return gdi::screenH;
}

long PixelReads()
{
    gdi::Lock lock(BigLock());
    return gdi::pixelReads;
}

HDC GetPaintDC(HWND window, const RECT *clip)
{
    gdi::Lock lock(BigLock());
    if (!IsWindow(window)) return nullptr;
    HDC handle = gdi::NewDC(gdi::DCKind::Client, window);
    gdi::DC *dc = gdi::GetDC_(handle);
    if (dc && clip) {
        dc->hasPaintClip = true;
        dc->paintClip = *clip;
    }
    return handle;
}

} // namespace dev

using namespace dev;
using namespace dev::gdi;

// ----------------------------------------------------------- device contexts

HDC GetDC(HWND window)
{
    Lock lock(BigLock());
    if (!window) return NewDC(DCKind::Screen, nullptr);
    if (!IsWindow(window) && window != GetDesktopWindow()) return nullptr;
    return NewDC(DCKind::Client, window);
}

HDC GetWindowDC(HWND window)
{
    Lock lock(BigLock());
    if (!window) return NewDC(DCKind::Screen, nullptr);
    if (!IsWindow(window) && window != GetDesktopWindow()) return nullptr;
    return NewDC(DCKind::Window, window);
}

int ReleaseDC(HWND, HDC handle)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc || dc->kind == DCKind::Memory) return 0;
    DropSelections(dc);
    RemoveObject(handle);
    return 1;
}

HDC CreateCompatibleDC(HDC handle)
{
    Lock lock(BigLock());
    if (handle && !GetDC_(handle)) return nullptr;
    return NewDC(DCKind::Memory, nullptr);
}

BOOL DeleteDC(HDC handle)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    // Window device contexts go back through ReleaseDC.
    if (!dc || dc->kind != DCKind::Memory) return FALSE;
    DropSelections(dc);
    RemoveObject(handle);
    return TRUE;
}

// ------------------------------------------------------------------ objects

HBITMAP CreateCompatibleBitmap(HDC handle, int width, int height)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return nullptr;
    bool mono = false;
    if (dc->kind == DCKind::Memory) {
        // The format of the bitmap selected in it: monochrome for a fresh memory DC.
        Bitmap *selected = GetBitmap(dc->st.bitmap);
        mono = !selected || selected->pix.mono;
    }
    return NewBitmap(width, height, mono);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void *bits)
{
    Lock lock(BigLock());
    UINT depth = planes * bitsPerPixel;
    if (planes != 1 || (depth != 1 && depth != 24 && depth != 32 && (bits || depth == 0))) return nullptr;
    HBITMAP handle = NewBitmap(width, height, depth == 1);
    Bitmap *bitmap = GetBitmap(handle);
    if (!bitmap || !bits || bitmap->pix.width != width) return handle;
    const uint8_t *rows = (const uint8_t *)bits;
    int stride = WidthBytes(width, depth);
    for (int y = 0; y < height; y++) {
        const uint8_t *row = rows + (size_t)y * stride;
        uint32_t *out = &bitmap->pix.pixels[(size_t)y * width];
        for (int x = 0; x < width; x++) {
            if (depth == 1)
                out[x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? kWhite : kBlack;
            else if (depth == 24)
                out[x] = row[x * 3] | row[x * 3 + 1] << 8 | (uint32_t)row[x * 3 + 2] << 16;
            else
                out[x] = (row[x * 4] | row[x * 4 + 1] << 8 | (uint32_t)row[x * 4 + 2] << 16);
        }
    }
    return handle;
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    Lock lock(BigLock());
    auto brush = std::make_unique<Brush>();
    brush->type = Type::Brush;
    brush->color = color & 0x00FFFFFF;
    brush->pixel = PixelOf(color);
    return (HBRUSH)AddObject(std::move(brush));
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    Lock lock(BigLock());
    if (style < 0 || style > 6) return nullptr;
    auto pen = std::make_unique<Pen>();
    pen->type = Type::Pen;
    pen->style = style;
    pen->width = std::max(1, width);
    pen->color = color & 0x00FFFFFF;
    return (HPEN)AddObject(std::move(pen));
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    Lock lock(BigLock());
    auto region = std::make_unique<Region>();
    region->type = Type::Region;
    region->rect = RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    return (HRGN)AddObject(std::move(region));
}

HGDIOBJ GetStockObject(int index)
{
    Lock lock(BigLock());
    if (index == kStockBitmap) return nullptr; // not handed out by number
    return Stock(index);
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    Object *o = Find(object, Type::None);
    if (!dc || !o) return nullptr;
    HANDLE previous = nullptr;
    switch (o->type) {
    case Type::Bitmap:
        if (dc->kind != DCKind::Memory) return nullptr;
        if (dc->st.bitmap == object) return object;
        // A bitmap draws in one device context at a time.
        if (o->selections > 0 && !o->stock) return nullptr;
        previous = dc->st.bitmap;
        Select((HANDLE *)&dc->st.bitmap, object);
        return previous;
    case Type::Brush:
        previous = dc->st.brush;
        Select((HANDLE *)&dc->st.brush, object);
        return previous;
    case Type::Pen:
        previous = dc->st.pen;
        Select((HANDLE *)&dc->st.pen, object);
        return previous;
    case Type::Font:
        previous = dc->st.font;
        Select((HANDLE *)&dc->st.font, object);
        return previous;
    case Type::Region: {
        // Selecting a region replaces the clip rectangle with a copy of it.
        dc->st.hasClip = true;
        dc->st.clip = static_cast<Region *>(o)->rect;
        bool empty = dc->st.clip.right <= dc->st.clip.left || dc->st.clip.bottom <= dc->st.clip.top;
        return (HGDIOBJ)(uintptr_t)(empty ? kNullRegion : kSimpleRegion);
    }
    default:
        return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ object)
{
    Lock lock(BigLock());
    Object *o = Find(object, Type::None);
    if (!o || o->stock || o->selections > 0) return FALSE;
    switch (o->type) {
    case Type::Bitmap:
    case Type::Brush:
    case Type::Pen:
    case Type::Font:
    case Type::Region:
        RemoveObject(object);
        return TRUE;
    default:
        return FALSE; // device contexts, icons and image lists have their own
    }
}

DWORD GetObjectType(HGDIOBJ object)
{
    Lock lock(BigLock());
    Object *o = Find(object, Type::None);
    if (!o) return 0;
    switch (o->type) {
    case Type::Pen:
        return OBJ_PEN;
    case Type::Brush:
        return OBJ_BRUSH;
    case Type::DC:
        return static_cast<DC *>(o)->kind == DCKind::Memory ? OBJ_MEMDC : OBJ_DC;
    case Type::Font:
        return OBJ_FONT;
    case Type::Bitmap:
        return OBJ_BITMAP;
    case Type::Region:
        return 8; // OBJ_REGION
    default:
        return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN:
        return dc->st.pen;
    case OBJ_BRUSH:
        return dc->st.brush;
    case OBJ_FONT:
        return dc->st.font;
    case OBJ_BITMAP:
        return dc->st.bitmap;
    default:
        return nullptr;
    }
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer)
{
    Lock lock(BigLock());
    Object *o = Find(object, Type::None);
    if (!o) return 0;
    switch (o->type) {
    case Type::Bitmap: {
        const Pixmap &pix = static_cast<Bitmap *>(o)->pix;
        if (!buffer) return sizeof(BITMAP);
        if (size < (int)sizeof(BITMAP)) return 0;
        BITMAP bm{};
        bm.bmWidth = pix.width;
        bm.bmHeight = pix.height;
        bm.bmBitsPixel = pix.mono ? 1 : 32;
        bm.bmPlanes = 1;
        bm.bmWidthBytes = WidthBytes(pix.width, bm.bmBitsPixel);
        memcpy(buffer, &bm, sizeof bm);
        return sizeof(BITMAP);
    }
    case Type::Font: {
        const LOGFONTW &lf = static_cast<Font *>(o)->logFont;
        if (!buffer) return sizeof(LOGFONTW);
        int n = std::min(size, (int)sizeof(LOGFONTW));
        if (n <= 0) return 0;
        memcpy(buffer, &lf, n);
        return n;
    }
    case Type::Brush: {
        // LOGBRUSH: style (0 solid, 1 hollow), colour, hatch
        struct {
            UINT style;
            COLORREF color;
            ULONG_PTR hatch;
        } lb{};
        Brush *b = static_cast<Brush *>(o);
        lb.style = b->hollow ? 1 : 0;
        lb.color = b->color;
        if (!buffer) return sizeof lb;
        if (size < (int)sizeof lb) return 0;
        memcpy(buffer, &lb, sizeof lb);
        return sizeof lb;
    }
    case Type::Pen: {
        // LOGPEN: style, width as a POINT, colour
        struct {
            UINT style;
            POINT width;
            COLORREF color;
        } lp{};
        Pen *p = static_cast<Pen *>(o);
        lp.style = p->style;
        lp.width.x = p->width;
        lp.color = p->color;
        if (!buffer) return sizeof lp;
        if (size < (int)sizeof lp) return 0;
        memcpy(buffer, &lp, sizeof lp);
        return sizeof lp;
    }
    default:
        return 0;
    }
}

int GetDeviceCaps(HDC handle, int index)
{
    Lock lock(BigLock());
    if (!GetDC_(handle)) return 0;
    EnsureScreen();
    switch (index) {
    case HORZRES:
        return screenW;
    case VERTRES:
        return screenH;
    case BITSPIXEL:
        return 32;
    case 14 /* PLANES */:
        return 1;
    case 24 /* NUMCOLORS */:
        return -1;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    default:
        return 0;
    }
}

// ------------------------------------------------------------------ DC state

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->st.textColor;
    dc->st.textColor = color & 0x00FFFFFF;
    return old;
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->st.bkColor;
    dc->st.bkColor = color & 0x00FFFFFF;
    return old;
}

int SetBkMode(HDC handle, int mode)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->st.bkMode;
    dc->st.bkMode = mode;
    return old;
}

int IntersectClipRect(HDC handle, int left, int top, int right, int bottom)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return kError;
    RECT r{left + dc->st.viewport.x, top + dc->st.viewport.y, right + dc->st.viewport.x, bottom + dc->st.viewport.y};
    if (dc->st.hasClip) {
        Intersect(&r, dc->st.clip);
    } else if (r.right <= r.left || r.bottom <= r.top) {
        r = RECT{0, 0, 0, 0};
    }
    dc->st.hasClip = true;
    dc->st.clip = r;
    return (r.right <= r.left || r.bottom <= r.top) ? kNullRegion : kSimpleRegion;
}

int SaveDC(HDC handle)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return 0;
    dc->saved.push_back(dc->st);
    return (int)dc->saved.size();
}

BOOL RestoreDC(HDC handle, int level)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return FALSE;
    int count = (int)dc->saved.size();
    if (level < 0) level = count + 1 + level;
    if (level < 1 || level > count) return FALSE;
    DCState state = dc->saved[level - 1];
    dc->saved.resize(level - 1);
    // Objects deleted since the save fall back to the defaults.
    auto restore = [&](HANDLE *slot, HANDLE saved, Type type, HANDLE fallback) {
        Object *o = Find(saved, type);
        if (!o)
            saved = fallback;
        else if (type == Type::Bitmap && o->selections > 0 && saved != *slot && !o->stock)
            return;
        Select(slot, saved);
    };
    restore((HANDLE *)&dc->st.brush, state.brush, Type::Brush, Stock(WHITE_BRUSH));
    restore((HANDLE *)&dc->st.pen, state.pen, Type::Pen, Stock(BLACK_PEN));
    restore((HANDLE *)&dc->st.font, state.font, Type::Font, Stock(SYSTEM_FONT));
    if (dc->kind == DCKind::Memory) restore((HANDLE *)&dc->st.bitmap, state.bitmap, Type::Bitmap, Stock(kStockBitmap));
    dc->st.textColor = state.textColor;
    dc->st.bkColor = state.bkColor;
    dc->st.bkMode = state.bkMode;
    dc->st.viewport = state.viewport;
    dc->st.position = state.position;
    dc->st.hasClip = state.hasClip;
    dc->st.clip = state.clip;
    return TRUE;
}

BOOL SetViewportOrgEx(HDC handle, int x, int y, LPPOINT previous)
{
    Lock lock(BigLock());
    DC *dc = GetDC_(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->st.viewport;
    dc->st.viewport = POINT{x, y};
    return TRUE;
}

// ------------------------------------------------------------- rectangles

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect)
{
    if (!rect) return FALSE;
    *rect = RECT{0, 0, 0, 0};
    return TRUE;
}

BOOL IsRectEmpty(const RECT *rect)
{
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL PtInRect(const RECT *rect, POINT point)
{
    return rect && point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    *rect = RECT{rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    *rect = RECT{rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
    return TRUE;
}

BOOL IntersectRect(LPRECT dest, const RECT *a, const RECT *b)
{
    if (!dest || !a || !b) return FALSE;
    RECT r = *a;
    bool any = !IsRectEmpty(a) && !IsRectEmpty(b) && Intersect(&r, *b);
    *dest = any ? r : RECT{0, 0, 0, 0};
    return any;
}

BOOL UnionRect(LPRECT dest, const RECT *a, const RECT *b)
{
    if (!dest || !a || !b) return FALSE;
    bool emptyA = IsRectEmpty(a), emptyB = IsRectEmpty(b);
    if (emptyA && emptyB) {
        *dest = RECT{0, 0, 0, 0};
        return FALSE;
    }
    if (emptyA) {
        *dest = *b;
    } else if (emptyB) {
        *dest = *a;
    } else {
        *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                     std::max(a->bottom, b->bottom)};
    }
    return TRUE;
}

BOOL EqualRect(const RECT *a, const RECT *b)
{
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
