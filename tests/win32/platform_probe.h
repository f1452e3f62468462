// Platform answers the monitor depends on, asked alike under Wine (by
// platformprobe.exe) and on the emulated device (probe_agreement_test.cpp),
// with the monitor's resources: every "agree." key must read the same.
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

inline void PutHex(Sink &sink, const char *key, DWORD value)
{
    WCHAR text[16];
    swprintf(text, 16, TEXT("%08lX"), (unsigned long)value);
    sink.emit(sink.context, key, text);
}

// One pixel after filling a 16 by 16 destination with `first`, then blitting
// a source filled with `second` onto it with `rop`.
inline COLORREF Combine(HDC reference, DWORD first, DWORD second, DWORD rop)
{
    HDC dc[2] = {CreateCompatibleDC(reference), CreateCompatibleDC(reference)};
    HBITMAP bitmap[2] = {CreateCompatibleBitmap(reference, 16, 16), CreateCompatibleBitmap(reference, 16, 16)};
    HGDIOBJ old[2] = {SelectObject(dc[0], bitmap[0]), SelectObject(dc[1], bitmap[1])};
    BitBlt(dc[0], 0, 0, 16, 16, NULL, 0, 0, first);
    BitBlt(dc[1], 0, 0, 16, 16, NULL, 0, 0, second);
    BitBlt(dc[0], 0, 0, 16, 16, dc[1], 0, 0, rop);
    COLORREF pixel = GetPixel(dc[0], 5, 5);
    for (int i = 0; i < 2; i++) {
        SelectObject(dc[i], old[i]);
        DeleteObject(bitmap[i]);
        DeleteDC(dc[i]);
    }
    return pixel;
}

// `canvas` holds a 16 by 16 bitmap compatible with the screen.
inline void RasterOperations(Sink &sink, HDC screen, HDC canvas)
{
    // A fresh memory context holds a 1 by 1 monochrome bitmap, and a bitmap
    // made compatible with it is monochrome too.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP fromMemory = CreateCompatibleBitmap(memory, 16, 16);
    BITMAP info;
    memset(&info, 0xAA, sizeof info);
    GetObjectW(fromMemory, sizeof info, &info);
    PutHex(sink, "agree.compatibleBitmap.ofFreshMemoryDC.bitsPerPixel", info.bmBitsPixel * info.bmPlanes);
    DeleteObject(fromMemory);
    PutHex(sink, "agree.getPixel.freshMemoryDC.0,0", GetPixel(memory, 0, 0));
    PutHex(sink, "agree.getPixel.freshMemoryDC.1,0", GetPixel(memory, 1, 0)); // outside its 1 by 1 bitmap
    DeleteDC(memory);

    const DWORD W = WHITENESS, B = BLACKNESS;
    struct {
        const char *key;
        DWORD first, second, rop;
    } rops[] = {
        {"agree.rop.WHITENESS", B, W, WHITENESS},
        {"agree.rop.BLACKNESS", W, W, BLACKNESS},
        {"agree.rop.SRCCOPY.whiteOntoBlack", B, W, SRCCOPY},
        {"agree.rop.SRCINVERT.whiteOntoBlack", B, W, SRCINVERT},
        {"agree.rop.SRCINVERT.whiteOntoWhite", W, W, SRCINVERT},
    };
    for (auto &r : rops)
        PutHex(sink, r.key, Combine(screen, r.first, r.second, r.rop));

    // The grid brush's colour through PATCOPY, and GetPixel just outside.
    HBRUSH brush = CreateSolidBrush(0x00E0A0A0);
    HGDIOBJ oldBrush = SelectObject(canvas, brush);
    PatBlt(canvas, 0, 0, 16, 16, PATCOPY);
    PutHex(sink, "agree.rop.PATCOPY.E0A0A0", GetPixel(canvas, 15, 15));
    BitBlt(canvas, 0, 0, 16, 16, canvas, 0, 0, SRCINVERT);
    PutHex(sink, "agree.rop.SRCINVERT.E0A0A0OntoItself", GetPixel(canvas, 3, 3));
    PatBlt(canvas, 0, 0, 16, 16, WHITENESS);
    struct {
        const char *key;
        int x, y;
    } pixels[] = {
        {"agree.getPixel.inside.15,15", 15, 15}, {"agree.getPixel.outside.16,0", 16, 0},
        {"agree.getPixel.outside.0,16", 0, 16},  {"agree.getPixel.outside.-1,0", -1, 0},
        {"agree.getPixel.outside.0,-1", 0, -1},
    };
    for (auto &p : pixels)
        PutHex(sink, p.key, GetPixel(canvas, p.x, p.y));
    SelectObject(canvas, oldBrush);
    DeleteObject(brush);
}

inline void Icons(Sink &sink, HDC screen, HDC canvas, HINSTANCE resources)
{
    // Drawn at 16 by 16, as the notification area shows them: every pixel opaque.
    struct {
        int id;
        const char *key;
        DWORD background;
    } probes[] = {
        {IDI_PROBE_A, "agree.drawIcon.probeA.onWhite", WHITENESS},
        {IDI_PROBE_B, "agree.drawIcon.probeB.onBlack", BLACKNESS},
    };
    for (auto &p : probes) {
        BitBlt(canvas, 0, 0, 16, 16, NULL, 0, 0, p.background);
        DrawIconEx(canvas, 0, 0, LoadIconW(resources, MAKEINTRESOURCEW(p.id)), 16, 16, 0, NULL, DI_NORMAL);
        COLORREF first = GetPixel(canvas, 0, 0);
        int same = 0;
        for (int i = 0; i < 256; i++)
            same += GetPixel(canvas, i % 16, i / 16) == first;
        WCHAR text[48];
        swprintf(text, 48, TEXT("%08lX x %d"), (unsigned long)first, same);
        sink.emit(sink.context, p.key, text);
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
    ICONINFO made = {TRUE, 8, 8, mask, color};
    HICON icon = CreateIconIndirect(&made);
    oldPaint = SelectObject(paint, color);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    SelectObject(paint, oldPaint);
    BitBlt(canvas, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    DrawIconEx(canvas, 0, 0, icon, 16, 16, 0, NULL, DI_NORMAL);
    PutHex(sink, "agree.createIconIndirect.drawnAfterBitmapChanged", GetPixel(canvas, 8, 8));
    DestroyIcon(icon);
    DeleteDC(paint);
    DeleteObject(color), DeleteObject(mask);
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

inline void PutRect(Sink &sink, const char *key, const WCHAR *lead, const RECT &r)
{
    WCHAR text[160];
    swprintf(text, 160, TEXT("%ls%ld,%ld,%ld,%ld (%ldx%ld)"), lead, (long)r.left, (long)r.top, (long)r.right,
             (long)r.bottom, (long)(r.right - r.left), (long)(r.bottom - r.top));
    sink.emit(sink.context, key, text);
}

inline BOOL CALLBACK DescribeControl(HWND control, LPARAM parameter)
{
    ControlWalk *walk = (ControlWalk *)parameter;
    if (GetParent(control) != walk->dialog) return TRUE;
    RECT r;
    GetWindowRect(control, &r);
    ScreenToClient(walk->dialog, (POINT *)&r.left);
    ScreenToClient(walk->dialog, (POINT *)&r.right);
    WCHAR className[64] = TEXT(""), lead[96];
    GetClassNameW(control, className, 64);
    swprintf(lead, 96, TEXT("id %d %ls "), GetDlgCtrlID(control), className);
    char key[64];
    snprintf(key, sizeof key, "%s.control%d", walk->prefix, walk->index++);
    PutRect(*walk->sink, key, lead, r);
    return TRUE;
}

// Whether the largest figures the dialog promises, 99,999,999,999,999 bytes,
// fit the figures field in the dialog's own font: each platform measures
// with its own font, and both must say they fit.
inline void WidestFigures(Sink &sink, HWND dialog)
{
    static const WCHAR widest[] = TEXT("99,999,999,999,999");
    HWND field = GetDlgItem(dialog, IDC_MEMORY_TEXT);
    HDC dc = GetDC(field);
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageW(field, WM_GETFONT, 0, 0));
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, widest, (int)wcslen(widest), &extent);
    SelectObject(dc, old);
    ReleaseDC(field, dc);
    RECT client;
    GetClientRect(field, &client);
    sink.emit(sink.context, "agree.IDD_MAIN.widestFiguresFit",
              extent.cx > 0 && extent.cx <= client.right && 2 * extent.cy <= client.bottom ? TEXT("yes") : TEXT("no"));
    WCHAR text[64];
    swprintf(text, 64, TEXT("%ldx%ld in %ldx%ld"), (long)extent.cx, (long)(2 * extent.cy), (long)client.right,
             (long)client.bottom);
    sink.emit(sink.context, "info.IDD_MAIN.widestFigures", text);
}

inline void Dialogs(Sink &sink, HDC screen, HINSTANCE resources)
{
    InitCommonControls();
    struct {
        int id;
        const char *prefix;
    } templates[] = {
        {IDD_MAIN, "agree.IDD_MAIN"},
        {IDD_THREADS, "agree.IDD_THREADS"},
    };
    for (auto &t : templates) {
        char key[64];
        auto named = [&](const char *part) { return snprintf(key, sizeof key, "%s.%s", t.prefix, part), key; };
        HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(t.id), RT_DIALOG);
        HWND dialog =
            found == NULL
                ? NULL
                : CreateDialogIndirectParamW(resources, (LPCDLGTEMPLATEW)LockResource(LoadResource(resources, found)),
                                             NULL, QuietDialogProc, 0);
        PutHex(sink, named("created"), dialog != NULL);
        if (dialog == NULL) continue;
        RECT units = {0, 0, 4, 8};
        MapDialogRect(dialog, &units);
        PutRect(sink, named("baseUnits"), TEXT(""), units);
        GetClientRect(dialog, &units);
        PutRect(sink, named("client"), TEXT(""), units);
        PutHex(sink, named("visible"), IsWindowVisible(dialog) ? 1 : 0);
        ControlWalk walk = {&sink, dialog, t.prefix, 0};
        EnumChildWindows(dialog, DescribeControl, (LPARAM)&walk);

        // A bitmap static takes the size of its bitmap, keeping its top-left corner.
        HBITMAP graph = t.id == IDD_MAIN ? CreateCompatibleBitmap(screen, 200, 40) : NULL;
        if (graph != NULL) {
            WidestFigures(sink, dialog);
            SendDlgItemMessageW(dialog, IDC_GRAPH, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)graph);
            walk = {&sink, dialog, "agree.IDD_MAIN.withGraphBitmap", 0};
            EnumChildWindows(dialog, DescribeControl, (LPARAM)&walk);
        }
        DestroyWindow(dialog);
        if (graph != NULL) DeleteObject(graph);
    }
}

inline void Formatting(Sink &sink)
{
    // The Thread Times list: tenths in single precision times 0.1.
    WCHAR text[64];
    swprintf(text, 64, TEXT("[%4.1f][%4.1f][%4.1f]"), (float)0u * 0.1f, (float)123u * 0.1f, (float)4294967295u * 0.1f);
    sink.emit(sink.context, "agree.format.time", text);
    swprintf(text, 64, TEXT("[%ls][%d][%5d][%-3d]"), TEXT("a%sb%n"), -7, 42, 5);
    sink.emit(sink.context, "agree.format.wideAndNumbers", text);
}

} // namespace probe

inline void RunPlatformProbe(HINSTANCE resources, ProbeEmit emit, void *context)
{
    probe::Sink sink = {emit, context};
    HDC screen = GetDC(NULL), canvas = CreateCompatibleDC(screen);
    HBITMAP canvasBitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ oldBitmap = SelectObject(canvas, canvasBitmap);
    probe::RasterOperations(sink, screen, canvas);
    probe::Icons(sink, screen, canvas, resources);
    SelectObject(canvas, oldBitmap);
    DeleteObject(canvasBitmap);
    DeleteDC(canvas);
    probe::Dialogs(sink, screen, resources);
    probe::Formatting(sink);
    ReleaseDC(NULL, screen);
}
