// Shared by the tests of the device's programs: a fresh device on the manual
// clock with the programs registered, the test's own thread adopted as a
// program of the device, and icons with a known picture in every pixel.
#pragma once

#include "platform/programs/programs.h"

#include <gtest/gtest.h>

#include <vector>

namespace programs_test {

// Colour of pixel (x, y) of pattern icon `seed`: never black, white or the
// taskbar's grey, and different in every pixel.
inline COLORREF PatternColor(int seed, int x, int y) {
    return RGB((seed * 37 + x * 13 + 7) & 0xFF, (y * 15 + 3) & 0xFF, (200 - x * 5 + seed * 11) & 0xFF);
}

// The pattern as a 16 by 16 32-bit colour bitmap and an all-opaque mask.
inline void PatternBitmaps(int seed, HBITMAP *color, HBITMAP *mask) {
    uint32_t bits[16 * 16];
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            COLORREF c = PatternColor(seed, x, y);
            bits[y * 16 + x] = (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
        }
    uint8_t maskBits[16 * 2] = {0};
    *color = CreateBitmap(16, 16, 1, 32, bits);
    *mask = CreateBitmap(16, 16, 1, 1, maskBits);
}

inline HICON MakePatternIcon(int seed) {
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.xHotspot = info.yHotspot = 8;
    PatternBitmaps(seed, &info.hbmColor, &info.hbmMask);
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

// The first pixel of the 16 by 16 square at (left, top) that differs from
// the pattern, as "x,y got G want W"; empty when all 256 match.
inline std::string PatternMismatch(HDC dc, int left, int top, int seed) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            COLORREF got = GetPixel(dc, left + x, top + y), want = PatternColor(seed, x, y);
            if (got != want) {
                char text[80];
                snprintf(text, sizeof text, "%d,%d got %06X want %06X", x, y, (unsigned)got, (unsigned)want);
                return text;
            }
        }
    return "";
}

// The same in a window's client area.
inline std::string PatternMismatch(HWND window, int left, int top, int seed) {
    HDC dc = GetDC(window);
    std::string mismatch = PatternMismatch(dc, left, top, seed);
    ReleaseDC(window, dc);
    return mismatch;
}

// All pixels of a window's client area, row by row.
inline std::vector<COLORREF> ClientPixels(HWND window, int *width, int *height) {
    RECT rc;
    GetClientRect(window, &rc);
    *width = rc.right;
    *height = rc.bottom;
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(window);
    for (int y = 0; y < rc.bottom; ++y)
        for (int x = 0; x < rc.right; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(window, dc);
    return pixels;
}

// A visible dialog titled "Performance Monitor" from a standard template with
// no items, as the emulator's stand-ins for the monitor open.
inline HWND CreateMonitorStandIn(HINSTANCE instance, DLGPROC proc) {
    alignas(4) WORD templ[64] = {0};
    DLGTEMPLATE *header = (DLGTEMPLATE *)templ;
    header->style = WS_POPUP | WS_VISIBLE;
    header->cx = 160;
    header->cy = 100;
    WORD *tail = templ + sizeof(DLGTEMPLATE) / 2 + 2; // no menu, the default class
    for (const WCHAR *t = u"Performance Monitor"; *t; ++t)
        *tail++ = *t;
    return CreateDialogIndirectParamW(instance, (LPCDLGTEMPLATEW)templ, nullptr, proc, 0);
}

// A fresh device on the manual clock; the test's thread is a program of it.
class DeviceTest : public ::testing::Test {
protected:
    static void ResetManual() {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
    }
    void SetUp() override {
        ResetManual();
        dev::RegisterDevicePrograms();
        dev::AdoptCurrentThread();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"ProgramsTestWindow";
        RegisterClassW(&wc);
    }
    void TearDown() override {
        dev::ReleaseCurrentThread();
        ResetManual();
    }
    // A hidden top-level window of the test's own.
    HWND NewWindow() {
        return CreateWindowExW(0, u"ProgramsTestWindow", u"test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    }
    // Press and lift the stylus at a screen point and let the device act on it.
    void TapAt(int x, int y) {
        dev::Tap(x, y, true);
        dev::Tap(x, y, false);
        dev::Settle();
    }
    void TapCentre(const RECT &r) { TapAt((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
    // The posted messages waiting for a window in a range, removed.
    std::vector<MSG> Drain(HWND window, UINT first, UINT last) {
        std::vector<MSG> list;
        MSG msg;
        while (PeekMessageW(&msg, window, first, last, PM_REMOVE))
            list.push_back(msg);
        return list;
    }
};

} // namespace programs_test
