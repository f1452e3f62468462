// The platform answers that the monitor can observe, asked the same way on
// both builds: under Wine by platformprobe.exe (platform/win32/programs),
// and on the emulated device by whoever includes this header and hands it
// the monitor's resources. Where both can answer, the two lists of findings
// are compared key by key.
//
// Keys starting "agree." must read the same on the device and on Wine (raster
// operations, GetPixel outside a bitmap, the dialog templates' pixel layout,
// text formatting). Keys starting "info." describe the platform at hand
// (screen, colours, timer rate) and may differ by design.
//
// Uses only what platform.h gives both builds: WCHAR, TEXT(), bounded
// swprintf with %ls.
#pragma once

#include <stdio.h>
#include <string.h>

#include "platform/platform.h"
#include "app/resource.h"

typedef void (*ProbeEmit)(void *context, const char *key, const WCHAR *value);

namespace probe {

struct Sink {
    ProbeEmit emit;
    void *context;
};

inline void Put(Sink &sink, const char *key, const WCHAR *value) { sink.emit(sink.context, key, value); }

inline void PutHex(Sink &sink, const char *key, DWORD value)
{
    WCHAR text[16];
    swprintf(text, 16, TEXT("%08lX"), (unsigned long)value);
    Put(sink, key, text);
}

inline void PutInt(Sink &sink, const char *key, long value)
{
    WCHAR text[24];
    swprintf(text, 24, TEXT("%ld"), value);
    Put(sink, key, text);
}

inline void PutRect(Sink &sink, const char *key, const RECT &r)
{
    WCHAR text[64];
    swprintf(text, 64, TEXT("%ld,%ld,%ld,%ld (%ldx%ld)"), (long)r.left, (long)r.top, (long)r.right,
             (long)r.bottom, (long)(r.right - r.left), (long)(r.bottom - r.top));
    Put(sink, key, text);
}

inline int BitsPerPixel(HBITMAP bitmap)
{
    BITMAP info;
    memset(&info, 0, sizeof info);
    GetObjectW(bitmap, sizeof info, &info);
    return info.bmBitsPixel * info.bmPlanes;
}

// One pixel after filling the 16 by 16 destination with `first` (a raster
// operation that ignores the source) and then blitting a source filled with
// `second` onto it with `rop`.
inline COLORREF Combine(HDC reference, DWORD first, DWORD second, DWORD rop)
{
    HDC destination = CreateCompatibleDC(reference);
    HDC source = CreateCompatibleDC(reference);
    HBITMAP destinationBitmap = CreateCompatibleBitmap(reference, 16, 16);
    HBITMAP sourceBitmap = CreateCompatibleBitmap(reference, 16, 16);
    HGDIOBJ oldDestination = SelectObject(destination, destinationBitmap);
    HGDIOBJ oldSource = SelectObject(source, sourceBitmap);
    BitBlt(destination, 0, 0, 16, 16, NULL, 0, 0, first);
    BitBlt(source, 0, 0, 16, 16, NULL, 0, 0, second);
    BitBlt(destination, 0, 0, 16, 16, source, 0, 0, rop);
    COLORREF pixel = GetPixel(destination, 5, 5);
    SelectObject(source, oldSource);
    SelectObject(destination, oldDestination);
    DeleteObject(sourceBitmap);
    DeleteObject(destinationBitmap);
    DeleteDC(source);
    DeleteDC(destination);
    return pixel;
}

inline void RasterOperations(Sink &sink)
{
    HDC screen = GetDC(NULL);
    PutInt(sink, "info.screen.bitsPerPixel", GetDeviceCaps(screen, BITSPIXEL));
    HBITMAP compatible = CreateCompatibleBitmap(screen, 16, 16);
    PutInt(sink, "info.compatibleBitmap.ofScreen.bitsPerPixel", BitsPerPixel(compatible));
    DeleteObject(compatible);

    // A memory context starts with a 1 by 1 monochrome bitmap, and a bitmap
    // made compatible with it is monochrome too.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP fromMemory = CreateCompatibleBitmap(memory, 16, 16);
    PutInt(sink, "agree.compatibleBitmap.ofFreshMemoryDC.bitsPerPixel", BitsPerPixel(fromMemory));
    DeleteObject(fromMemory);
    PutHex(sink, "agree.getPixel.freshMemoryDC.0,0", GetPixel(memory, 0, 0));
    PutHex(sink, "agree.getPixel.freshMemoryDC.1,0", GetPixel(memory, 1, 0));
    DeleteDC(memory);

    const DWORD W = WHITENESS, B = BLACKNESS;
    PutHex(sink, "agree.rop.WHITENESS", Combine(screen, B, W, WHITENESS));
    PutHex(sink, "agree.rop.BLACKNESS", Combine(screen, W, W, BLACKNESS));
    PutHex(sink, "agree.rop.SRCCOPY.whiteOntoBlack", Combine(screen, B, W, SRCCOPY));
    PutHex(sink, "agree.rop.SRCINVERT.whiteOntoBlack", Combine(screen, B, W, SRCINVERT));
    PutHex(sink, "agree.rop.SRCINVERT.blackOntoWhite", Combine(screen, W, B, SRCINVERT));
    PutHex(sink, "agree.rop.SRCINVERT.whiteOntoWhite", Combine(screen, W, W, SRCINVERT));
    PutHex(sink, "agree.rop.SRCINVERT.blackOntoBlack", Combine(screen, B, B, SRCINVERT));

    // The grid brush's colour through PATCOPY, and outside the bitmap.
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP canvasBitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ oldBitmap = SelectObject(canvas, canvasBitmap);
    HBRUSH brush = CreateSolidBrush(0x00E0A0A0);
    HGDIOBJ oldBrush = SelectObject(canvas, brush);
    PatBlt(canvas, 0, 0, 16, 16, PATCOPY);
    PutHex(sink, "agree.rop.PATCOPY.E0A0A0", GetPixel(canvas, 15, 15));
    BitBlt(canvas, 0, 0, 16, 16, canvas, 0, 0, SRCINVERT);
    PutHex(sink, "agree.rop.SRCINVERT.E0A0A0OntoItself", GetPixel(canvas, 3, 3));
    PatBlt(canvas, 0, 0, 16, 16, WHITENESS);
    PutHex(sink, "agree.patBlt.WHITENESS", GetPixel(canvas, 8, 8));
    PutHex(sink, "agree.getPixel.outside.16,0", GetPixel(canvas, 16, 0));
    PutHex(sink, "agree.getPixel.outside.0,16", GetPixel(canvas, 0, 16));
    PutHex(sink, "agree.getPixel.outside.-1,0", GetPixel(canvas, -1, 0));
    PutHex(sink, "agree.getPixel.outside.0,-1", GetPixel(canvas, 0, -1));
    PutHex(sink, "agree.getPixel.inside.15,15", GetPixel(canvas, 15, 15));
    SelectObject(canvas, oldBrush);
    DeleteObject(brush);
    SelectObject(canvas, oldBitmap);
    DeleteObject(canvasBitmap);
    DeleteDC(canvas);
    ReleaseDC(NULL, screen);
}

inline void Icons(Sink &sink, HINSTANCE resources)
{
    HDC screen = GetDC(NULL);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP canvasBitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ oldBitmap = SelectObject(canvas, canvasBitmap);

    struct { int id; const char *sizeKey; const char *drawKey; DWORD background; } probes[] = {
        {IDI_PROBE_A, "info.loadIcon.probeA.size", "agree.drawIcon.probeA.onWhite", WHITENESS},
        {IDI_PROBE_B, "info.loadIcon.probeB.size", "agree.drawIcon.probeB.onBlack", BLACKNESS},
    };
    for (auto &p : probes) {
        HICON icon = LoadIconW(resources, MAKEINTRESOURCEW(p.id));
        ICONINFO info;
        memset(&info, 0, sizeof info);
        WCHAR text[48] = TEXT("no icon");
        if (icon != NULL && GetIconInfo(icon, &info)) {
            BITMAP bitmap;
            memset(&bitmap, 0, sizeof bitmap);
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
            swprintf(text, 48, TEXT("%ldx%ld"), (long)bitmap.bmWidth, (long)bitmap.bmHeight);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
        Put(sink, p.sizeKey, text);
        // Drawn at 16 by 16, as the notification area shows it: every pixel opaque.
        BitBlt(canvas, 0, 0, 16, 16, NULL, 0, 0, p.background);
        DrawIconEx(canvas, 0, 0, icon, 16, 16, 0, NULL, DI_NORMAL);
        COLORREF first = GetPixel(canvas, 0, 0);
        int same = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++)
                same += GetPixel(canvas, x, y) == first;
        swprintf(text, 48, TEXT("%08lX x %d"), (unsigned long)first, same);
        Put(sink, p.drawKey, text);
    }

    // CreateIconIndirect copies the bitmaps: painting the colour bitmap
    // afterwards leaves the icon as it was.
    HBITMAP color = CreateCompatibleBitmap(screen, 16, 16);
    HBITMAP mask = CreateCompatibleBitmap(screen, 16, 16);
    HDC paint = CreateCompatibleDC(screen);
    HGDIOBJ oldPaint = SelectObject(paint, color);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, WHITENESS);
    SelectObject(paint, mask);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    SelectObject(paint, oldPaint);
    ICONINFO made;
    memset(&made, 0, sizeof made);
    made.fIcon = TRUE;
    made.xHotspot = 8;
    made.yHotspot = 8;
    made.hbmMask = mask;
    made.hbmColor = color;
    HICON icon = CreateIconIndirect(&made);
    oldPaint = SelectObject(paint, color);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    SelectObject(paint, oldPaint);
    BitBlt(canvas, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    DrawIconEx(canvas, 0, 0, icon, 16, 16, 0, NULL, DI_NORMAL);
    PutHex(sink, "agree.createIconIndirect.drawnAfterBitmapChanged", GetPixel(canvas, 8, 8));
    DestroyIcon(icon);

    // The mini graph's mix: a row through PATCOPY with the grid brush, the
    // rest through WHITENESS, under an all-black (opaque) mask, drawn on black.
    // The desktop's WHITENESS also sets the fourth byte of 32-bit pixels, and
    // an icon with any such byte set is drawn by per-pixel alpha: the PATCOPY
    // row vanishes. The device has no alpha icons, so this differs by design.
    HBRUSH grid = CreateSolidBrush(0x00E0A0A0);
    oldPaint = SelectObject(paint, color);
    HGDIOBJ oldBrush = SelectObject(paint, grid);
    PatBlt(paint, 0, 0, 16, 16, WHITENESS);
    PatBlt(paint, 0, 0, 16, 1, PATCOPY);
    SelectObject(paint, oldBrush);
    SelectObject(paint, oldPaint);
    DeleteObject(grid);
    icon = CreateIconIndirect(&made);
    BitBlt(canvas, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    DrawIconEx(canvas, 0, 0, icon, 16, 16, 0, NULL, DI_NORMAL);
    PutHex(sink, "info.createIconIndirect.mixedFill.patcopyRow", GetPixel(canvas, 0, 0));
    PutHex(sink, "info.createIconIndirect.mixedFill.whitenessRow", GetPixel(canvas, 0, 8));
    DestroyIcon(icon);

    // What the colour bitmap holds in its fourth byte after each fill.
    if (BitsPerPixel(color) == 32) {
        BITMAPINFO format;
        memset(&format, 0, sizeof format);
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = 16;
        format.bmiHeader.biHeight = -16;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        DWORD bits[256];
        memset(bits, 0xAA, sizeof bits);
        GetDIBits(screen, color, 0, 16, bits, &format, DIB_RGB_COLORS);
        PutHex(sink, "info.bits32.afterPATCOPY", bits[0]);
        PutHex(sink, "info.bits32.afterWHITENESS", bits[8 * 16]);
    }
    DeleteDC(paint);
    DeleteObject(color);
    DeleteObject(mask);

    SelectObject(canvas, oldBitmap);
    DeleteObject(canvasBitmap);
    DeleteDC(canvas);
    ReleaseDC(NULL, screen);
}

inline INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG; // stays hidden: the templates aren't visible
}

struct ControlWalk {
    Sink *sink;
    HWND dialog;
    const char *prefix;
    int index;
};

inline BOOL CALLBACK DescribeControl(HWND control, LPARAM parameter)
{
    ControlWalk *walk = (ControlWalk *)parameter;
    if (GetParent(control) != walk->dialog)
        return TRUE;
    RECT r;
    GetWindowRect(control, &r);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ScreenToClient(walk->dialog, &corners[0]);
    ScreenToClient(walk->dialog, &corners[1]);
    WCHAR className[64] = TEXT("");
    GetClassNameW(control, className, 64);
    WCHAR text[160];
    swprintf(text, 160, TEXT("id %d %ls %ld,%ld,%ld,%ld (%ldx%ld)"), GetDlgCtrlID(control), className,
             (long)corners[0].x, (long)corners[0].y, (long)corners[1].x, (long)corners[1].y,
             (long)(corners[1].x - corners[0].x), (long)(corners[1].y - corners[0].y));
    char key[64];
    snprintf(key, sizeof key, "%s.control%d", walk->prefix, walk->index++);
    Put(*walk->sink, key, text);
    return TRUE;
}

inline HWND CreateFromTemplate(HINSTANCE resources, int id)
{
    HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (found == NULL)
        return NULL;
    HGLOBAL loaded = LoadResource(resources, found);
    return CreateDialogIndirectParamW(resources, (LPCDLGTEMPLATEW)LockResource(loaded), NULL, QuietDialogProc, 0);
}

inline void Dialogs(Sink &sink, HINSTANCE resources)
{
    InitCommonControls();
    struct { int id; const char *prefix; } templates[] = {
        {IDD_MAIN, "agree.IDD_MAIN"},
        {IDD_THREADS, "agree.IDD_THREADS"},
    };
    for (auto &t : templates) {
        char key[64];
        HWND dialog = CreateFromTemplate(resources, t.id);
        snprintf(key, sizeof key, "%s.created", t.prefix);
        PutInt(sink, key, dialog != NULL);
        if (dialog == NULL)
            continue;
        RECT units = {0, 0, 4, 8};
        MapDialogRect(dialog, &units);
        snprintf(key, sizeof key, "%s.baseUnits", t.prefix);
        WCHAR text[48];
        swprintf(text, 48, TEXT("%ld,%ld"), (long)units.right, (long)units.bottom);
        Put(sink, key, text);
        RECT client;
        GetClientRect(dialog, &client);
        snprintf(key, sizeof key, "%s.client", t.prefix);
        PutRect(sink, key, client);
        RECT window;
        GetWindowRect(dialog, &window);
        snprintf(key, sizeof key, "info.%s.window", t.prefix + 6);
        PutRect(sink, key, window);
        snprintf(key, sizeof key, "%s.visible", t.prefix);
        PutInt(sink, key, IsWindowVisible(dialog) ? 1 : 0);
        ControlWalk walk = {&sink, dialog, t.prefix, 0};
        EnumChildWindows(dialog, DescribeControl, (LPARAM)&walk);

        if (t.id == IDD_MAIN) {
            // A bitmap static takes the size of the bitmap it is given,
            // keeping its top-left corner.
            HDC screen = GetDC(NULL);
            HBITMAP graph = CreateCompatibleBitmap(screen, 200, 40);
            ReleaseDC(NULL, screen);
            SendDlgItemMessageW(dialog, IDC_GRAPH, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)graph);
            walk.prefix = "agree.IDD_MAIN.withGraphBitmap";
            walk.index = 0;
            EnumChildWindows(dialog, DescribeControl, (LPARAM)&walk);
            DestroyWindow(dialog);
            DeleteObject(graph);
        } else {
            DestroyWindow(dialog);
        }
    }
}

inline void Formatting(Sink &sink)
{
    // The Thread Times list: tenths in single precision times 0.1.
    DWORD tenths[] = {0, 123, 123456, 4294967295u};
    const char *keys[] = {"agree.format.time.0", "agree.format.time.123", "agree.format.time.123456",
                          "agree.format.time.4294967295"};
    for (int i = 0; i < 4; i++) {
        WCHAR text[32];
        float seconds = (float)tenths[i] * 0.1f;
        swprintf(text, 32, TEXT("%4.1f"), seconds);
        Put(sink, keys[i], text);
    }
    WCHAR text[64];
    swprintf(text, 64, TEXT("[%ls][%d][%5d][%-3d]"), TEXT("a%sb%n"), -7, 42, 5);
    Put(sink, "agree.format.wideAndNumbers", text);
    WCHAR small[8];
    int result = swprintf(small, 8, TEXT("%ls"), TEXT("0123456789"));
    swprintf(text, 64, TEXT("result %d, %d units kept"), result, (int)wcslen(small));
    Put(sink, "info.format.overflow", text);
}

inline void System(Sink &sink)
{
    struct { int index; const char *key; } metrics[] = {
        {SM_CXSCREEN, "info.metrics.SM_CXSCREEN"}, {SM_CYSCREEN, "info.metrics.SM_CYSCREEN"},
        {SM_CXICON, "info.metrics.SM_CXICON"}, {SM_CXSMICON, "info.metrics.SM_CXSMICON"},
        {SM_CYCAPTION, "info.metrics.SM_CYCAPTION"}, {SM_CXDLGFRAME, "info.metrics.SM_CXDLGFRAME"},
        {SM_CYDLGFRAME, "info.metrics.SM_CYDLGFRAME"}, {SM_CXVSCROLL, "info.metrics.SM_CXVSCROLL"},
    };
    for (auto &m : metrics)
        PutInt(sink, m.key, GetSystemMetrics(m.index));
    struct { int index; const char *key; } colors[] = {
        {COLOR_BTNFACE, "info.color.COLOR_BTNFACE"}, {COLOR_BTNTEXT, "info.color.COLOR_BTNTEXT"},
        {COLOR_WINDOW, "info.color.COLOR_WINDOW"}, {COLOR_WINDOWTEXT, "info.color.COLOR_WINDOWTEXT"},
        {COLOR_GRAYTEXT, "info.color.COLOR_GRAYTEXT"}, {COLOR_ACTIVECAPTION, "info.color.COLOR_ACTIVECAPTION"},
        {COLOR_CAPTIONTEXT, "info.color.COLOR_CAPTIONTEXT"}, {COLOR_HIGHLIGHT, "info.color.COLOR_HIGHLIGHT"},
        {COLOR_BTNSHADOW, "info.color.COLOR_BTNSHADOW"}, {COLOR_BTNHIGHLIGHT, "info.color.COLOR_BTNHIGHLIGHT"},
    };
    for (auto &c : colors)
        PutHex(sink, c.key, GetSysColor(c.index));
}

} // namespace probe

inline void RunPlatformProbe(HINSTANCE resources, ProbeEmit emit, void *context)
{
    probe::Sink sink = {emit, context};
    probe::RasterOperations(sink);
    probe::Icons(sink, resources);
    probe::Dialogs(sink, resources);
    probe::Formatting(sink);
    probe::System(sink);
}
