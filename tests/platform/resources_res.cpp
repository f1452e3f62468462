// Resources of the device: finding records in compiled .res bytes built
// here, cut ones, and shared icons. The program's own resources are loaded
// by the monitor's resource tests.

#include "kernel_test_util.h"
#include "tests/support/res_reader.h"

#include <string>
#include <vector>

namespace {

void Put32(std::vector<uint8_t> &v, uint32_t x)
{
    v.insert(v.end(), {(uint8_t)x, (uint8_t)(x >> 8), (uint8_t)(x >> 16), (uint8_t)(x >> 24)});
}

// A .res image as the resource compiler writes it.
struct ResBuilder {
    ResBuilder() { Add(0, 0, {}); } // the leading empty record
    void Add(int type, int name, const std::vector<uint8_t> &data)
    {
        std::vector<uint8_t> header;
        for (int id : {type, name})
            header.insert(header.end(), {0xFF, 0xFF, (uint8_t)id, (uint8_t)(id >> 8)});
        for (uint32_t field : {0u, 0x30u | 1033u << 16, 0u, 0u})
            Put32(header, field); // version, flags, language...
        Put32(bytes, (uint32_t)data.size());
        Put32(bytes, (uint32_t)(8 + header.size()));
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        while (bytes.size() % 4)
            bytes.push_back(0);
    }
    std::vector<uint8_t> bytes;
};

class Resources : public kt::DeviceTest {
protected:
    // A module of the device whose image carries these resources.
    HMODULE Module(const uint8_t *bytes, size_t size)
    {
        std::u16string name = u"res" + std::u16string(1, (char16_t)(u'a' + modules++)) + u".exe";
        auto idle = [](HINSTANCE, LPWSTR) {
            Sleep(INFINITE);
            return 0;
        };
        dev::RegisterProgram(name, u"\\Windows\\" + name, idle, bytes, size);
        return dev::ModuleOfProcess(dev::StartProgram(name, u""));
    }
    HMODULE Module(const ResBuilder &res) { return Module(res.bytes.data(), res.bytes.size()); }
    int modules = 0;
};

TEST_F(Resources, FindsWholeRecordsOnlyAndKeepsTypesApart)
{
    ResBuilder res;
    res.Add(5, 120, {1, 2, 3});        // RT_DIALOG 120
    res.Add(14, 120, {4, 5, 6, 7, 8}); // RT_GROUP_ICON 120
    HMODULE module = Module(res);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(120), RT_GROUP_ICON);
    ASSERT_NE(nullptr, found);
    ASSERT_EQ(5u, SizeofResource(module, found));
    const uint8_t *data = (const uint8_t *)LockResource(LoadResource(module, found));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ((std::vector<uint8_t>{4, 5, 6, 7, 8}), std::vector<uint8_t>(data, data + 5));
    EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(121), RT_DIALOG));
    EXPECT_EQ(nullptr, LoadResource(module, (HRSRC)&res)); // not a resource handle
    // The last record claims more data than there is; then not even one whole record.
    std::vector<uint8_t> cut(res.bytes.begin(), res.bytes.end() - 4);
    EXPECT_EQ(nullptr, FindResourceW(Module(cut.data(), cut.size()), MAKEINTRESOURCEW(120), RT_GROUP_ICON));
    EXPECT_EQ(nullptr, FindResourceW(Module(res.bytes.data(), 16), MAKEINTRESOURCEW(120), RT_DIALOG));
}

TEST_F(Resources, LoadedIconsAreSharedAndSurviveDestroyIcon)
{
    HMODULE module = Module(perfmonResources, perfmonResourcesSize);
    long icons = dev::LiveObjects(dev::KindIcon);
    HICON a = LoadIconW(module, MAKEINTRESOURCEW(121));
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, LoadIconW(module, MAKEINTRESOURCEW(121)));
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    EXPECT_TRUE(DestroyIcon(a));
    EXPECT_EQ(a, LoadIconW(module, MAKEINTRESOURCEW(121)));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(a, &info)) << "destroyed";
    HDC dc = CreateCompatibleDC(NULL);
    SelectObject(dc, info.hbmColor);
    EXPECT_TRUE(GetPixel(dc, 0, 0) == 0 && GetPixel(dc, 15, 15) != CLR_INVALID) << "not its 16 by 16 image";
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    // Another module's icon of the same number is another icon.
    HMODULE second = Module(perfmonResources, perfmonResourcesSize);
    EXPECT_NE(a, LoadIconW(second, MAKEINTRESOURCEW(121)));
}

} // namespace
