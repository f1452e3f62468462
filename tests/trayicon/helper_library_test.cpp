// The alternate taskbar's helper library as the monitor calls it: the two
// records and the menu byte by byte, image lists released after each call,
// the library's absence or a missing export.

#include "app/resource.h"
#include "trayicon/helper_library.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The stand-in library's exports, to register the library without one of them.
std::vector<dev::Export> StandInExports()
{
    dev::RegisterHalvaneLibrary();
    HMODULE library = LoadLibraryW(u"halvaneh");
    std::vector<dev::Export> exports;
    for (const char16_t *name : {u"WDTICreateTransientIcon", u"WDTIGetSetDelIcon", u"mtslen"})
        exports.push_back({name, GetProcAddressW(library, name)});
    FreeLibrary(library);
    return exports;
}

// Every 32-bit word of the record against the expected ones; offset 16, the
// image list, is only checked to be set.
void ExpectRecord(const std::vector<uint8_t> &record, const std::vector<std::pair<int, uint32_t>> &words)
{
    ASSERT_EQ(record.size(), (size_t)HELPER_RECORD_BYTES);
    for (int offset = 0; offset < HELPER_RECORD_BYTES; offset += 4) {
        uint32_t got;
        memcpy(&got, &record[offset], 4);
        uint32_t want = 0;
        for (auto word : words)
            if (word.first == offset) want = word.second;
        if (offset == 16)
            EXPECT_NE(got, 0u) << "image list";
        else
            EXPECT_EQ(got, want) << "word at offset " << offset;
    }
}

class HelperLibrary : public support::DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Boot());
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
        HDC screen = GetDC(nullptr);
        monitorState.iconColorBitmap = CreateCompatibleBitmap(screen, 16, 16);
        monitorState.iconMaskBitmap = CreateCompatibleBitmap(screen, 16, 16);
        ReleaseDC(nullptr, screen);
        window = CreateWindowExW(0, DEVICE_DIALOG_CLASS, u"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 monitorState.instance, nullptr);
        monitorState.mainDialog = window;
    }
    HWND window = nullptr;
};

// Through the device's stand-in, which records every call and keeps a copy
// of the image it is handed.
TEST_F(HelperLibrary, CreateAndUpdateRecordsLeaveNoImageLists)
{
    dev::RegisterHalvaneLibrary();
    dev::ClearHalvaneCalls();
    long lists = dev::LiveObjects(dev::KindImageList);
    EXPECT_EQ(CreateHelperIcon(window), 1);
    std::vector<dev::HalvaneCall> calls = dev::HalvaneCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "mtslen");
    const dev::HalvaneCall &create = calls[1];
    ASSERT_EQ(create.function, "WDTICreateTransientIcon");
    EXPECT_EQ(monitorState.helperIcon, create.result);
    EXPECT_EQ(create.window, window);
    ExpectRecord(create.record,
                 {{0, 84}, {4, 143}, {8, 65535}, {12, 1}, {20, 16}, {24, 16}, {44, IDC_HIDE}, {48, 0}, {52, IDCANCEL}});
    const char16_t menu[] = u"Show / Hide\0a\0Close\0";
    ASSERT_EQ(create.menu.size(), 42u);
    EXPECT_EQ(memcmp(create.menu.data(), menu, 42), 0);
    ASSERT_EQ(dev::HalvaneIcons().size(), 1u);
    EXPECT_NE(dev::HalvaneIcons()[0].image, nullptr) << "the image was gone before the call";
    EXPECT_EQ(dev::HalvaneIcons()[0].menuCommands, (std::vector<UINT>{IDC_HIDE, 0, IDCANCEL}));

    // Each update replaces the library's copy of the image: nothing piles up.
    long icons = dev::LiveObjects(dev::KindIcon), bitmaps = dev::LiveObjects(dev::KindBitmap);
    for (int second = 0; second < 200; second++) {
        dev::ClearHalvaneCalls();
        EXPECT_EQ(UpdateHelperIcon(), 1);
        calls = dev::HalvaneCalls();
        ASSERT_EQ(calls.size(), 1u);
        const dev::HalvaneCall &update = calls[0];
        EXPECT_TRUE(update.function == "WDTIGetSetDelIcon" && update.window == window &&
                    update.icon == monitorState.helperIcon && update.operation == 1 && update.result == 0)
            << update.function << " icon " << update.icon << " operation " << update.operation << ": " << update.result
            << " (the image gone before the call fails)";
        if (second == 0) ExpectRecord(update.record, {{0, 84}, {4, 2}});
    }
    EXPECT_EQ(dev::LiveObjects(dev::KindImageList), lists) << "a list outlived its call";
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons);
    EXPECT_EQ(dev::LiveObjects(dev::KindBitmap), bitmaps);
    EXPECT_EQ(CallGetSetDelIcon(window, monitorState.helperIcon, nullptr, 2), 0);
    EXPECT_EQ(dev::LiveObjects(dev::KindIcon), icons - 1) << "the deleted icon's copy is kept";
}

TEST_F(HelperLibrary, WithoutTheLibraryOrAnExportEverythingFallsBack)
{
    dev::UnregisterLibrary(u"halvaneh");
    long lists = dev::LiveObjects(dev::KindImageList);
    EXPECT_EQ(LoadHelperLibrary(), 0);
    EXPECT_EQ(CreateHelperIcon(window), 1);
    EXPECT_EQ(monitorState.helperIcon, -1);
    EXPECT_EQ(UpdateHelperIcon(), 1);
    EXPECT_EQ(CallGetSetDelIcon(window, -1, nullptr, 2), 100);
    EXPECT_EQ(CallCreateTransientIcon(window, nullptr, 0, nullptr), -1);
    EXPECT_EQ(dev::LiveObjects(dev::KindImageList), lists);

    for (size_t missing = 0; missing < 3; missing++) {
        std::vector<dev::Export> exports = StandInExports();
        std::string name(exports[missing].name.begin(), exports[missing].name.end());
        exports.erase(exports.begin() + missing);
        dev::RegisterLibrary(u"halvaneh", exports);
        EXPECT_EQ(LoadHelperLibrary(), 0) << "without " << name;
        EXPECT_FALSE(dev::LibraryLoaded(u"halvaneh")) << "without " << name;
        EXPECT_TRUE(monitorState.helperLibrary == nullptr && monitorState.createTransientIconEntry == nullptr &&
                    monitorState.getSetDelIconEntry == nullptr && monitorState.mtslenEntry == nullptr)
            << "without " << name;
        EXPECT_EQ(CallMtslen(u"a\0"), 0) << "without " << name;
    }

    // A failure is not remembered: once the library is whole it is used.
    dev::RegisterHalvaneLibrary();
    EXPECT_EQ(CallMtslen(u"a\0"), 3);
    EXPECT_EQ(LoadHelperLibrary(), 1);
}

} // namespace
