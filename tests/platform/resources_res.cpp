// Resources of the device: finding records in compiled .res bytes built
// here, cut ones, and shared icons. The program's own resources are loaded
// by the monitor's resource tests.

#include "kernel_test_util.h"
#include "tests/support/res_reader.h"

#include <cstdio>
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
    // "WxH: #RRGGBB": the size and the top-left pixel of an icon's image.
    static std::string Look(HICON icon)
    {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return "no icon";
        BITMAP bm{};
        GetObjectW(info.hbmColor, sizeof bm, &bm);
        HDC dc = CreateCompatibleDC(NULL);
        SelectObject(dc, info.hbmColor);
        COLORREF c = GetPixel(dc, 0, 0);
        char text[48];
        snprintf(text, sizeof text, "%dx%d: #%02X%02X%02X", (int)bm.bmWidth, (int)bm.bmHeight, GetRValue(c),
                 GetGValue(c), GetBValue(c));
        DeleteDC(dc);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return text;
    }
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
    EXPECT_EQ("16x16: #000000", Look(a));
    EXPECT_EQ(icons + 1, dev::LiveObjects(dev::KindIcon));
    // Another module's icon of the same number is another icon.
    HMODULE second = Module(perfmonResources, perfmonResourcesSize);
    EXPECT_NE(a, LoadIconW(second, MAKEINTRESOURCEW(121)));
}

} // namespace
