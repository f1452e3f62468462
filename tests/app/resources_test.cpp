// The compiled resources: the directory, the dialog templates byte by byte,
// the colour ramps and the probe icons, both as bytes and as the device
// loads and draws them, and the generated image files against the generator.

#include "app/resource.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using support::DialogInfo;
using support::DialogItemInfo;
using support::Narrow;
using support::ResourceEntry;

namespace {

const int kTypeBitmap = 2, kTypeIcon = 3, kTypeDialog = 5, kTypeGroupIcon = 14;
const int kAtomButton = 0x80, kAtomEdit = 0x81, kAtomStatic = 0x82;

// ------------------------------------------------------------- colour tables
// Rows top first, #RRGGBB.
std::vector<uint32_t> Rows(std::initializer_list<std::pair<int, uint32_t>> runs)
{
    std::vector<uint32_t> rows;
    for (auto run : runs)
        rows.insert(rows.end(), run.first, run.second);
    return rows;
}

const std::vector<uint32_t> kGraphFill = Rows({{2, 0xFF0000}, {4, 0xFF3300}, {4, 0xFF6600}, {4, 0xFF9900},
                                                {4, 0xFFCC00}, {4, 0xFFFF00}, {4, 0xCCFF00}, {4, 0x99FF00},
                                                {5, 0x66FF00}, {1, 0x33FF33}, {4, 0x00FF00}});
const std::vector<uint32_t> kIconFill = {0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900,
                                         0xFFCC00, 0xFFFF00, 0xFFFF00, 0xCCFF00, 0xCCCC00, 0x99CC00,
                                         0x66CC00, 0x339900, 0x339900, 0x008000};
const std::vector<uint32_t> kIconFillAlt = {0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900,
                                            0xFFCC00, 0xFFCC00, 0xFFFF00, 0xCCFF00, 0xCCFF00, 0x99FF00,
                                            0x66FF00, 0x66FF00, 0x00FF00, 0x00FF00};

// ------------------------------------------------------------ DIB decoding
uint32_t Dword(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t Word(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }

struct Dib {
    const uint8_t *header = nullptr;
    int width = 0, height = 0, bpp = 0; // height of the colour image (icons: half the header's)
    bool icon = false;
    uint32_t headerSize = 0, compression = 0, colorsUsed = 0;

    int PaletteEntries() const { return bpp <= 8 ? (colorsUsed ? (int)colorsUsed : 1 << bpp) : 0; }
    int Stride(int bits) const { return ((width * bits + 31) / 32) * 4; }
    const uint8_t *Bits() const { return header + headerSize + 4 * PaletteEntries(); }
    int Index(int x, int y) const // y top first
    {
        const uint8_t *row = Bits() + (height - 1 - y) * Stride(bpp);
        int bit = x * bpp;
        return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
    }
    uint32_t Rgb(int x, int y) const
    {
        const uint8_t *entry = header + headerSize + 4 * Index(x, y);
        return (uint32_t)entry[2] << 16 | entry[1] << 8 | entry[0];
    }
    bool Transparent(int x, int y) const
    {
        const uint8_t *mask = Bits() + height * Stride(bpp);
        const uint8_t *row = mask + (height - 1 - y) * Stride(1);
        return (row[x / 8] >> (7 - x % 8)) & 1;
    }
};

Dib ReadDib(const uint8_t *data, bool icon)
{
    Dib dib;
    dib.header = data;
    dib.icon = icon;
    dib.headerSize = Dword(data);
    dib.width = (int)Dword(data + 4);
    dib.height = (int)Dword(data + 8) / (icon ? 2 : 1);
    dib.bpp = Word(data + 14);
    dib.compression = Dword(data + 16);
    dib.colorsUsed = Dword(data + 32);
    return dib;
}

struct GroupImage {
    int width, height, bpp, id;
};

std::vector<GroupImage> ReadGroup(const ResourceEntry &group)
{
    std::vector<GroupImage> images;
    int count = Word(group.data + 4);
    for (int i = 0; i < count; i++) {
        const uint8_t *e = group.data + 6 + 14 * i;
        images.push_back(GroupImage{e[0], e[1], Word(e + 6), Word(e + 12)});
    }
    return images;
}

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ------------------------------------------------------------------ tests

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

TEST(ResourceScript, DirectoryHoldsEveryResourceInUsEnglish)
{
    std::set<std::pair<int, int>> found;
    for (const ResourceEntry &entry : support::MonitorResources()) {
        EXPECT_EQ(entry.language, 1033) << "type " << entry.type << " name " << entry.name;
        EXPECT_TRUE(found.insert({entry.type, entry.name}).second) << "twice: " << entry.type << "/" << entry.name;
    }
    std::set<std::pair<int, int>> expected = {
        {kTypeDialog, 101}, {kTypeDialog, 120}, {kTypeDialog, 121}, {kTypeDialog, 123}, {kTypeDialog, 127},
        {kTypeBitmap, 122}, {kTypeBitmap, 123}, {kTypeBitmap, 124},
        {kTypeGroupIcon, 119}, {kTypeGroupIcon, 120}, {kTypeGroupIcon, 121}, {kTypeGroupIcon, 122}};
    for (int image = 1; image <= 11; image++)
        expected.insert({kTypeIcon, image});
    EXPECT_EQ(found, expected);
}

struct GroupCase {
    int group;
    std::vector<GroupImage> images;
};

TEST(ResourceScript, IconGroupsReferenceTheirImages)
{
    const GroupCase cases[] = {
        {IDI_PROGRAM, {{32, 32, 2, 1}, {16, 16, 2, 2}, {16, 16, 4, 3}, {32, 32, 4, 4}, {16, 16, 8, 5}}},
        {IDI_PROGRAM_ALT, {{16, 16, 4, 6}, {32, 32, 4, 7}}},
        {IDI_PROBE_A, {{16, 16, 4, 8}, {16, 16, 2, 9}}},
        {IDI_PROBE_B, {{16, 16, 4, 10}, {16, 16, 2, 11}}},
    };
    for (const GroupCase &c : cases) {
        const ResourceEntry *group = support::FindMonitorResource(kTypeGroupIcon, c.group);
        ASSERT_NE(group, nullptr) << c.group;
        std::vector<GroupImage> images = ReadGroup(*group);
        ASSERT_EQ(images.size(), c.images.size()) << "group " << c.group;
        for (size_t i = 0; i < images.size(); i++) {
            const GroupImage &got = images[i], &want = c.images[i];
            EXPECT_TRUE(got.width == want.width && got.height == want.height && got.bpp == want.bpp &&
                        got.id == want.id)
                << "group " << c.group << " entry " << i << ": " << got.width << "x" << got.height << " at "
                << got.bpp << " bits, image " << got.id;
            const ResourceEntry *image = support::FindMonitorResource(kTypeIcon, got.id);
            ASSERT_NE(image, nullptr) << got.id;
            Dib dib = ReadDib(image->data, true);
            EXPECT_TRUE(dib.headerSize == 40 && dib.width == want.width && dib.height == want.height &&
                        dib.bpp == want.bpp && dib.compression == 0)
                << "image " << got.id << ": header " << dib.headerSize << ", " << dib.width << "x" << dib.height
                << " at " << dib.bpp << " bits, compression " << dib.compression;
        }
    }
}

DialogInfo ParseDialog(int name)
{
    DialogInfo dialog = {};
    const ResourceEntry *entry = support::FindMonitorResource(kTypeDialog, name);
    EXPECT_NE(entry, nullptr) << "dialog " << name;
    if (entry) {
        EXPECT_TRUE(support::ParseDialogTemplate(entry->data, entry->size, &dialog)) << "dialog " << name;
    }
    return dialog;
}

void ExpectFrame(const DialogInfo &dialog, DWORD style, int cx, int cy, const char16_t *title, int name)
{
    EXPECT_EQ(dialog.style, style) << std::hex << "dialog " << std::dec << name;
    EXPECT_EQ(dialog.exStyle, 0u) << name;
    EXPECT_TRUE(dialog.x == 0 && dialog.y == 0 && dialog.cx == cx && dialog.cy == cy)
        << name << ": " << dialog.x << "," << dialog.y << "," << dialog.cx << "," << dialog.cy;
    EXPECT_TRUE(dialog.menu.empty() && dialog.className.empty())
        << name << ": menu '" << Narrow(dialog.menu) << "' class '" << Narrow(dialog.className) << "'";
    EXPECT_EQ(Narrow(dialog.title), Narrow(title)) << name;
    EXPECT_EQ(dialog.pointSize, 8) << name;
    EXPECT_EQ(Narrow(dialog.font), "MS Sans Serif") << name;
}

struct ItemCase {
    int classAtom;
    const char16_t *className;
    int id;
    const char16_t *text;
    int x, y, cx, cy;
    DWORD style;
};

void ExpectItems(const DialogInfo &dialog, const std::vector<ItemCase> &items, int name)
{
    ASSERT_EQ(dialog.items.size(), items.size()) << "dialog " << name;
    for (size_t i = 0; i < items.size(); i++) {
        const DialogItemInfo &got = dialog.items[i];
        const ItemCase &want = items[i];
        SCOPED_TRACE("dialog " + std::to_string(name) + " control " + std::to_string(i + 1));
        EXPECT_EQ(got.classAtom, want.classAtom);
        // Class names compare without regard to case, as the platform does.
        std::u16string gotName = got.className, wantName = want.className;
        for (auto *s : {&gotName, &wantName})
            for (char16_t &c : *s)
                c = (c >= 'a' && c <= 'z') ? (char16_t)(c - 32) : c;
        EXPECT_EQ(Narrow(gotName), Narrow(wantName));
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(Narrow(got.text), Narrow(want.text));
        EXPECT_TRUE(got.x == want.x && got.y == want.y && got.cx == want.cx && got.cy == want.cy)
            << got.x << "," << got.y << "," << got.cx << "," << got.cy;
        EXPECT_EQ(got.style, want.style) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.creationBytes, 0);
    }
}

TEST(ResourceScript, MainDialogTemplate)
{
    DialogInfo dialog = ParseDialog(IDD_MAIN);
    // No WS_POPUP and no WS_VISIBLE: created hidden, shown by the start-up.
    ExpectFrame(dialog, 0x00C800C0, 157, 82, u"Performance Monitor", IDD_MAIN);
    ExpectItems(dialog,
                {
                    {kAtomStatic, u"", 65535, u"Program Memory:\r\nMain Memory:", 7, 7, 60, 16, 0x50020002},
                    {kAtomStatic, u"", IDC_MEMORY_TEXT, u"815,367\r\n123,456", 69, 7, 39, 16, 0x50020000},
                    {kAtomStatic, u"", IDC_GRAPH, u"", 13, 26, 15, 13, 0x5000000E},
                    {kAtomButton, u"", IDC_THREADS, u"Threads", 7, 63, 45, 12, 0x50010000},
                    {kAtomButton, u"", IDC_HELP, u"Help", 105, 63, 45, 12, 0x50010000},
                    {kAtomButton, u"", IDC_HIDE, u"Hide", 56, 63, 45, 12, 0x50010000},
                },
                IDD_MAIN);
}

TEST(ResourceScript, ThreadTimesTemplate)
{
    DialogInfo dialog = ParseDialog(IDD_THREADS);
    ExpectFrame(dialog, 0x80C800C0, 157, 162, u"Thread Times", IDD_THREADS);
    ExpectItems(dialog, {{0, u"SysListView32", IDC_THREAD_LIST, u"List1", 7, 7, 143, 148, 0x50810001}}, IDD_THREADS);
}

TEST(ResourceScript, TemplatesNothingLoads)
{
    DialogInfo edit = ParseDialog(IDD_EDIT_BOX);
    ExpectFrame(edit, 0x80C800C0, 157, 95, u"Dialog", IDD_EDIT_BOX);
    ExpectItems(edit,
                {
                    {kAtomEdit, u"", IDC_EDIT_TEXT, u"", 7, 7, 143, 57, 0x50810044},
                    {kAtomButton, u"", IDOK, u"OK", 7, 74, 50, 14, 0x50010001},
                    {kAtomButton, u"", IDCANCEL, u"Cancel", 100, 74, 50, 14, 0x50010000},
                },
                IDD_EDIT_BOX);
    DialogInfo dead = ParseDialog(IDD_DEAD_WINDOW);
    ExpectFrame(dead, 0x80C800C0, 144, 95, u"Dead Window!", IDD_DEAD_WINDOW);
    ExpectItems(dead,
                {{kAtomStatic, u"", 65535, u"Whoops! One of the windows in the system seems to be unresponsive.", 7,
                  7, 130, 23, 0x50020000}},
                IDD_DEAD_WINDOW);
    DialogInfo about = ParseDialog(IDD_ABOUT);
    EXPECT_EQ(about.style, 0x80C800C0u);
    EXPECT_FALSE(about.items.empty());
}

struct RampCase {
    int id;
    const std::vector<uint32_t> *rows;
};
const RampCase kRamps[] = {{IDB_GRAPH_FILL, &kGraphFill}, {IDB_ICON_FILL, &kIconFill},
                           {IDB_ICON_FILL_ALT, &kIconFillAlt}};

TEST(ResourceScript, RampsAreOnePixelWideEightBitBottomUpWithFullPalettes)
{
    for (const RampCase &ramp : kRamps) {
        const ResourceEntry *entry = support::FindMonitorResource(kTypeBitmap, ramp.id);
        ASSERT_NE(entry, nullptr) << ramp.id;
        Dib dib = ReadDib(entry->data, false);
        int rows = (int)ramp.rows->size();
        EXPECT_TRUE(dib.headerSize == 40 && dib.width == 1 && dib.height == rows && dib.bpp == 8 &&
                    dib.compression == 0 && dib.colorsUsed == 0)
            << "bitmap " << ramp.id << ": header " << dib.headerSize << ", " << dib.width << "x" << dib.height
            << " at " << dib.bpp << " bits, compression " << dib.compression << ", colours " << dib.colorsUsed;
        // header, 256 palette entries, rows padded to 4 bytes
        EXPECT_EQ(entry->size, 40u + 256 * 4 + 4 * rows) << ramp.id;
        for (int y = 0; y < rows; y++)
            EXPECT_EQ(dib.Rgb(0, y), (*ramp.rows)[y]) << std::hex << "bitmap " << std::dec << ramp.id << " row " << y;
    }
}

TEST(ResourceScript, ProbeIconImagesAreSolidAndOpaque)
{
    const struct {
        int group;
        uint32_t rgb;
    } probes[] = {{IDI_PROBE_A, 0x000000}, {IDI_PROBE_B, 0xFFFFFF}};
    for (auto probe : probes) {
        for (const GroupImage &image : ReadGroup(*support::FindMonitorResource(kTypeGroupIcon, probe.group))) {
            Dib dib = ReadDib(support::FindMonitorResource(kTypeIcon, image.id)->data, true);
            int wrong = 0, transparent = 0;
            for (int y = 0; y < 16; y++)
                for (int x = 0; x < 16; x++) {
                    wrong += dib.Rgb(x, y) != probe.rgb;
                    transparent += dib.Transparent(x, y);
                }
            EXPECT_EQ(wrong, 0) << "group " << probe.group << " image " << image.id << " (" << image.bpp << " bits)";
            EXPECT_EQ(transparent, 0) << "group " << probe.group << " image " << image.id;
        }
    }
}

TEST(ResourceScript, ProgramIconsHaveTransparentCornersAndAnOpaqueScreen)
{
    for (int group : {IDI_PROGRAM, IDI_PROGRAM_ALT}) {
        for (const GroupImage &image : ReadGroup(*support::FindMonitorResource(kTypeGroupIcon, group))) {
            Dib dib = ReadDib(support::FindMonitorResource(kTypeIcon, image.id)->data, true);
            int last = image.width - 1;
            EXPECT_TRUE(dib.Transparent(0, 0) && dib.Transparent(last, 0) && dib.Transparent(0, last) &&
                        dib.Transparent(last, last))
                << "image " << image.id;
            EXPECT_FALSE(dib.Transparent(image.width / 2, image.width / 3)) << "image " << image.id;
        }
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

TEST_F(ResourcesAsLoaded, RampsReadBackThroughGetPixel)
{
    for (const RampCase &ramp : kRamps) {
        HBITMAP bitmap = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(ramp.id));
        ASSERT_NE(bitmap, nullptr) << ramp.id;
        int rows = (int)ramp.rows->size();
        for (int y = 0; y < rows; y++)
            EXPECT_EQ(BitmapPixel(bitmap, 0, y), support::FromRgb((*ramp.rows)[y]))
                << std::hex << "bitmap " << std::dec << ramp.id << " row " << y;
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
        EXPECT_EQ(MismatchesOnBackground(black, background, RGB(0, 0, 0)), 0) << "probe A on " << std::hex << background;
        EXPECT_EQ(MismatchesOnBackground(white, background, RGB(255, 255, 255)), 0)
            << "probe B on " << std::hex << background;
    }
}

TEST_F(ResourcesAsLoaded, OneNumberNamesDifferentResourcesPerType)
{
    HINSTANCE instance = monitorState.instance;
    // 120: the main dialog and the program's 4-bit icon
    HRSRC dialog = FindResourceW(instance, MAKEINTRESOURCEW(120), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    DialogInfo info = {};
    ASSERT_TRUE(support::ParseDialogTemplate((const uint8_t *)LockResource(LoadResource(instance, dialog)),
                                             SizeofResource(instance, dialog), &info));
    EXPECT_EQ(Narrow(info.title), "Performance Monitor");
    HRSRC group = FindResourceW(instance, MAKEINTRESOURCEW(120), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(Word((const uint8_t *)LockResource(LoadResource(instance, group)) + 4), 2) << "images of icon 120";
    EXPECT_EQ(FindResourceW(instance, MAKEINTRESOURCEW(120), RT_BITMAP), nullptr);

    // 121: the Thread Times dialog and the black probe
    dialog = FindResourceW(instance, MAKEINTRESOURCEW(121), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(support::ParseDialogTemplate((const uint8_t *)LockResource(LoadResource(instance, dialog)),
                                             SizeofResource(instance, dialog), &info));
    EXPECT_EQ(Narrow(info.title), "Thread Times");
    HICON probe = LoadIconW(instance, MAKEINTRESOURCEW(121));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(MismatchesOnBackground(probe, RGB(255, 255, 255), RGB(0, 0, 0)), 0);

    // 122: the graph ramp (1 by 40) and the white probe
    HBITMAP ramp = LoadBitmapW(instance, MAKEINTRESOURCEW(122));
    BITMAP size = {};
    GetObjectW(ramp, sizeof(size), &size);
    EXPECT_TRUE(size.bmWidth == 1 && size.bmHeight == 40) << size.bmWidth << "x" << size.bmHeight;
    DeleteObject(ramp);
    probe = LoadIconW(instance, MAKEINTRESOURCEW(122));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(MismatchesOnBackground(probe, RGB(0, 0, 0), RGB(255, 255, 255)), 0);

    // 123: the unused Dead Window template and the icon ramp (1 by 16)
    dialog = FindResourceW(instance, MAKEINTRESOURCEW(123), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(support::ParseDialogTemplate((const uint8_t *)LockResource(LoadResource(instance, dialog)),
                                             SizeofResource(instance, dialog), &info));
    EXPECT_EQ(Narrow(info.title), "Dead Window!");
    ramp = LoadBitmapW(instance, MAKEINTRESOURCEW(123));
    GetObjectW(ramp, sizeof(size), &size);
    EXPECT_TRUE(size.bmWidth == 1 && size.bmHeight == 16) << size.bmWidth << "x" << size.bmHeight;
    DeleteObject(ramp);
}

} // namespace
