// The largest figures the dialog promises to show, 99,999,999,999,999 bytes
// of program memory and of storage, drawn whole: the last digit of each line
// is on the screen, not cut off at the edge of the figures field.

#include "app/resource.h"
#include "memory/memory_readout.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

namespace {

class MemoryFiguresFit : public support::DeviceTest {};

TEST_F(MemoryFiguresFit, FourteenDigitFiguresShowTheirLastDigit)
{
    ASSERT_NO_FATAL_FAILURE(Boot());
    ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
    HWND dialog = CreateMonitorDialog();
    ASSERT_NE(dialog, nullptr);
    const uint64_t largest = 99999999999999ull;
    dev::SetMemorySource([largest] { return dev::MemoryFigures{largest + 5, 5}; });
    dev::SetDiskSource([largest] { return dev::DiskFigures{true, 7, largest + 7, 7}; });
    UpdateMemoryText(dialog);
    Pump();

    const WCHAR line[] = u"99,999,999,999,999";
    WCHAR shown[64];
    GetDlgItemTextW(dialog, IDC_MEMORY_TEXT, shown, 64);
    ASSERT_EQ(support::Narrow(shown), "99,999,999,999,999\\r\\n99,999,999,999,999");

    HWND field = GetDlgItem(dialog, IDC_MEMORY_TEXT);
    HDC dc = GetDC(field);
    HGDIOBJ oldFont = SelectObject(dc, (HFONT)SendMessageW(field, WM_GETFONT, 0, 0));
    SIZE extent;
    GetTextExtentPoint32W(dc, line, (int)(sizeof line / sizeof line[0]) - 1, &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(field, dc);
    RECT box;
    GetWindowRect(field, &box);
    EXPECT_LE(extent.cx, box.right - box.left) << "the field is narrower than one figure";

    // The rightmost pixel of each line that is not the dialog's face: where
    // a cut figure ends short of its full width.
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    uint32_t background = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);
    for (int row = 0; row < 2; row++) {
        int rightmost = -1;
        for (int y = box.top + row * extent.cy; y < box.top + (row + 1) * extent.cy && y < box.bottom; y++)
            for (int x = box.left; x < box.right; x++)
                if (ScreenPixel(x, y) != background && x > rightmost) rightmost = x;
        // a glyph keeps at most a couple of blank columns at its right
        EXPECT_GE(rightmost, box.left + extent.cx - 3) << "line " << row << " of " << extent.cx << " pixels";
    }
}

} // namespace
