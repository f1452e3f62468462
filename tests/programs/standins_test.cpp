// The stand-ins the monitor meets: the "halvaneh" helper library through its
// exports, the hang demo, and the "Wexdock" window.
#include "programs_fixture.h"

#include <atomic>

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
        create = (CreateProc)(void (*)())GetProcAddressW(library, u"WDTICreateTransientIcon");
        getSetDel = (GetSetDelProc)(void (*)())GetProcAddressW(library, u"WDTIGetSetDelIcon");
        mtslen = (MtslenProc)(void (*)())GetProcAddressW(library, u"mtslen");
        ASSERT_TRUE(create && getSetDel && mtslen);
        owner = NewWindow();
    }

    // Create (icon 0) or update an icon as the monitor does, destroying the list right after.
    int Put(int seed, int icon = 0) {
        HIMAGELIST list = PatternList(seed);
        int result = icon ? getSetDel(owner, icon, UpdateRecord(list).bytes, 1)
                          : create(owner, CreateRecord(list).bytes, 2 * mtslen(menu), menu);
        ImageList_Destroy(list);
        return result;
    }
};

TEST_F(Halvaneh, IconKeepsImageAndMenuOfItsOwnThroughUpdatesWithoutLeaks) {
    EXPECT_EQ(21, mtslen(menu));
    long liveIcons = LiveObjects(KindIcon);
    int icon = Put(1);
    ASSERT_GE(icon, 1);
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    std::vector<HalvaneIconEntry> icons = HalvaneIcons();
    ASSERT_EQ(1u, icons.size());
    EXPECT_EQ(owner, icons[0].window);
    ASSERT_NE(nullptr, icons[0].image) << "the image must survive the destroyed list";
    EXPECT_EQ((std::vector<UINT>{1034, 0, 2}), icons[0].menuCommands);

    long lists = LiveObjects(KindImageList), bitmaps = LiveObjects(KindBitmap);
    for (int seed = 2; seed < 200; ++seed)
        ASSERT_EQ(0, Put(seed, icon)) << seed;
    EXPECT_EQ(liveIcons + 1, LiveObjects(KindIcon));
    EXPECT_EQ(lists, LiveObjects(KindImageList));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));

    int second = Put(2);
    EXPECT_NE(icon, second);
    EXPECT_EQ(0, getSetDel(owner, icon, nullptr, 2));
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

    int icon = Put(1);
    HWND stranger = NewWindow();
    Record update = UpdateRecord(list);
    struct Case { HWND window; int icon; void *record; int operation; int result; } cases[] = {
        {owner, icon + 100, update.bytes, 1, 100},   // unknown icon
        {stranger, icon, update.bytes, 1, 100},      // not the owner's window
        {owner, icon, nullptr, 1, 100},              // update without a record
        {owner, icon, update.bytes, 9, 100},         // unknown operation
        {owner, icon, nullptr, 2, 0},                // deleted
        {owner, icon, update.bytes, 1, 100},         // gone now
        {owner, -1, nullptr, 2, 100},                // what a failed create leaves
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.result, getSetDel(c.window, c.icon, c.record, c.operation)) << "entry " << (&c - cases);
    EXPECT_TRUE(HalvaneIcons().empty());
    ImageList_Destroy(list);
}

class HangDemo : public DeviceTest {};

TEST_F(HangDemo, ButtonOrCallFreezesASentMessageForTenSeconds) {
    HWND demo = StartHangDemo() ? HangDemoWindow() : nullptr, button = GetWindow(demo, GW_CHILD);
    ASSERT_NE(nullptr, button) << "the demo or its freeze button";
    std::atomic<uint64_t> answeredAt{0};
    std::atomic<bool> answered{false};
    // A device thread of its own sends WM_NULL and notes when the answer came.
    auto send = [&] {
        answered = false;
        StartDeviceThread(0, [&, demo] {
            SendMessageW(demo, WM_NULL, 0, 0);
            answeredAt = Now();
            answered = true;
        });
        Settle();
    };
    send();
    ASSERT_TRUE(answered) << "not frozen yet: answered at once";
    for (bool tap : {true, false}) {
        uint64_t start = Now();
        RECT rc;
        GetWindowRect(button, &rc);
        for (bool down : {true, false})
            if (tap)
                Tap((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2, down);
        ASSERT_TRUE(tap || FreezeHangDemo());
        Settle();
        send();
        AdvanceClock(9999);
        EXPECT_FALSE(answered) << (tap ? "tap" : "call") << ": answered at " << answeredAt.load() - start << " ms";
        AdvanceClock(1);
        EXPECT_EQ(start + 10000, answered ? answeredAt.load() : 0) << (tap ? "tap" : "call");
    }
}

bool IconAlive(HICON icon) {
    ICONINFO info = {};
    bool alive = GetIconInfo(icon, &info);
    DeleteObject(info.hbmColor), DeleteObject(info.hbmMask);
    return alive;
}

class Wexdock : public DeviceTest {
protected:
    HWND dock = nullptr;
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(StartWexdock() && (dock = WexdockWindow()));
        Settle(); // the first paint is done
    }
    void Hand(HICON icon) { EXPECT_EQ(0, SendMessageW(dock, WM_COMMAND, 4000, (LPARAM)icon)) << icon; }
};

TEST_F(Wexdock, TakesOverTheIconsItIsHandedAndLeaksNone) {
    HICON first = MakePatternIcon(0);
    Hand(first);
    long icons = LiveObjects(KindIcon), bitmaps = LiveObjects(KindBitmap);
    HICON last = nullptr;
    for (int seed = 1; seed <= 120; ++seed)
        Hand(last = MakePatternIcon(seed)); // as a program hands a fresh one every second
    EXPECT_FALSE(IconAlive(first)) << "the dock releases the icon it no longer shows";
    EXPECT_EQ(icons, LiveObjects(KindIcon));
    EXPECT_EQ(bitmaps, LiveObjects(KindBitmap));
    Hand(last);
    Hand((HICON)0x12345);
    EXPECT_TRUE(IconAlive(last)) << "the same icon handed twice stays";
    EXPECT_EQ(last, WexdockIcon()) << "something that is no icon keeps the last one";
}

TEST_F(Wexdock, CanBeHiddenShownAndClosed) {
    ShowWindow(dock, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(dock));
    EXPECT_EQ(dock, FindWindowW(u"Wexdock", nullptr)) << "hidden, it still exists";
    ShowWindow(dock, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(dock));
    HICON icon = MakePatternIcon(4);
    Hand(icon);
    PostMessageW(dock, WM_CLOSE, 0, 0);
    Settle();
    EXPECT_EQ(nullptr, FindWindowW(u"Wexdock", nullptr));
    EXPECT_FALSE(IconAlive(icon)) << "the icon it was handed goes with it";
}

} // namespace
