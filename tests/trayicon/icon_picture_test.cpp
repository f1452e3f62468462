// The 16 by 16 mini graph: which history slots the columns show, the bars
// copied from the ramp, the grid columns and the frame rows, read back from
// the icon's colour bitmap.
#include "tray_fixture.h"

using namespace tray_test;

namespace {

const int G = -1; // a grid column

// The picture as text, one line per row: 'b' brush colour, '.' white,
// 'r' the ramp's colour of that row, '?' anything else.
std::vector<std::string> Render(const std::vector<COLORREF> &picture, const std::vector<COLORREF> &ramp)
{
    std::vector<std::string> lines;
    for (int y = 0; y < ICON_SIZE; y++) {
        std::string line;
        for (int x = 0; x < ICON_SIZE; x++) {
            COLORREF c = picture[y * ICON_SIZE + x];
            line += c == brushColor ? 'b' : c == white ? '.' : c == ramp[y] ? 'r' : '?';
        }
        lines.push_back(line);
    }
    return lines;
}

// What a user should see for these column heights (G for a grid column).
std::vector<std::string> Expected(const int heights[ICON_SIZE])
{
    std::vector<std::string> lines;
    for (int y = 0; y < ICON_SIZE; y++) {
        std::string line;
        for (int x = 0; x < ICON_SIZE; x++) {
            int h = heights[x];
            if (y == ICON_SIZE - 1 || h == G)
                line += 'b';
            else if (y >= ICON_SIZE - 1 - h)
                line += 'r';
            else
                line += y == 0 ? 'b' : '.';
        }
        lines.push_back(line);
    }
    return lines;
}

class PictureTest : public TrayTest {
protected:
    void SetUp() override
    {
        TrayTest::SetUp();
        HBITMAP loaded = LoadBitmapW(monitorState.instance, MAKEINTRESOURCEW(IDB_ICON_FILL));
        ramp = BitmapPixels(loaded, 1, ICON_SIZE);
        DeleteObject(loaded);
        ASSERT_EQ(ramp.size(), (size_t)ICON_SIZE) << "the icon ramp resource";
        StartIcon();
    }
    std::vector<COLORREF> IconPicture() { return BitmapPixels(monitorState.iconColorBitmap, ICON_SIZE, ICON_SIZE); }
    std::vector<COLORREF> ramp;
};

// Every shown slot k (a multiple of 4) holds the load for a bar of
// (k / 4) mod 16 rows, so each column's height tells which slot it shows;
// the slots in between hold 99, so showing one of them is plain to see.
// Before any of it the first icon is all white.
TEST_F(PictureTest, ColumnsShowEveryFourthSlotEndingAtTheNewest)
{
    const struct {
        int nextIndex;
        int heights[ICON_SIZE];
    } cases[] = {{0, {2, 3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1}},
                 {1, {3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G}},
                 {4, {3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G}},
                 {5, {4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0, 1, G, 1}},
                 {196, {1, 2, 3, 4, 5, 6, 7, G, 9, 10, 11, 12, 13, 14, 15, 0}}};
    ASSERT_NE(monitorState.trayIcon, nullptr);
    EXPECT_EQ(Render(IconPicture(), ramp), std::vector<std::string>(ICON_SIZE, std::string(ICON_SIZE, '.')))
        << "the first icon, before any sample";
    for (int k = 0; k < LOAD_HISTORY_SLOTS; k++)
        monitorState.history.samples[k] = k % 4 ? 99 : (k / 4 % 16 * 100 + 15) / 16; // least load for that bar
    for (const auto &c : cases) {
        monitorState.history.nextIndex = c.nextIndex;
        Tick();
        EXPECT_EQ(Render(IconPicture(), ramp), Expected(c.heights)) << "nextIndex " << c.nextIndex;
    }
}

// Out-of-range loads never cover the bottom grid row.
TEST_F(PictureTest, BarsKeepTheRampFixedToTheRows)
{
    const struct {
        int load, height;
    } cases[] = {{0, 0}, {6, 0}, {7, 1}, {50, 8}, {93, 14}, {94, 15}, {99, 15}, {-40, 0}, {250, 15}};
    for (auto c : cases) {
        for (int &sample : monitorState.history.samples)
            sample = c.load;
        monitorState.history.nextIndex = 0;
        Tick();
        int heights[ICON_SIZE];
        for (int x = 0; x < ICON_SIZE; x++)
            heights[x] = x == 6 ? G : c.height;
        EXPECT_EQ(Render(IconPicture(), ramp), Expected(heights)) << "load " << c.load;
    }
}

} // namespace
