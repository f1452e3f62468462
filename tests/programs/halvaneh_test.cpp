// The "halvaneh" helper library through its three exports, as a program
// loads it, and the "Halvane" taskbar that shows its icons and their menus.
#include "programs_fixture.h"

#include <cstring>

using namespace dev;
using namespace programs_test;

namespace {

typedef int(WINAPI *CreateProc)(HWND, void *, int, const WCHAR *);
typedef int(WINAPI *GetSetDelProc)(HWND, int, void *, int);
typedef int(WINAPI *MtslenProc)(const WCHAR *);

// "Show / Hide", "a", "Close", each with its NUL, and the closing NUL.
const WCHAR menu[] = u"Show / Hide\0a\0Close\0";
const int menuBytes = 42;

struct Record {
    uint8_t bytes[84];
    Record() { memset(bytes, 0, sizeof bytes); }
    void Put(int offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (uint8_t)(value >> (8 * i));
    }
};

HIMAGELIST PatternList(int seed) {
    uint32_t color[16 * 16];
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            COLORREF c = PatternColor(seed, x, y);
            color[y * 16 + x] = (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
        }
    uint8_t mask[32] = {0};
    HBITMAP image = CreateBitmap(16, 16, 1, 32, color), maskBitmap = CreateBitmap(16, 16, 1, 1, mask);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ImageList_Add(list, image, maskBitmap);
    DeleteObject(image);
    DeleteObject(maskBitmap);
    return list;
}

Record CreateRecord(HIMAGELIST list) {
    Record r;
    r.Put(0, 84);
    r.Put(4, 143);
    r.Put(8, 65535);
    r.Put(12, 1);
    r.Put(16, (uint32_t)(uintptr_t)list); // only the low 32 bits fit
    r.Put(20, 16);
    r.Put(24, 16);
    r.Put(44, 1034);
    r.Put(48, 0);
    r.Put(52, 2);
    return r;
}

Record UpdateRecord(HIMAGELIST list) {
    Record r;
    r.Put(0, 84);
    r.Put(4, 2);
    r.Put(16, (uint32_t)(uintptr_t)list);
    return r;
}

// Pixels of an icon drawn on white, compared with a pattern.
std::string IconMismatch(HICON icon, int seed) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, canvas);
    PatBlt(dc, 0, 0, 16, 16, WHITENESS);
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    std::string mismatch;
    for (int y = 0; y < 16 && mismatch.empty(); ++y)
        for (int x = 0; x < 16 && mismatch.empty(); ++x)
            if (GetPixel(dc, x, y) != PatternColor(seed, x, y))
                mismatch = std::to_string(x) + "," + std::to_string(y);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    return mismatch;
}

class Halvaneh : public DeviceTest {
protected:
    HMODULE library = nullptr;
    CreateProc create = nullptr;
    GetSetDelProc getSetDel = nullptr;
    MtslenProc mtslen = nullptr;
    HWND owner = nullptr;

    void SetUp() override {
        DeviceTest::SetUp();
        RegisterHalvaneLibrary();
        library = LoadLibraryW(u"halvaneh");
        ASSERT_NE(nullptr, library);
        create = (CreateProc)(void (*)())GetProcAddressW(library, u"WDTICreateTransientIcon");
        getSetDel = (GetSetDelProc)(void (*)())GetProcAddressW(library, u"WDTIGetSetDelIcon");
        mtslen = (MtslenProc)(void (*)())GetProcAddressW(library, u"mtslen");
        ASSERT_TRUE(create && getSetDel && mtslen);
        owner = NewWindow();
    }

    // Create an icon as the monitor does, destroying the list right after.
    int CreateIcon(int seed) {
        HIMAGELIST list = PatternList(seed);
        Record r = CreateRecord(list);
        int icon = create(owner, r.bytes, 2 * mtslen(menu), menu);
        ImageList_Destroy(list);
        return icon;
    }

    int Update(int icon, int seed) {
        HIMAGELIST list = PatternList(seed);
        Record r = UpdateRecord(list);
        int result = getSetDel(owner, icon, r.bytes, 1);
        ImageList_Destroy(list);
        return result;
    }
};

TEST_F(Halvaneh, MultiStringLengthCountsEveryNul) {
    struct Case { const WCHAR *text; int length; } cases[] = {
        {menu, 21}, {u"\0", 1}, {u"a\0", 3}, {u"ab\0cd\0", 7}, {nullptr, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.length, mtslen(c.text)) << "entry " << (&c - cases);
    EXPECT_EQ(menuBytes, 2 * mtslen(menu));
}

TEST_F(Halvaneh, CreateKeepsImageAndMenuOfItsOwn) {
    int icon = CreateIcon(1);
    ASSERT_GE(icon, 1);
    std::vector<HalvaneIconEntry> icons = HalvaneIcons();
    ASSERT_EQ(1u, icons.size());
    EXPECT_EQ(icon, icons[0].icon);
    EXPECT_EQ(owner, icons[0].window);
    ASSERT_NE(nullptr, icons[0].image) << "the image must survive the destroyed list";
    EXPECT_EQ("", IconMismatch(icons[0].image, 1));
    std::vector<std::u16string> texts = {u"Show / Hide", u"a", u"Close"};
    EXPECT_EQ(texts, icons[0].menuTexts);
    std::vector<UINT> commands = {1034, 0, 2};
    EXPECT_EQ(commands, icons[0].menuCommands);

    int second = CreateIcon(2);
    EXPECT_GE(second, 1);
    EXPECT_NE(icon, second);
}

TEST_F(Halvaneh, CallsAreRecordedWithTheirBytes) {
    ClearHalvaneCalls();
    int icon = CreateIcon(1);
    std::vector<HalvaneCall> calls = HalvaneCalls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("mtslen", calls[0].function);
    EXPECT_EQ(21, calls[0].result);
    EXPECT_EQ("WDTICreateTransientIcon", calls[1].function);
    EXPECT_EQ(owner, calls[1].window);
    EXPECT_EQ(menuBytes, calls[1].menuBytes);
    EXPECT_EQ(icon, calls[1].result);
    ASSERT_EQ(84u, calls[1].record.size());
    EXPECT_EQ(143, calls[1].record[4]);
    EXPECT_EQ(0xFF, calls[1].record[8]);
    EXPECT_EQ(0xFF, calls[1].record[9]);
    EXPECT_EQ(1034 & 0xFF, calls[1].record[44]);
    ASSERT_EQ(42u, calls[1].menu.size());
    EXPECT_EQ(0, memcmp(calls[1].menu.data(), menu, 42));

    getSetDel(owner, icon, nullptr, 2);
    calls = HalvaneCalls();
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ("WDTIGetSetDelIcon", calls[2].function);
    EXPECT_EQ(2, calls[2].operation);
    EXPECT_TRUE(calls[2].record.empty());
    EXPECT_EQ(0, calls[2].result);
}

TEST_F(Halvaneh, BadCreateRecordsFail) {
    HIMAGELIST list = PatternList(1);
    Record good = CreateRecord(list);
    Record badSize = good;
    badSize.Put(0, 152);
    Record noList = good;
    noList.Put(16, 0);
    Record goneList = good;
    HIMAGELIST other = PatternList(2);
    goneList.Put(16, (uint32_t)(uintptr_t)other);
    ImageList_Destroy(other);

    EXPECT_EQ(-1, create(owner, nullptr, menuBytes, menu));
    EXPECT_EQ(-1, create(owner, badSize.bytes, menuBytes, menu));
    EXPECT_EQ(-1, create(owner, noList.bytes, menuBytes, menu));
    EXPECT_EQ(-1, create(owner, goneList.bytes, menuBytes, menu));
    EXPECT_EQ(-1, create(owner, good.bytes, -2, menu));
    EXPECT_TRUE(HalvaneIcons().empty());
    ImageList_Destroy(list);
}

TEST_F(Halvaneh, UpdateReplacesTheImageAndLeaksNothing) {
    int icon = CreateIcon(1);
    ASSERT_GE(icon, 1);
    long icons = LiveObjects(KindIcon), lists = LiveObjects(KindImageList), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 2; seed < 200; ++seed)
        ASSERT_EQ(0, Update(icon, seed)) << seed;
    EXPECT_EQ("", IconMismatch(HalvaneIcons()[0].image, 199));
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(lists, LiveObjects(KindImageList));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
}

TEST_F(Halvaneh, OperationsOnUnknownIconsFail) {
    int icon = CreateIcon(1);
    HWND stranger = NewWindow();
    HIMAGELIST list = PatternList(3);
    Record update = UpdateRecord(list);
    struct Case { HWND window; int icon; void *record; int operation; int result; } cases[] = {
        {owner, icon + 100, update.bytes, 1, 100},   // unknown icon
        {stranger, icon, update.bytes, 1, 100},      // not the owner's window
        {owner, icon, nullptr, 1, 100},              // update without a record
        {owner, icon, update.bytes, 9, 100},         // unknown operation
        {owner, icon, nullptr, 0, 0},                // the icon is there
        {owner, icon, update.bytes, 1, 0},
        {owner, icon, nullptr, 2, 0},                // deleted
        {owner, icon, update.bytes, 1, 100},         // gone now
        {owner, icon, nullptr, 2, 100},
        {owner, -1, nullptr, 2, 100},                // what a failed create leaves
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.result, getSetDel(c.window, c.icon, c.record, c.operation)) << "entry " << (&c - cases);
    EXPECT_TRUE(HalvaneIcons().empty());
    ImageList_Destroy(list);
}

TEST_F(Halvaneh, DeleteReleasesTheCopy) {
    long icons = LiveObjects(KindIcon);
    int icon = CreateIcon(1);
    EXPECT_EQ(icons + 1, LiveObjects(KindIcon));
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
    EXPECT_EQ(icons, LiveObjects(KindIcon));
}

class HalvaneTaskbar : public Halvaneh {
protected:
    HWND strip = nullptr;
    void SetUp() override {
        Halvaneh::SetUp();
        ASSERT_NE(0u, StartShell());
        ASSERT_NE(0u, StartAlternateTaskbar());
        strip = HalvaneWindow();
        ASSERT_NE(nullptr, strip);
        Settle(); // the first paints are done
    }
    void TapIcon(size_t index) {
        RECT place = HalvaneIcons()[index].place;
        TapAt((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    }
    bool TapMenuItem(size_t index) {
        RECT item;
        if (!HalvaneMenuItemRect(index, &item))
            return false;
        TapAt((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        return true;
    }
};

TEST_F(HalvaneTaskbar, StripShowsTheIcon) {
    EXPECT_EQ(strip, FindWindowW(u"Halvane", nullptr));
    int icon = CreateIcon(4);
    ASSERT_GE(icon, 1);
    UpdateWindow(strip);
    RECT place = HalvaneIcons()[0].place, bar;
    GetWindowRect(strip, &bar);
    EXPECT_EQ("", PatternMismatch(strip, place.left - bar.left, place.top - bar.top, 4));
    ASSERT_EQ(0, Update(icon, 5));
    UpdateWindow(strip);
    EXPECT_EQ("", PatternMismatch(strip, place.left - bar.left, place.top - bar.top, 5));
}

TEST_F(HalvaneTaskbar, MenuSendsItsCommandsToTheWindow) {
    ASSERT_GE(CreateIcon(6), 1);
    UpdateWindow(strip);
    TapIcon(0);
    ASSERT_NE(nullptr, FindWindowW(u"HalvaneMenu", nullptr)) << "the tap opens the menu";
    ASSERT_TRUE(TapMenuItem(0)); // "Show / Hide"
    std::vector<MSG> got = Drain(owner, WM_COMMAND, WM_COMMAND);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(1034u, LOWORD(got[0].wParam));
    EXPECT_EQ(nullptr, FindWindowW(u"HalvaneMenu", nullptr)) << "choosing closes the menu";

    TapIcon(0);
    ASSERT_TRUE(TapMenuItem(1)); // the divider does nothing
    EXPECT_TRUE(Drain(owner, WM_COMMAND, WM_COMMAND).empty());
    ASSERT_TRUE(TapMenuItem(2)); // "Close"
    got = Drain(owner, WM_COMMAND, WM_COMMAND);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ((WPARAM)IDCANCEL, got[0].wParam);
}

TEST_F(HalvaneTaskbar, SecondTapClosesTheMenu) {
    ASSERT_GE(CreateIcon(7), 1);
    TapIcon(0);
    EXPECT_NE(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
    TapIcon(0);
    EXPECT_EQ(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
    RECT item;
    EXPECT_FALSE(HalvaneMenuItemRect(0, &item));
}

TEST_F(HalvaneTaskbar, TapOnAnotherWindowClosesTheMenu) {
    ASSERT_GE(CreateIcon(7), 1);
    TapIcon(0);
    ASSERT_NE(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
    TapAt(20, 310); // the shell's start label
    EXPECT_EQ(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
    EXPECT_TRUE(Drain(owner, WM_COMMAND, WM_COMMAND).empty());
}

TEST_F(HalvaneTaskbar, DeletingTheIconClosesItsMenu) {
    int icon = CreateIcon(8);
    TapIcon(0);
    ASSERT_NE(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
    Settle();
    EXPECT_EQ(nullptr, FindWindowW(u"HalvaneMenu", nullptr));
}

} // namespace
