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
    uint8_t bytes[84] = {0};
    Record &Put(int offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (uint8_t)(value >> (8 * i));
        return *this;
    }
};

HIMAGELIST PatternList(int seed) {
    HBITMAP image, mask;
    PatternBitmaps(seed, &image, &mask);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ImageList_Add(list, image, mask);
    DeleteObject(image);
    DeleteObject(mask);
    return list;
}

// Only the low 32 bits of the list's handle fit in the record.
Record CreateRecord(HIMAGELIST list) {
    Record r;
    r.Put(0, 84).Put(4, 143).Put(8, 65535).Put(12, 1).Put(16, (uint32_t)(uintptr_t)list).Put(20, 16).Put(24, 16);
    return r.Put(44, 1034).Put(48, 0).Put(52, 2);
}

Record UpdateRecord(HIMAGELIST list) { return Record().Put(0, 84).Put(4, 2).Put(16, (uint32_t)(uintptr_t)list); }

// Pixels of an icon drawn on white, compared with a pattern.
std::string IconMismatch(HICON icon, int seed) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateBitmap(16, 16, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, canvas);
    PatBlt(dc, 0, 0, 16, 16, WHITENESS);
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    std::string mismatch = PatternMismatch(dc, 0, 0, seed);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    return mismatch;
}

class Halvaneh : public DeviceTest {
protected:
    CreateProc create = nullptr;
    GetSetDelProc getSetDel = nullptr;
    MtslenProc mtslen = nullptr;
    HWND owner = nullptr;

    void SetUp() override {
        DeviceTest::SetUp();
        RegisterHalvaneLibrary();
        HMODULE library = LoadLibraryW(u"halvaneh");
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
        int icon = create(owner, CreateRecord(list).bytes, 2 * mtslen(menu), menu);
        ImageList_Destroy(list);
        return icon;
    }

    int Update(int icon, int seed) {
        HIMAGELIST list = PatternList(seed);
        int result = getSetDel(owner, icon, UpdateRecord(list).bytes, 1);
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
}

// Every call as "function[/operation]=result".
std::string CallSummary() {
    std::string got;
    for (const HalvaneCall &call : HalvaneCalls())
        got += (got.empty() ? "" : " ") + call.function +
               (call.function == "WDTIGetSetDelIcon" ? "/" + std::to_string(call.operation) : "") + "=" +
               std::to_string(call.result);
    return got;
}

TEST_F(Halvaneh, IconKeepsImageAndMenuOfItsOwnThroughUpdatesWithoutLeaks) {
    ClearHalvaneCalls();
    long liveIcons = LiveObjects(KindIcon);
    int icon = CreateIcon(1);
    ASSERT_GE(icon, 1);
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    std::vector<HalvaneIconEntry> icons = HalvaneIcons();
    ASSERT_EQ(1u, icons.size());
    EXPECT_EQ(icon, icons[0].icon);
    EXPECT_EQ(owner, icons[0].window);
    ASSERT_NE(nullptr, icons[0].image) << "the image must survive the destroyed list";
    EXPECT_EQ("", IconMismatch(icons[0].image, 1));
    EXPECT_EQ((std::vector<std::u16string>{u"Show / Hide", u"a", u"Close"}), icons[0].menuTexts);
    EXPECT_EQ((std::vector<UINT>{1034, 0, 2}), icons[0].menuCommands);

    EXPECT_EQ("mtslen=21 WDTICreateTransientIcon=" + std::to_string(icon), CallSummary());
    std::vector<HalvaneCall> calls = HalvaneCalls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(owner, calls[1].window);
    EXPECT_EQ(menuBytes, calls[1].menuBytes);
    ASSERT_EQ(84u, calls[1].record.size());
    EXPECT_EQ(0, memcmp(calls[1].record.data(), CreateRecord(nullptr).bytes, 16));
    EXPECT_EQ(1034 & 0xFF, calls[1].record[44]);
    ASSERT_EQ(42u, calls[1].menu.size());
    EXPECT_EQ(0, memcmp(calls[1].menu.data(), menu, 42));

    long lists = LiveObjects(KindImageList), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 2; seed < 200; ++seed)
        ASSERT_EQ(0, Update(icon, seed)) << seed;
    EXPECT_EQ("", IconMismatch(HalvaneIcons()[0].image, 199));
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    EXPECT_EQ(lists, LiveObjects(KindImageList));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));

    int second = CreateIcon(2);
    EXPECT_GE(second, 1);
    EXPECT_NE(icon, second);
    ClearHalvaneCalls();
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
    EXPECT_EQ("WDTIGetSetDelIcon/2=0", CallSummary());
    EXPECT_TRUE(HalvaneCalls()[0].record.empty());
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon)) << "the deleted icon's copy is released";
}

TEST_F(Halvaneh, BadRecordsAndUnknownIconsFail) {
    HIMAGELIST list = PatternList(1), gone = PatternList(2);
    Record good = CreateRecord(list), badSize = CreateRecord(list).Put(0, 152),
           noList = CreateRecord(list).Put(16, 0), goneList = CreateRecord(gone);
    ImageList_Destroy(gone);
    struct CreateCase { void *record; int bytes; } creates[] = {
        {nullptr, menuBytes}, {badSize.bytes, menuBytes}, {noList.bytes, menuBytes}, {goneList.bytes, menuBytes},
        {good.bytes, -2},
    };
    for (const CreateCase &c : creates)
        EXPECT_EQ(-1, create(owner, c.record, c.bytes, menu)) << "create entry " << (&c - creates);
    EXPECT_TRUE(HalvaneIcons().empty());

    int icon = CreateIcon(1);
    HWND stranger = NewWindow();
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

class HalvaneTaskbar : public Halvaneh {
protected:
    HWND strip = nullptr;
    void SetUp() override {
        Halvaneh::SetUp();
        ASSERT_NE(0u, StartShell());
        ASSERT_NE(0u, StartAlternateTaskbar());
        strip = HalvaneWindow();
        ASSERT_NE(nullptr, strip);
        EXPECT_EQ(strip, FindWindowW(u"Halvane", nullptr));
        Settle(); // the first paints are done
    }
    void TapIcon() { TapCentre(HalvaneIcons()[0].place); }
    bool TapMenuItem(size_t index) {
        RECT item;
        if (!HalvaneMenuItemRect(index, &item))
            return false;
        TapCentre(item);
        return true;
    }
    bool MenuOpen() { return FindWindowW(u"HalvaneMenu", nullptr) != nullptr; }
};

TEST_F(HalvaneTaskbar, StripShowsTheIconWhoseMenuSendsCommandsAndCloses) {
    int icon = CreateIcon(4);
    ASSERT_GE(icon, 1);
    UpdateWindow(strip);
    RECT place = HalvaneIcons()[0].place, bar;
    GetWindowRect(strip, &bar);
    EXPECT_EQ("", PatternMismatch(strip, place.left - bar.left, place.top - bar.top, 4));
    ASSERT_EQ(0, Update(icon, 5));
    UpdateWindow(strip);
    EXPECT_EQ("", PatternMismatch(strip, place.left - bar.left, place.top - bar.top, 5));

    TapIcon();
    ASSERT_TRUE(MenuOpen()) << "the tap opens the menu";
    ASSERT_TRUE(TapMenuItem(0)); // "Show / Hide"
    std::vector<MSG> got = Drain(owner, WM_COMMAND, WM_COMMAND);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(1034u, LOWORD(got[0].wParam));
    EXPECT_FALSE(MenuOpen()) << "choosing closes the menu";
    TapIcon();
    ASSERT_TRUE(TapMenuItem(1)); // the divider does nothing
    EXPECT_TRUE(Drain(owner, WM_COMMAND, WM_COMMAND).empty());
    ASSERT_TRUE(TapMenuItem(2)); // "Close"
    got = Drain(owner, WM_COMMAND, WM_COMMAND);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ((WPARAM)IDCANCEL, got[0].wParam);

    TapIcon();
    EXPECT_TRUE(MenuOpen());
    TapIcon();
    EXPECT_FALSE(MenuOpen()) << "a second tap on the icon";
    RECT item;
    EXPECT_FALSE(HalvaneMenuItemRect(0, &item));
    TapIcon();
    ASSERT_TRUE(MenuOpen());
    TapAt(20, 310); // the shell's start label
    EXPECT_FALSE(MenuOpen()) << "a tap on another window";
    EXPECT_TRUE(Drain(owner, WM_COMMAND, WM_COMMAND).empty());
    TapIcon();
    ASSERT_TRUE(MenuOpen());
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
    Settle();
    EXPECT_FALSE(MenuOpen()) << "deleting the icon";
}

} // namespace
