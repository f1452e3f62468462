// The compiled resources: the two dialog templates the program loads, the
// colour ramps and the probe icons as the device loads and draws them, and
// the generated image files against the generator.

#include "app/resource.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using support::DialogInfo;
using support::DialogItemInfo;
using support::Narrow;

namespace {

// ------------------------------------------------------------- colour tables
// Rows top first, #RRGGBB; the graph's as runs of equal rows.
const std::vector<uint32_t> kGraphFill = [] {
    const std::pair<int, uint32_t> runs[] = {{2, 0xFF0000}, {4, 0xFF3300}, {4, 0xFF6600}, {4, 0xFF9900},
                                             {4, 0xFFCC00}, {4, 0xFFFF00}, {4, 0xCCFF00}, {4, 0x99FF00},
                                             {5, 0x66FF00}, {1, 0x33FF33}, {4, 0x00FF00}};
    std::vector<uint32_t> rows;
    for (auto run : runs)
        rows.insert(rows.end(), run.first, run.second);
    return rows;
}();
const std::vector<uint32_t> kIconFill = {0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900,
                                         0xFFCC00, 0xFFFF00, 0xFFFF00, 0xCCFF00, 0xCCCC00, 0x99CC00,
                                         0x66CC00, 0x339900, 0x339900, 0x008000};
const std::vector<uint32_t> kIconFillAlt = {0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900,
                                            0xFFCC00, 0xFFCC00, 0xFFFF00, 0xCCFF00, 0xCCFF00, 0x99FF00,
                                            0x66FF00, 0x66FF00, 0x00FF00, 0x00FF00};

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ResourceScript, GeneratedImagesMatchTheGenerator)
{
    std::string out = std::string(PERFMON_BINARY_DIR) + "/regenerated_res";
    std::string command = "python3 " PERFMON_SOURCE_DIR "/tools/make_resources.py " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char *name : {"graph_fill.bmp", "icon_fill.bmp", "icon_fill_alt.bmp", "probe_a.ico", "probe_b.ico",
                             "program.ico", "program_alt.ico"}) {
        std::vector<uint8_t> committed = ReadFile(std::string(PERFMON_SOURCE_DIR) + "/app/res/" + name);
        std::vector<uint8_t> regenerated = ReadFile(out + "/" + name);
        EXPECT_FALSE(committed.empty()) << name;
        EXPECT_TRUE(committed == regenerated) << name << ": committed " << committed.size() << " bytes, generator "
                                              << regenerated.size() << "; run tools/make_resources.py";
    }
}

// ----------------------------------------------- as the device loads them

class ResourcesAsLoaded : public support::DeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Boot());
        ASSERT_NO_FATAL_FAILURE(AdoptAsMonitor());
    }
};

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof(text), "%08X", value);
    return text;
}

// The template as lines: the frame, then one line per control. Class names
// compare without regard to case, as the platform does.
std::vector<std::string> DescribeDialog(int name)
{
    HRSRC found = FindResourceW(monitorState.instance, MAKEINTRESOURCEW(name), RT_DIALOG);
    const uint8_t *bytes = (const uint8_t *)LockResource(LoadResource(monitorState.instance, found));
    DialogInfo d = {};
    if (!bytes || !support::ParseDialogTemplate(bytes, SizeofResource(monitorState.instance, found), &d))
        return {"dialog " + std::to_string(name) + " missing or unreadable"};
    auto place = [](int x, int y, int cx, int cy) {
        return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," + std::to_string(cy);
    };
    std::vector<std::string> lines = {Hex(d.style) + " ex " + Hex(d.exStyle) + " " + place(d.x, d.y, d.cx, d.cy) +
                                      " menu '" + Narrow(d.menu) + "' class '" + Narrow(d.className) + "' '" +
                                      Narrow(d.title) + "' " + std::to_string(d.pointSize) + " " + Narrow(d.font)};
    for (const DialogItemInfo &c : d.items) {
        std::string className = Narrow(c.className);
        for (char &ch : className)
            ch = (char)toupper((unsigned char)ch);
        lines.push_back((c.classAtom ? "atom " + Hex(c.classAtom).substr(6) : className) + " #" + std::to_string(c.id) +
                        " '" + Narrow(c.text) + "' " + place(c.x, c.y, c.cx, c.cy) + " " + Hex(c.style) + " ex " +
                        Hex(c.exStyle) + " +" + std::to_string(c.creationBytes));
    }
    return lines;
}

TEST_F(ResourcesAsLoaded, DialogTemplatesTheProgramLoads)
{
    // No WS_POPUP and no WS_VISIBLE on the main dialog: created hidden, shown by the start-up.
    EXPECT_EQ(DescribeDialog(IDD_MAIN),
              (std::vector<std::string>{
                  "00C800C0 ex 00000000 0,0,157,82 menu '' class '' 'Performance Monitor' 8 MS Sans Serif",
                  "atom 82 #65535 'Program Memory:\\r\\nMain Memory:' 7,7,60,16 50020002 ex 00000000 +0",
                  "atom 82 #1029 '815,367\\r\\n123,456' 69,7,81,16 50020000 ex 00000000 +0",
                  "atom 82 #1032 '' 13,26,15,13 5000000E ex 00000000 +0",
                  "atom 80 #1031 'Threads' 7,63,45,12 50010000 ex 00000000 +0",
                  "atom 80 #1007 'Help' 105,63,45,12 50010000 ex 00000000 +0",
                  "atom 80 #1034 'Hide' 56,63,45,12 50010000 ex 00000000 +0",
              }));
    EXPECT_EQ(DescribeDialog(IDD_THREADS),
              (std::vector<std::string>{
                  "80C800C0 ex 00000000 0,0,157,162 menu '' class '' 'Thread Times' 8 MS Sans Serif",
                  "SYSLISTVIEW32 #1030 'List1' 7,7,143,148 50810001 ex 00000000 +0",
              }));
}

TEST_F(ResourcesAsLoaded, RampsReadBackThroughGetPixel)
{
    const std::pair<int, const std::vector<uint32_t> *> ramps[] = {
        {IDB_GRAPH_FILL, &kGraphFill}, {IDB_ICON_FILL, &kIconFill}, {IDB_ICON_FILL_ALT, &kIconFillAlt}};
    for (auto ramp : ramps) {
        HBITMAP bitmap = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(ramp.first));
        ASSERT_NE(bitmap, nullptr) << ramp.first;
        int rows = (int)ramp.second->size();
        for (int y = 0; y < rows; y++)
            EXPECT_EQ(BitmapPixel(bitmap, 0, y), support::FromRgb((*ramp.second)[y]))
                << "bitmap " << ramp.first << " row " << y;
        EXPECT_EQ(BitmapPixel(bitmap, 1, 0), CLR_INVALID) << "1 pixel wide";
        EXPECT_EQ(BitmapPixel(bitmap, 0, rows), CLR_INVALID) << rows << " rows";
        DeleteObject(bitmap);
    }
}

// Draws the icon on a 16 by 16 background of the given colour and counts
// the pixels that are not the expected colour.
int MismatchesOnBackground(HICON icon, COLORREF background, COLORREF expected)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, 16, 16, background == 0 ? BLACKNESS : WHITENESS);
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    int mismatches = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            mismatches += GetPixel(dc, x, y) != expected;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return mismatches;
}

TEST_F(ResourcesAsLoaded, ProbeIconsCoverAllPixelsOnAnyBackground)
{
    HICON black = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(IDI_PROBE_A));
    HICON white = LoadIconW(monitorState.instance, MAKEINTRESOURCEW(IDI_PROBE_B));
    ASSERT_TRUE(black && white);
    for (COLORREF background : {RGB(0, 0, 0), RGB(255, 255, 255)}) {
        EXPECT_EQ(MismatchesOnBackground(black, background, RGB(0, 0, 0)), 0)
            << "probe A on " << std::hex << background;
        EXPECT_EQ(MismatchesOnBackground(white, background, RGB(255, 255, 255)), 0)
            << "probe B on " << std::hex << background;
    }
}

} // namespace
