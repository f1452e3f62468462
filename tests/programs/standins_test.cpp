// The "halvaneh" helper library's stand-in must not leak what it is handed.
// The hang demo is driven by the watchdog's tests, the "Wexdock" window and
// its icon counts by the tray icon's tests and the simulated day.
#include "programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

typedef int(WINAPI *CreateProc)(HWND, void *, int, const WCHAR *);
typedef int(WINAPI *GetSetDelProc)(HWND, int, void *, int);
typedef int(WINAPI *MtslenProc)(const WCHAR *);

// "Show / Hide", "a", "Close", each with its NUL, and the closing NUL.
const WCHAR menu[] = u"Show / Hide\0a\0Close\0";

struct Record {
    uint8_t bytes[84] = {0};
    Record &Put(int offset, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (uint8_t)(value >> (8 * i));
        return *this;
    }
};

HIMAGELIST PatternList(int seed)
{
    HBITMAP image, mask;
    PatternBitmaps(seed, &image, &mask);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ImageList_Add(list, image, mask);
    DeleteObject(image);
    DeleteObject(mask);
    return list;
}

// Only the low 32 bits of the list's handle fit in the record.
Record CreateRecord(HIMAGELIST list)
{
    Record r;
    r.Put(0, 84).Put(4, 143).Put(8, 65535).Put(12, 1).Put(16, (uint32_t)(uintptr_t)list).Put(20, 16).Put(24, 16);
    return r.Put(44, 1034).Put(48, 0).Put(52, 2);
}

Record UpdateRecord(HIMAGELIST list)
{
    return Record().Put(0, 84).Put(4, 2).Put(16, (uint32_t)(uintptr_t)list);
}

class Halvaneh : public DeviceTest {
protected:
    CreateProc create = nullptr;
    GetSetDelProc getSetDel = nullptr;
    MtslenProc mtslen = nullptr;
    HWND owner = nullptr;
    void SetUp() override
    {
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
    int Put(int seed, int icon = 0)
    {
        HIMAGELIST list = PatternList(seed);
        int result = icon ? getSetDel(owner, icon, UpdateRecord(list).bytes, 1)
                          : create(owner, CreateRecord(list).bytes, 2 * mtslen(menu), menu);
        ImageList_Destroy(list);
        return result;
    }
};

TEST_F(Halvaneh, IconKeepsImageAndMenuOfItsOwnThroughUpdatesWithoutLeaks)
{
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

} // namespace
