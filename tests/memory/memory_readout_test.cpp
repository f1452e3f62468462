// Digit grouping, and the two-line memory text as the main dialog shows it
// from fixed memory and storage figures, up to 99,999,999,999,999 bytes.

#include "app/resource.h"
#include "memory/memory_readout.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using support::Narrow;

namespace {

TEST(GroupDigits, InsertsCommasInPlaceWithinTheRoomItNeeds)
{
    // Each grouped text, and as input the same digits without the commas.
    for (std::u16string expected : {u"", u"0", u"42", u"999", u"1,000", u"123,456", u"1,234,567", u"2,147,483,647",
                                    u"5,368,709,120", u"18,446,744,073,709,551,615"}) {
        std::u16string digits = expected;
        digits.erase(std::remove(digits.begin(), digits.end(), u','), digits.end());
        // exactly the room the routine may use, then poison it must not touch
        WCHAR buffer[64];
        std::fill(buffer, buffer + 64, 0xAAAA);
        std::char_traits<char16_t>::copy(buffer, digits.c_str(), digits.size() + 1);
        EXPECT_EQ(GroupDigits(buffer), 1);
        EXPECT_EQ(Narrow(buffer), Narrow(expected));
        for (size_t i = expected.size() + 1; i < 64; i++)
            ASSERT_EQ(buffer[i], 0xAAAA) << "wrote past the room it needs, at " << i << " for " << Narrow(digits);
    }
}

struct Figures {
    const char *name;
    uint64_t totalPhys, availPhys;
    bool diskOk;
    uint64_t diskTotal, diskFree;
    const char *text;
};

class MemoryText : public support::DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Boot());
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        dialog = CreateMonitorDialog();
        ASSERT_NE(dialog, nullptr);
    }

    void Use(const Figures &f)
    {
        uint64_t total = f.totalPhys, avail = f.availPhys;
        dev::SetMemorySource([total, avail] { return dev::MemoryFigures{total, avail}; });
        bool ok = f.diskOk;
        uint64_t diskTotal = f.diskTotal, diskFree = f.diskFree;
        dev::SetDiskSource([ok, diskTotal, diskFree] { return dev::DiskFigures{ok, diskFree, diskTotal, diskFree}; });
    }

    std::string Shown()
    {
        WCHAR text[128];
        GetDlgItemTextW(dialog, IDC_MEMORY_TEXT, text, 128);
        return Narrow(text);
    }

    HWND dialog = nullptr;
};

const uint64_t MiB = 1ull << 20, GiB = 1ull << 30;

TEST_F(MemoryText, ProgramMemoryFirstThenStorage)
{
    const Figures cases[] = {
        {"the fixed device", 64 * MiB, 52 * MiB, true, 32 * MiB, 29 * MiB, "12,582,912\\r\\n3,145,728"},
        {"nothing in use", 64 * MiB, 64 * MiB, true, 32 * MiB, 32 * MiB, "0\\r\\n0"},
        {"small figures", 1000, 1, true, 999, 0, "999\\r\\n999"},
        {"just below 2^31", 4 * GiB, 4 * GiB - 2147483647ull, true, 2 * GiB, 1, "2,147,483,647\\r\\n2,147,483,647"},
        {"exactly 2^31", 4 * GiB, 2 * GiB, true, 2 * GiB, 0, "2,147,483,648\\r\\n2,147,483,648"},
        {"5 GiB in use", 8 * GiB, 3 * GiB, true, 64 * GiB, 4 * GiB, "5,368,709,120\\r\\n64,424,509,440"},
        {"storage query fails", 64 * MiB, 52 * MiB, false, 32 * MiB, 29 * MiB, "12,582,912\\r\\n0"},
    };
    for (const Figures &f : cases) {
        Use(f);
        SetDlgItemTextW(dialog, IDC_MEMORY_TEXT, u"\xAAAA poison");
        EXPECT_EQ(UpdateMemoryText(dialog), 1);
        EXPECT_EQ(Shown(), f.text) << f.name;
    }
}

TEST_F(MemoryText, RefreshedEverySecondShownOrHidden)
{
    Figures first = {"", 64 * MiB, 60 * MiB, true, 32 * MiB, 31 * MiB, "4,194,304\\r\\n1,048,576"};
    Use(first);
    Advance(1000);
    EXPECT_EQ(Shown(), first.text);

    SendMessageW(dialog, WM_COMMAND, IDC_HIDE, 0);
    Pump();
    ASSERT_FALSE(IsWindowVisible(dialog));
    Figures second = {"", 64 * MiB, 32 * MiB, true, 32 * MiB, 16 * MiB, "33,554,432\\r\\n16,777,216"};
    Use(second);
    Advance(1000);
    EXPECT_EQ(Shown(), second.text) << "while hidden";
}

TEST_F(MemoryText, FourteenDigitFiguresShowTheirLastDigit)
{
    const uint64_t largest = 99999999999999ull;
    Use({"", largest + 5, 5, true, largest + 7, 7, ""});
    UpdateMemoryText(dialog);
    Pump();
    ASSERT_EQ(Shown(), "99,999,999,999,999\\r\\n99,999,999,999,999");

    const WCHAR line[] = u"99,999,999,999,999";
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
