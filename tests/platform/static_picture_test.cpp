// A bitmap static centred in a control larger than its picture: the picture
// in the middle and the control's background all around it, with nothing
// left over from what was on the screen before.
#include "platform/host/dialog_internal.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

using Template = dev::TemplateWriter;

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

class CentredPicture : public support::DeviceTest {};

TEST_F(CentredPicture, BackgroundFillsAroundThePicture)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SETFONT;
    Template t(style, 0, 0, 120, 90, u"Picture");
    t.Item(WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, 10, 10, 60, 50, 7, 0x82, u"");
    HWND dialog = CreateDialogIndirectParamW(monitorState.instance, t.Get(), nullptr, QuietProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND control = GetDlgItem(dialog, 7);
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(control, &rect);
    ASSERT_GT(rect.right - rect.left, 20);
    ASSERT_GT(rect.bottom - rect.top, 20);

    // Something unlike the background on the screen where the control is.
    HDC screen = GetDC(nullptr);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(screen, &rect, blue);
    ReleaseDC(nullptr, screen);
    DeleteObject(blue);

    HDC dc = GetDC(control);
    HBITMAP picture = CreateCompatibleBitmap(dc, 8, 6);
    ReleaseDC(control, dc);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, picture);
    RECT all = {0, 0, 8, 6};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(memory, &all, red);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(red);
    SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)picture);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
    Pump();

    COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t background = (uint32_t)GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int left = rect.left + (width - 8) / 2, top = rect.top + (height - 6) / 2;
    for (int y = rect.top; y < rect.bottom; y++)
        for (int x = rect.left; x < rect.right; x++) {
            bool inside = x >= left && x < left + 8 && y >= top && y < top + 6;
            uint32_t want = inside ? 0xFF0000u : background;
            ASSERT_EQ(ScreenPixel(x, y), want) << "at " << x - rect.left << "," << y - rect.top;
        }
    DestroyWindow(dialog);
    DeleteObject(picture);
}

} // namespace
