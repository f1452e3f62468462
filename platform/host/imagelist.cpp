// Image lists of the emulated device (commctrl): a row of equal-sized images,
// each with an optional mask, copied in by ImageList_Add and drawn or turned
// into icons by index.
//
// As the common controls do, a masked image is stored blacked out where the
// mask is set, so drawing is the mask ANDed in, then the image ORed.
//
// Not implemented: ImageList_Replace, ImageList_Remove, overlay images,
// blending styles (ILD_BLEND*), drag images. ImageList_Draw honours
// ILD_NORMAL, ILD_TRANSPARENT and ILD_MASK.

#include "gdi_internal.h"
#include "kernel.h"

#include <algorithm>

using namespace dev;
using namespace dev::gdi;

namespace {

const UINT kDrawMask = 0x0010; // ILD_TRANSPARENT changes nothing: a masked image always draws through its mask

ImageList *ListOf(HIMAGELIST list)
{
    return Get<ImageList>(list, Type::ImageList);
}

} // namespace

HIMAGELIST ImageList_Create(int width, int height, UINT flags, int, int)
{
    Lock lock(BigLock());
    if (width <= 0 || height <= 0) return nullptr;
    auto list = std::make_unique<ImageList>();
    list->type = Type::ImageList;
    list->width = width;
    list->height = height;
    list->flags = flags;
    return (HIMAGELIST)AddObject(std::move(list));
}

BOOL ImageList_Destroy(HIMAGELIST list)
{
    Lock lock(BigLock());
    if (!ListOf(list)) return FALSE;
    RemoveObject(list);
    return TRUE;
}

int ImageList_Add(HIMAGELIST handle, HBITMAP image, HBITMAP mask)
{
    Lock lock(BigLock());
    ImageList *list = ListOf(handle);
    Pixmap imagePix, maskPix;
    if (!list || !ReadBitmap(image, &imagePix)) return -1;
    bool masked = (list->flags & ILC_MASK) != 0;
    bool haveMask = masked && mask && ReadBitmap(mask, &maskPix);
    int count = imagePix.width / list->width;
    if (count <= 0) return -1;
    int first = (int)list->images.size();
    int w = list->width, h = list->height;
    for (int k = 0; k < count; k++) {
        std::vector<uint32_t> pixels((size_t)w * h, kBlack), bits((size_t)w * h, kBlack);
        for (int y = 0; y < h && y < imagePix.height; y++) {
            for (int x = 0; x < w; x++) {
                int sx = k * w + x;
                uint32_t v = imagePix.pixels[(size_t)y * imagePix.width + sx];
                pixels[(size_t)y * w + x] = v;
                if (haveMask && sx < maskPix.width && y < maskPix.height &&
                    maskPix.pixels[(size_t)y * maskPix.width + sx] == kWhite) {
                    bits[(size_t)y * w + x] = kWhite;
                    pixels[(size_t)y * w + x] = kBlack;
                }
            }
        }
        list->images.push_back(std::move(pixels));
        list->masks.push_back(masked ? std::move(bits) : std::vector<uint32_t>());
    }
    return first;
}

int ImageList_GetImageCount(HIMAGELIST handle)
{
    Lock lock(BigLock());
    ImageList *list = ListOf(handle);
    return list ? (int)list->images.size() : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int *width, int *height)
{
    Lock lock(BigLock());
    ImageList *list = ListOf(handle);
    if (!list || !width || !height) return FALSE;
    *width = list->width;
    *height = list->height;
    return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT style)
{
    Lock lock(BigLock());
    ImageList *list = ListOf(handle);
    Target t;
    if (!list || index < 0 || index >= (int)list->images.size() || !ResolveTarget(dc, &t)) return FALSE;
    const std::vector<uint32_t> &image = list->images[index];
    const std::vector<uint32_t> &mask = list->masks[index];
    int w = list->width, h = list->height;
    int sx = x + t.originX, sy = y + t.originY;
    if (style & kDrawMask) {
        // The mask alone: black where the image is opaque, white elsewhere.
        if (mask.empty())
            FillRectRop(t, RECT{sx, sy, sx + w, sy + h}, kBlack, 0xF0);
        else
            DrawMaskedImage(t, sx, sy, w, h, nullptr, mask.data(), w, h);
        return TRUE;
    }
    DrawMaskedImage(t, sx, sy, w, h, mask.empty() ? nullptr : mask.data(), image.data(), w, h);
    return TRUE;
}

HICON ImageList_GetIcon(HIMAGELIST handle, int index, UINT)
{
    Lock lock(BigLock());
    ImageList *list = ListOf(handle);
    if (!list || index < 0 || index >= (int)list->images.size()) return nullptr;
    int w = list->width, h = list->height;
    std::vector<uint32_t> opaque((size_t)w * h, kBlack);
    const std::vector<uint32_t> &mask = list->masks[index];
    return NewIcon(w, h, list->images[index].data(), mask.empty() ? opaque.data() : mask.data(), false);
}
