// Resources of the device: finding records in compiled .res bytes built
// here, keeping types apart, loading bitmaps of every depth the device reads,
// the icon image LoadIconW picks, and shared icons.

#include "platform/host/internal.h"

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
    void Add(int type, int name, const std::vector<uint8_t> &data) { Add(Ordinal(type), Ordinal(name), data); }
    void Add(const std::vector<uint8_t> &type, const std::vector<uint8_t> &name, const std::vector<uint8_t> &data) {
        std::vector<uint8_t> header = type;
        header.insert(header.end(), name.begin(), name.end());
        while ((8 + header.size()) % 4) header.push_back(0);
        for (uint32_t field : {0u, 0x30u | 1033u << 16, 0u, 0u}) Put32(header, field); // version, flags, language...
        Put32(bytes, (uint32_t)data.size());
        Put32(bytes, (uint32_t)(8 + header.size()));
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        while (bytes.size() % 4) bytes.push_back(0);
    }
    static std::vector<uint8_t> Ordinal(int id) { return {0xFF, 0xFF, (uint8_t)id, (uint8_t)(id >> 8)}; }
    static std::vector<uint8_t> Name(const char *name) {
        std::vector<uint8_t> v;
        for (; *name; name++) Put16(v, (uint16_t)*name);
        Put16(v, 0);
        return v;
    }
    std::vector<uint8_t> bytes;
};

// A DIB: BITMAPINFOHEADER, palette, rows padded to 4 bytes.
std::vector<uint8_t> Dib(int width, int height, int bits, const std::vector<uint32_t> &palette,
                         const std::vector<std::vector<uint8_t>> &rowsTopFirst, bool topDown) {
    std::vector<uint8_t> v;
    for (uint32_t field : {40u, (uint32_t)width, (uint32_t)(topDown ? -height : height), 1u | bits << 16, 0u, 0u, 0u,
                           0u, (uint32_t)palette.size(), 0u})
        Put32(v, field);
    for (uint32_t c : palette) Put32(v, c); // 0x00RRGGBB is B, G, R, 0 in memory
    for (int line = 0; line < height; line++) {
        std::vector<uint8_t> row = rowsTopFirst[topDown ? line : height - 1 - line];
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
    return Dib(size, size * 2, bits, palette, rows, false);
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

int ResourceProgram(HINSTANCE, LPWSTR) {
    Sleep(INFINITE);
    return 0;
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
        dev::RegisterProgram(name, u"\\Windows\\" + name, ResourceProgram, bytes, size);
        return dev::ModuleOfProcess(dev::StartProgram(name, u""));
    }
    HMODULE Module(const ResBuilder &res) { return Module(res.bytes.data(), res.bytes.size()); }
    // "WxH: #RRGGBB #RRGGBB / ...": the size, then the first pixels, rows top first.
    static std::string Look(HBITMAP bitmap, int columns = 3, int rows = 2) {
        BITMAP bm{};
        GetObjectW(bitmap, sizeof bm, &bm);
        std::string text = std::to_string(bm.bmWidth) + "x" + std::to_string(bm.bmHeight) + ":";
        HDC dc = CreateCompatibleDC(NULL);
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < columns; x++) {
                COLORREF c = GetPixel(dc, x, y);
                char hex[16];
                snprintf(hex, sizeof hex, "%s#%02X%02X%02X", y && !x ? " / " : " ", GetRValue(c), GetGValue(c),
                         GetBValue(c));
                text += hex;
            }
        SelectObject(dc, old);
        DeleteDC(dc);
        return text;
    }
    // The size and the top-left pixel of an icon's image.
    static std::string Look(HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return "no icon";
        std::string text = Look(info.hbmColor, 1, 1);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return text;
    }
    int modules = 0;
};

TEST_F(Resources, FindsByTypeAndNameAndKeepsTypesApart) {
    ResBuilder res;
    res.Add(5, 120, {1, 2, 3});        // RT_DIALOG 120
    res.Add(14, 120, {4, 5, 6, 7, 8}); // RT_GROUP_ICON 120
    res.Add(ResBuilder::Name("DATA"), ResBuilder::Name("SETTINGS"), {9});
    res.Add(ResBuilder::Ordinal(10), ResBuilder::Name("NOTES"), {10, 11});
    HMODULE module = Module(res);
    ASSERT_NE(nullptr, module);
    const struct {
        const char *what;
        LPCWSTR name, type;
        std::vector<uint8_t> expected; // empty: not found
    } cases[] = {
        {"dialog 120", MAKEINTRESOURCEW(120), RT_DIALOG, {1, 2, 3}},
        {"icon group 120", MAKEINTRESOURCEW(120), RT_GROUP_ICON, {4, 5, 6, 7, 8}},
        {"bitmap 120 (absent)", MAKEINTRESOURCEW(120), RT_BITMAP, {}},
        {"dialog 121 (absent)", MAKEINTRESOURCEW(121), RT_DIALOG, {}},
        {"string names", TEXT("SETTINGS"), TEXT("DATA"), {9}},
        {"string names ignore case", TEXT("Settings"), TEXT("data"), {9}},
        {"string name, ordinal type", TEXT("notes"), MAKEINTRESOURCEW(10), {10, 11}},
        {"\"#120\" is ordinal 120", TEXT("#120"), TEXT("#5"), {1, 2, 3}},
    };
    for (const auto &c : cases) {
        HRSRC found = FindResourceW(module, c.name, c.type);
        if (c.expected.empty()) {
            EXPECT_EQ(nullptr, found) << c.what;
            continue;
        }
        ASSERT_NE(nullptr, found) << c.what;
        ASSERT_EQ(c.expected.size(), SizeofResource(module, found)) << c.what;
        const uint8_t *data = (const uint8_t *)LockResource(LoadResource(module, found));
        ASSERT_NE(nullptr, data) << c.what;
        EXPECT_EQ(c.expected, std::vector<uint8_t>(data, data + c.expected.size())) << c.what;
        EXPECT_EQ(found, FindResourceW(module, c.name, c.type)) << c.what << ": same handle again";
    }
    EXPECT_EQ(nullptr, LoadResource(module, (HRSRC)&res)); // not a resource handle
}

TEST_F(Resources, DamagedImagesFailWithoutReadingPastTheEnd) {
    ResBuilder res;
    res.Add(5, 1, {1, 2, 3, 4});
    // The last record claims more data than there is.
    std::vector<uint8_t> cut(res.bytes.begin(), res.bytes.end() - 2);
    EXPECT_EQ(nullptr, FindResourceW(Module(cut.data(), cut.size()), MAKEINTRESOURCEW(1), RT_DIALOG));
    // Not even one whole record.
    EXPECT_EQ(nullptr, FindResourceW(Module(res.bytes.data(), 16), MAKEINTRESOURCEW(1), RT_DIALOG));
}

TEST_F(Resources, LoadBitmapReadsEveryDepthAndOrder) {
    // Each image is 3 by 2: top row red, green, blue; bottom row white, black, grey.
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF, grey = 0x808080;
    std::vector<uint32_t> palette = {0, red, green, blue, white, grey}, palette16 = palette, palette256 = palette;
    palette16.resize(16, 0x123456);
    palette256.resize(256, 0x654321);
    auto rgb = [](size_t bytes, std::initializer_list<uint32_t> px) {
        std::vector<uint8_t> v;
        for (uint32_t c : px) {
            const uint8_t pixel[4] = {(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16), 0xAB}; // 4th byte ignored
            v.insert(v.end(), pixel, pixel + bytes);
        }
        return v;
    };
    const std::string colours = "3x2: #FF0000 #00FF00 #0000FF / #FFFFFF #000000 #808080";
    const struct {
        const char *what;
        std::vector<uint8_t> dib;
        std::string expected;
    } images[] = {
        {"8 bpp bottom-up, short palette", Dib(3, 2, 8, palette, {{1, 2, 3}, {4, 0, 5}}, false), colours},
        {"8 bpp top-down, full palette", Dib(3, 2, 8, palette256, {{1, 2, 3}, {4, 0, 5}}, true), colours},
        {"4 bpp", Dib(3, 2, 4, palette16, {{0x12, 0x30}, {0x40, 0x50}}, false), colours},
        {"24 bpp", Dib(3, 2, 24, {}, {rgb(3, {red, green, blue}), rgb(3, {white, 0, grey})}, false), colours},
        {"32 bpp top-down", Dib(3, 2, 32, {}, {rgb(4, {red, green, blue}), rgb(4, {white, 0, grey})}, true), colours},
        {"1 bpp", Dib(3, 2, 1, {0, white}, {{0xA0}, {0x40}}, false),
         "3x2: #FFFFFF #000000 #FFFFFF / #000000 #FFFFFF #000000"},
    };
    ResBuilder res;
    for (int i = 0; i < 6; i++) res.Add(2, 200 + i, images[i].dib);
    HMODULE module = Module(res);
    for (int i = 0; i < 6; i++) {
        HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(200 + i));
        ASSERT_NE(nullptr, bitmap) << images[i].what;
        EXPECT_EQ(images[i].expected, Look(bitmap)) << images[i].what;
        BITMAP bm{};
        GetObjectW(bitmap, sizeof bm, &bm);
        EXPECT_EQ(32, bm.bmBitsPixel) << images[i].what << ": loaded in the screen's format";
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    EXPECT_EQ(nullptr, LoadBitmapW(module, MAKEINTRESOURCEW(199)));
}

TEST_F(Resources, LoadIconPicksSixteenBySixteenWithTheMostColours) {
    const uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    std::vector<GroupEntry> best = {{32, 4, 1, SolidIconImage(32, 4, red)},
                                    {16, 1, 2, SolidIconImage(16, 1, green)},
                                    {16, 4, 3, SolidIconImage(16, 4, blue)}};
    std::vector<GroupEntry> nearest = {{48, 4, 4, SolidIconImage(48, 4, green)},
                                       {32, 1, 5, SolidIconImage(32, 1, red)}};
    ResBuilder res;
    for (const auto *group : {&best, &nearest})
        for (const GroupEntry &e : *group) res.Add(3, e.id, e.image);
    res.Add(14, 50, Group(best));
    res.Add(14, 51, Group(nearest));
    HMODULE module = Module(res);
    EXPECT_EQ("16x16: #0000FF", Look(LoadIconW(module, MAKEINTRESOURCEW(50)))) << "the 4-bit image, not the 1-bit one";
    EXPECT_EQ("32x32: #FF0000", Look(LoadIconW(module, MAKEINTRESOURCEW(51)))) << "no 16 by 16 image: the nearest";
    EXPECT_EQ(nullptr, LoadIconW(module, MAKEINTRESOURCEW(52)));
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
