// Resources of the device: finding records in compiled .res bytes built
// here, damaged images, the icon image LoadIconW picks, and shared icons. The program's own resources are loaded
// by the monitor's resource tests; it names them by number only.

#include "platform/host/kernel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

extern const uint8_t perfmonResources[];
extern const size_t perfmonResourcesSize;

namespace {

void Put16(std::vector<uint8_t> &v, uint16_t x) { v.insert(v.end(), {(uint8_t)x, (uint8_t)(x >> 8)}); }
void Put32(std::vector<uint8_t> &v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A .res image as the resource compiler writes it.
struct ResBuilder {
    ResBuilder() { Add(0, 0, {}); } // the leading empty record
    void Add(int type, int name, const std::vector<uint8_t> &data) {
        std::vector<uint8_t> header;
        for (int id : {type, name}) header.insert(header.end(), {0xFF, 0xFF, (uint8_t)id, (uint8_t)(id >> 8)});
        for (uint32_t field : {0u, 0x30u | 1033u << 16, 0u, 0u}) Put32(header, field); // version, flags, language...
        Put32(bytes, (uint32_t)data.size());
        Put32(bytes, (uint32_t)(8 + header.size()));
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        while (bytes.size() % 4) bytes.push_back(0);
    }
    std::vector<uint8_t> bytes;
};

// A bottom-up DIB: BITMAPINFOHEADER, palette, rows padded to 4 bytes.
std::vector<uint8_t> Dib(int width, int height, int bits, const std::vector<uint32_t> &palette,
                         const std::vector<std::vector<uint8_t>> &rowsTopFirst) {
    std::vector<uint8_t> v;
    for (uint32_t field :
         {40u, (uint32_t)width, (uint32_t)height, 1u | bits << 16, 0u, 0u, 0u, 0u, (uint32_t)palette.size(), 0u})
        Put32(v, field);
    for (uint32_t c : palette) Put32(v, c); // 0x00RRGGBB is B, G, R, 0 in memory
    for (int line = 0; line < height; line++) {
        std::vector<uint8_t> row = rowsTopFirst[height - 1 - line];
        row.resize((row.size() + 3) / 4 * 4, 0);
        v.insert(v.end(), row.begin(), row.end());
    }
    return v;
}

// An RT_ICON image of one colour: doubled height, XOR rows, AND rows (all 0).
std::vector<uint8_t> SolidIconImage(int size, int bits, uint32_t colour) {
    std::vector<uint32_t> palette(1 << bits, 0);
    palette[1] = colour;
    std::vector<uint8_t> row((size * bits + 7) / 8, 0);
    for (int x = 0; x < size; x++) row[x * bits / 8] |= 1 << (8 - bits - x * bits % 8); // index 1 everywhere
    // Top row first, so the AND rows, which come last in the bytes, lead.
    std::vector<std::vector<uint8_t>> rows(size, std::vector<uint8_t>((size + 7) / 8, 0));
    rows.insert(rows.end(), size, row);
    return Dib(size, size * 2, bits, palette, rows);
}

struct GroupEntry {
    int size, bits, id;
    std::vector<uint8_t> image;
};

std::vector<uint8_t> Group(const std::vector<GroupEntry> &entries) {
    std::vector<uint8_t> v = {0, 0, 1, 0, (uint8_t)entries.size(), 0};
    for (const GroupEntry &e : entries) {
        v.insert(v.end(), {(uint8_t)e.size, (uint8_t)e.size, (uint8_t)(e.bits < 8 ? 1 << e.bits : 0), 0, 1, 0});
        Put16(v, (uint16_t)e.bits);
        Put32(v, (uint32_t)e.image.size());
        Put16(v, (uint16_t)e.id);
    }
    return v;
}

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        dev::Config config;
        config.manualClock = true;
        dev::ResetDevice(config);
    }
    void TearDown() override { dev::ResetDevice(dev::Config()); }
    // A module of the device whose image carries these resources.
    HMODULE Module(const uint8_t *bytes, size_t size) {
        std::u16string name = u"res" + std::u16string(1, (char16_t)(u'a' + modules++)) + u".exe";
        auto idle = [](HINSTANCE, LPWSTR) { Sleep(INFINITE); return 0; };
        dev::RegisterProgram(name, u"\\Windows\\" + name, idle, bytes, size);
        return dev::ModuleOfProcess(dev::StartProgram(name, u""));
    }
    HMODULE Module(const ResBuilder &res) { return Module(res.bytes.data(), res.bytes.size()); }
    // "WxH: #RRGGBB": the size and the top-left pixel of an icon's image.
    static std::string Look(HICON icon) {
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

TEST_F(Resources, FindsWholeRecordsOnlyAndKeepsTypesApart) {
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

TEST_F(Resources, LoadIconPicksSixteenBySixteenWithTheMostColours) {
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    std::vector<GroupEntry> best = {{32, 4, 1, SolidIconImage(32, 4, red)},
                                    {16, 1, 2, SolidIconImage(16, 1, green)},
                                    {16, 4, 3, SolidIconImage(16, 4, blue)}};
    ResBuilder res;
    for (const GroupEntry &e : best) res.Add(3, e.id, e.image);
    res.Add(14, 50, Group(best));
    HMODULE module = Module(res);
    EXPECT_EQ("16x16: #0000FF", Look(LoadIconW(module, MAKEINTRESOURCEW(50)))) << "the 4-bit image, not the 1-bit one";
    EXPECT_EQ(nullptr, LoadIconW(module, MAKEINTRESOURCEW(51)));
}

TEST_F(Resources, LoadedIconsAreSharedAndSurviveDestroyIcon) {
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
