// Icons of the emulated device: LoadIconW from RT_GROUP_ICON / RT_ICON
// resources, CreateIconIndirect, GetIconInfo, DrawIcon(Ex), DestroyIcon.
//
// An icon keeps its own copies of its two images: the XOR (colour) image and
// the AND mask, drawn as the platform draws icons: the destination is ANDed
// with the mask, then XORed with the image.
//
// Not implemented: cursors, animated icons, PNG-compressed icon images,
// system icons (LoadIconW with a null instance).

#include "gdi_internal.h"
#include "kernel.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace dev {
namespace gdi {
namespace {

// LoadIconW hands out one shared icon per module and name.
std::map<std::pair<HMODULE, std::u16string>, HICON> sharedIcons;

// The device shows icons at 16 by 16 (the tray's size).
const int kIconSize = 16;

uint16_t Read16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}
uint32_t Read32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

std::u16string KeyOf(LPCWSTR name)
{
    ResId id = IdOf(name);
    if (id.ordinal >= 0) {
        std::u16string key = u"#";
        for (char c : std::to_string(id.ordinal))
            key += (char16_t)c;
        return key;
    }
    return id.name;
}

// Picks the image of a group directory: 16 by 16 with the most colours, else
// the size nearest 16 (the most colours among equals). Returns the RT_ICON id.
int ChooseImage(const uint8_t *group, DWORD size)
{
    if (size < 6 || Read16(group + 2) != 1) return -1;
    int count = Read16(group + 4);
    if (size < 6 + (DWORD)count * 14) return -1;
    int best = -1, bestDistance = 1 << 30, bestBits = -1;
    for (int i = 0; i < count; i++) {
        const uint8_t *e = group + 6 + 14 * i;
        int width = e[0] ? e[0] : 256, height = e[1] ? e[1] : 256;
        int bits = Read16(e + 6);
        if (!bits) { // older directories give only the colour count
            int colors = e[2];
            bits = colors == 2 ? 1 : colors == 4 ? 2 : colors == 16 ? 4 : 8;
        }
        int distance = std::abs(width - kIconSize) + std::abs(height - kIconSize);
        if (distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
            best = Read16(e + 12);
            bestDistance = distance;
            bestBits = bits;
        }
    }
    return best;
}

// A mask from any bitmap: the pixels that show white keep the destination.
std::vector<uint32_t> MaskOf(const Pixmap &pix, int width, int height, int top)
{
    std::vector<uint32_t> mask((size_t)width * height, kBlack);
    for (int y = 0; y < height && y + top < pix.height; y++)
        for (int x = 0; x < width && x < pix.width; x++)
            mask[(size_t)y * width + x] = pix.pixels[(size_t)(y + top) * pix.width + x] == kWhite ? kWhite : kBlack;
    return mask;
}

HBITMAP BitmapFrom(const uint32_t *pixels, int width, int height, bool mono)
{
    HBITMAP handle = NewBitmap(width, height, mono);
    Bitmap *bitmap = GetBitmap(handle);
    if (bitmap && bitmap->pix.width == width && bitmap->pix.height == height)
        std::copy(pixels, pixels + (size_t)width * height, bitmap->pix.pixels.begin());
    return handle;
}

HICON DecodeIconImage(const uint8_t *data, DWORD size, bool shared)
{
    if (size < 40) return nullptr;
    int height = (int32_t)Read32(data + 8);
    int rows = std::abs(height) / 2;
    Pixmap color;
    size_t end = 0;
    if (!DecodeDib(data, size, rows, &color, &end)) return nullptr;
    int width = color.width;
    std::vector<uint32_t> mask((size_t)width * rows, kBlack);
    size_t stride = ((size_t)width + 31) / 32 * 4;
    if (end + stride * rows <= size) {
        bool topDown = height < 0;
        for (int line = 0; line < rows; line++) {
            const uint8_t *row = data + end + stride * line;
            int y = topDown ? line : rows - 1 - line;
            for (int x = 0; x < width; x++)
                mask[(size_t)y * width + x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? kWhite : kBlack;
        }
    }
    return NewIcon(width, rows, color.pixels.data(), mask.data(), shared);
}

} // namespace

HICON NewIcon(int width, int height, const uint32_t *color, const uint32_t *mask, bool shared)
{
    if (width <= 0 || height <= 0) return nullptr;
    auto icon = std::make_unique<Icon>();
    icon->type = Type::Icon;
    icon->width = width;
    icon->height = height;
    icon->color.assign(color, color + (size_t)width * height);
    icon->mask.assign(mask, mask + (size_t)width * height);
    icon->shared = shared;
    icon->hotX = width / 2;
    icon->hotY = height / 2;
    return (HICON)AddObject(std::move(icon));
}

void ResetIcons()
{
    sharedIcons.clear();
}

} // namespace gdi
} // namespace dev

using namespace dev;
using namespace dev::gdi;

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    Lock lock(BigLock());
    if (!instance || !name) return nullptr;
    auto key = std::make_pair((HMODULE)instance, KeyOf(name));
    auto it = sharedIcons.find(key);
    if (it != sharedIcons.end() && Find(it->second, Type::Icon)) return it->second;
    const uint8_t *group, *image;
    DWORD groupSize, imageSize;
    if (!FindIn(instance, name, RT_GROUP_ICON, &group, &groupSize)) return nullptr;
    int id = ChooseImage(group, groupSize);
    if (id < 0 || !FindIn(instance, MAKEINTRESOURCEW(id), RT_ICON, &image, &imageSize)) return nullptr;
    HICON icon = DecodeIconImage(image, imageSize, true);
    if (icon) sharedIcons[key] = icon;
    return icon;
}

HICON CreateIconIndirect(PICONINFO info)
{
    Lock lock(BigLock());
    if (!info) return nullptr;
    Pixmap maskPix, colorPix;
    if (!ReadBitmap(info->hbmMask, &maskPix)) return nullptr;
    HICON handle;
    if (info->hbmColor) {
        if (!ReadBitmap(info->hbmColor, &colorPix)) return nullptr;
        int width = colorPix.width, height = colorPix.height;
        std::vector<uint32_t> mask = MaskOf(maskPix, width, height, 0);
        handle = NewIcon(width, height, colorPix.pixels.data(), mask.data(), false);
    } else {
        // A monochrome icon: the mask bitmap holds the AND mask over the XOR image.
        int width = maskPix.width, height = maskPix.height / 2;
        if (height <= 0) return nullptr;
        std::vector<uint32_t> mask = MaskOf(maskPix, width, height, 0);
        std::vector<uint32_t> color = MaskOf(maskPix, width, height, height);
        handle = NewIcon(width, height, color.data(), mask.data(), false);
        if (Icon *icon = Get<Icon>(handle, Type::Icon)) icon->monoColor = true;
    }
    if (Icon *icon = Get<Icon>(handle, Type::Icon)) {
        icon->isIcon = info->fIcon;
        // An icon's hot spot is always its centre; a cursor keeps the one given.
        if (!info->fIcon) {
            icon->hotX = info->xHotspot;
            icon->hotY = info->yHotspot;
        }
    }
    return handle;
}

BOOL GetIconInfo(HICON handle, PICONINFO info)
{
    Lock lock(BigLock());
    Icon *icon = Get<Icon>(handle, Type::Icon);
    if (!icon || !info) return FALSE;
    info->fIcon = icon->isIcon;
    info->xHotspot = icon->hotX;
    info->yHotspot = icon->hotY;
    // Fresh copies each time: the caller deletes them.
    if (icon->monoColor) {
        std::vector<uint32_t> both(icon->mask);
        both.insert(both.end(), icon->color.begin(), icon->color.end());
        info->hbmMask = BitmapFrom(both.data(), icon->width, icon->height * 2, true);
        info->hbmColor = nullptr;
    } else {
        info->hbmMask = BitmapFrom(icon->mask.data(), icon->width, icon->height, true);
        info->hbmColor = BitmapFrom(icon->color.data(), icon->width, icon->height, false);
    }
    return TRUE;
}

BOOL DestroyIcon(HICON handle)
{
    Lock lock(BigLock());
    Icon *icon = Get<Icon>(handle, Type::Icon);
    if (!icon) return FALSE;
    // A shared icon belongs to the system: destroying it succeeds and keeps it.
    if (!icon->shared) RemoveObject(handle);
    return TRUE;
}

BOOL DrawIconEx(HDC dc, int x, int y, HICON handle, int width, int height, UINT, HBRUSH, UINT flags)
{
    const UINT kMask = 1, kImage = 2, kDefaultSize = 8;
    Lock lock(BigLock());
    Icon *icon = Get<Icon>(handle, Type::Icon);
    Target t;
    if (!icon || !ResolveTarget(dc, &t)) return FALSE;
    if (!width) width = (flags & kDefaultSize) ? GetSystemMetrics(SM_CXICON) : icon->width;
    if (!height) height = (flags & kDefaultSize) ? GetSystemMetrics(SM_CYICON) : icon->height;
    if (width <= 0) width = icon->width;
    if (height <= 0) height = icon->height;
    if (!(flags & (kMask | kImage))) return FALSE;
    int sx = x + t.originX, sy = y + t.originY;
    if ((flags & (kMask | kImage)) == kImage) {
        // The image alone is copied, not XORed.
        DrawMaskedImage(t, sx, sy, width, height, nullptr, icon->color.data(), icon->width, icon->height);
        return TRUE;
    }
    DrawMaskedImage(t, sx, sy, width, height, icon->mask.data(), (flags & kImage) ? icon->color.data() : nullptr,
                    icon->width, icon->height);
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    // On the device DrawIcon is DrawIconEx at the icon's own size.
    return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}
