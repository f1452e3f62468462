// A fresh device with the programs registered, the test's thread adopted,
// and icons with a distinct colour in every pixel.
#pragma once

#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"
#include "platform/programs/emulator.h"
#include "platform/host/dialog_internal.h"

#include <gtest/gtest.h>

#include <vector>

namespace programs_test {

// Pixel (x, y) of pattern `seed`: never black, white or grey, unique per pixel.
inline COLORREF PatternColor(int seed, int x, int y)
{
    return RGB((seed * 37 + x * 13 + 7) & 0xFF, (y * 15 + 3) & 0xFF, (200 - x * 5 + seed * 11) & 0xFF);
}

// The pattern as an icon, every pixel opaque.
inline HICON MakePatternIcon(int seed)
{
    uint32_t bits[16 * 16];
    for (int i = 0; i < 256; ++i) {
        COLORREF c = PatternColor(seed, i % 16, i / 16);
        bits[i] = (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
    }
    uint8_t maskBits[16 * 2] = {0};
    ICONINFO info = {TRUE, 8, 8, CreateBitmap(16, 16, 1, 1, maskBits), CreateBitmap(16, 16, 1, 32, bits)};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

// The first pixel of the 16 by 16 square at (left, top) of a window's client
// area that differs from the pattern, as "x,y got G want W"; empty when all match.
inline std::string PatternMismatch(HWND window, int left, int top, int seed)
{
    std::string mismatch;
    HDC dc = GetDC(window);
    for (int i = 0; i < 256 && mismatch.empty(); ++i) {
        COLORREF got = GetPixel(dc, left + i % 16, top + i / 16), want = PatternColor(seed, i % 16, i / 16);
        if (got != want)
            mismatch = std::to_string(i % 16) + "," + std::to_string(i / 16) + " got " + std::to_string(got) +
                       " want " + std::to_string(want);
    }
    ReleaseDC(window, dc);
    return mismatch;
}

// All pixels of a window's client area, row by row.
inline std::vector<COLORREF> ClientPixels(HWND window, int *width, int *height)
{
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
inline HWND CreateMonitorStandIn(HINSTANCE instance, DLGPROC proc)
{
    dev::TemplateWriter templ(WS_POPUP | WS_VISIBLE, 0, 0, 160, 100, u"Performance Monitor");
    return CreateDialogIndirectParamW(instance, templ.Get(), nullptr, proc, 0);
}

inline void ResetManual()
{
    dev::Config config;
    config.manualClock = true;
    dev::ResetDevice(config);
}

// A fresh device on the manual clock; the test's thread is a program of it.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetManual();
        dev::RegisterDevicePrograms();
        dev::AdoptCurrentThread();
        WNDCLASSW wc = {0, DefWindowProcW, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"ProgramsTestWindow"};
        RegisterClassW(&wc);
    }
    void TearDown() override
    {
        dev::ReleaseCurrentThread();
        ResetManual();
    }
    // A hidden top-level window of the test's own.
    HWND NewWindow()
    {
        return CreateWindowExW(0, u"ProgramsTestWindow", u"test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
    }
};

} // namespace programs_test
