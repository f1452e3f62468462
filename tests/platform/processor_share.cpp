// The device's one processor: the readers of the rest of the system's share,
// the pieces of time it takes and what the monitor's graph makes of them.

#include "load/load_meter.h"
#include "platform/host/kernel_processor.h"
#include "platform/host/procfs.h"
#include "platform/programs/emulator.h"
#include "tests/support/device_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

TEST(HostShare, CpuLineReadOrRefused)
{
    struct Case {
        const char *text;
        bool ok;
        uint64_t busy, total;
    } cases[] = {
        // user nice system idle iowait irq softirq steal guest guest_nice
        {"cpu  100 5 20 800 30 1 2 3 40 0\ncpu0 1 2 3 4\n", true, 131, 961},
        {"cpu  7 0 3 90\n", true, 10, 100}, // an old kernel's four fields
        {"cpu  100 5 20\n", false, 0, 0},
        {"cpu  100 5 20 800", false, 0, 0},   // cut short: no line end
        {"cpu0 100 5 20 800\n", false, 0, 0}, // not the summary line
        {"cpu  100 x 20 800\n", false, 0, 0},
        {"cpu  18446744073709551615 18446744073709551615 0 0\n", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case &c : cases) {
        procfs::CpuTimes times;
        EXPECT_EQ(procfs::ParseCpuTimes(c.text, std::strlen(c.text), &times), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(times.busy, c.busy) << c.text;
            EXPECT_EQ(times.total, c.total) << c.text;
        }
    }
    // One busy program on two processors is half the machine; our own time
    // is not the rest of the system's.
    EXPECT_EQ(dev::BusyPermille(100, 200, 0), 500);
    EXPECT_EQ(dev::BusyPermille(100, 200, 40), 300);
    EXPECT_EQ(dev::BusyPermille(10, 200, 40), 0);
    EXPECT_EQ(dev::BusyPermille(300, 200, 0), 0);
    EXPECT_EQ(dev::BusyPermille(5, 0, 0), 0);
}

TEST(LoadProfile, ReadOrRefusedWithTheProblemNamed)
{
    std::vector<dev::LoadSpan> spans;
    std::string error;
    ASSERT_TRUE(dev::ParseLoadProfile("0-20:0,20-40:50,40.5-60:100", &spans, &error)) << error;
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[1].fromMs, 20000u);
    EXPECT_EQ(spans[1].toMs, 40000u);
    EXPECT_EQ(spans[1].percent, 50);
    EXPECT_EQ(spans[2].fromMs, 40500u);

    struct Bad {
        const char *text, *problem;
    } bad[] = {
        {"0-20:0,10-30:50", "overlaps"}, {"0-20:101", "percent"},
        {"busy", "FROM-TO:PERCENT"},     {"0-20:-5", "percent"},
        {"20-10:50", "ends before"},     {"0-x:50", "time"},
        {"0-20:50,", "FROM-TO:PERCENT"}, {"", "empty"},
    };
    for (const Bad &b : bad) {
        error.clear();
        EXPECT_FALSE(dev::ParseLoadProfile(b.text, &spans, &error)) << b.text;
        EXPECT_NE(error.find(b.problem), std::string::npos) << b.text << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(LoadProfile, OptionTakesTextOrFile)
{
    char path[] = "/tmp/perfmon-profile-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char file[] = "# a busy middle\n0-10:0\n10-20:75   # heavy\n\n20-30:0\n";
    ASSERT_EQ(write(fd, file, sizeof file - 1), (ssize_t)(sizeof file - 1));
    close(fd);
    std::string at = std::string("@") + path;
    const char *fromFile[] = {"perfmon", "--load", at.c_str()};
    dev::EmulatorOptions options;
    std::string error;
    ASSERT_EQ(dev::ParseEmulatorOptions(3, fromFile, &options, &error), dev::ParseRun) << error;
    ASSERT_EQ(options.load.size(), 3u);
    EXPECT_EQ(options.load[1].percent, 75);
    unlink(path);

    const char *overlap[] = {"perfmon", "--virtual-time", "--load", "0-20:10,19-30:20"};
    EXPECT_EQ(dev::ParseEmulatorOptions(4, overlap, &options, &error), dev::ParseError);
    EXPECT_NE(error.find("--load"), std::string::npos) << error;
    const char *missing[] = {"perfmon", "--load", "@/nonexistent/profile"};
    EXPECT_EQ(dev::ParseEmulatorOptions(3, missing, &options, &error), dev::ParseError);
    EXPECT_NE(error.find("/nonexistent/profile"), std::string::npos) << error;
}

// The model of the processor on its own: free instants asked for one
// millisecond after another, as the monitor's timer asks.
struct Pieces {
    uint64_t busyMs = 0;
    uint64_t longestPiece = 0;
    uint64_t runs = 0; // instants the device's threads had the processor
};

Pieces RunModel(int percent, uint64_t lengthMs)
{
    dev::Config config;
    config.manualClock = true;
    dev::ResetDevice(config);
    dev::SetLoadProfile({{0, lengthMs, percent}});
    Pieces p;
    std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
    uint64_t t = 0;
    while (t < lengthMs) {
        uint64_t free = dev::ProcessorFreeAt(t);
        p.busyMs += free - t;
        p.longestPiece = std::max(p.longestPiece, free - t);
        p.runs++;
        t = free + 1;
    }
    return p;
}

TEST(Processor, ShareTakenInPiecesOfAtMostOneQuantum)
{
    const uint64_t length = 600000;
    for (int percent : {10, 25, 50, 75, 95}) {
        Pieces p = RunModel(percent, length);
        double share = 100.0 * p.busyMs / length;
        EXPECT_NEAR(share, percent, 2.0) << percent << " %";
        EXPECT_LE(p.longestPiece, dev::kQuantumMs) << percent << " %";
    }
    EXPECT_EQ(RunModel(0, length).runs, length);
    // Fully taken, the device's ready threads still get in after every piece.
    Pieces full = RunModel(100, length);
    EXPECT_GE(full.busyMs, length * 98 / 100);
    EXPECT_LE(full.longestPiece, dev::kQuantumMs);
    EXPECT_GE(full.runs, length / (dev::kQuantumMs + 1));
}

// Live, the clock is held to the wall clock: a thread sleeping 1 ms at a
// time still wakes at every device millisecond (the host only batches them),
// and the device never gets ahead of the wall clock.
TEST(PacedClock, EveryMillisecondArrivesAndNeverAheadOfTheWall)
{
    auto before = std::chrono::steady_clock::now();
    dev::ResetDevice(dev::Config());
    std::atomic<int> skipped{0}, ahead{0}, done{0};
    ASSERT_NE(dev::StartDeviceThread(0,
                                     [&] {
                                         DWORD last = GetTickCount();
                                         for (int i = 0; i < 300; i++) {
                                             Sleep(1);
                                             DWORD now = GetTickCount();
                                             if (now - last != 1) skipped++;
                                             auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - before);
                                             if ((int64_t)now > wall.count()) ahead++;
                                             last = now;
                                         }
                                         done = 1;
                                     }),
              0u);
    for (int i = 0; i < 5000 && !done; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(done);
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(ahead, 0);
    dev::ResetDevice(dev::Config());
}

// The monitor under a 0 / 50 / 100 % step, twenty seconds each.
class LoadStep : public support::DeviceTest {
protected:
    std::vector<COLORREF> RunStep()
    {
        Boot();
        dev::SetLoadProfile({{20000, 40000, 50}, {40000, 60000, 100}});
        EXPECT_NE(StartMonitor(), 0u);
        Advance(60000);
        return BitmapPixels(monitorState.graphBitmap, GRAPH_WIDTH, GRAPH_HEIGHT);
    }

    static std::vector<int> Heights(const std::vector<COLORREF> &graph)
    {
        std::vector<int> heights(GRAPH_WIDTH);
        for (int x = 0; x < GRAPH_WIDTH; x++)
            while (heights[x] < GRAPH_HEIGHT &&
                   graph[(GRAPH_HEIGHT - 1 - heights[x]) * GRAPH_WIDTH + x] != RGB(255, 255, 255))
                heights[x]++;
        return heights;
    }
};

TEST_F(LoadStep, ColumnsInTheBandsTheMeterPredicts)
{
    std::vector<COLORREF> graph = RunStep();
    std::vector<int> h = Heights(graph);
    // 200 columns of 300 ms: about 67 per stretch, the newest at the right.
    // Idle the meter reads its floor, 25 %: 10 of 40 rows.
    for (int x = 5; x < 62; x++)
        EXPECT_EQ(h[x], 10) << "idle column " << x;
    // Half the time in 100 ms pieces: a reading just after a piece is about
    // 88 %, late in a free stretch it falls towards 25 %; on the whole the
    // meter's arithmetic gives about 65 %.
    double mean = std::accumulate(h.begin() + 72, h.begin() + 128, 0) / 56.0;
    int low = *std::min_element(h.begin() + 72, h.begin() + 128),
        high = *std::max_element(h.begin() + 72, h.begin() + 128);
    EXPECT_GE(mean, 0.55 * GRAPH_HEIGHT);
    EXPECT_LE(mean, 0.75 * GRAPH_HEIGHT);
    EXPECT_GE(low, 10);
    EXPECT_LE(high, 36);
    EXPECT_LT(low, high) << "the pieces come and go";
    // All of it taken: one arrival per 101 ms, 97 % and more.
    for (int x = 140; x < GRAPH_WIDTH; x++)
        EXPECT_GE(h[x], 38) << "full-load column " << x;
    CloseMonitor();

    // The same profile gives the same picture.
    EXPECT_EQ(RunStep(), graph);
}

// A press and its release on the main dialog's close box, both queued
// before the monitor's thread gets to run (as when a busy device holds the
// processor across the whole tap): the release must be read after the press
// took the capture, so it ends the tracking and the monitor closes.
class StylusQueue : public support::DeviceTest {};

TEST_F(StylusQueue, PressAndReleaseQueuedTogetherStillClose)
{
    Boot();
    ASSERT_NE(StartMonitor(), 0u);
    {
        std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
        dev::Tap(229, 10, true);
        dev::Tap(229, 10, false);
    }
    Advance(1000);
    EXPECT_FALSE(dev::ProgramRunning(monitorProcess)) << "the close box kept tracking a release it had already read";
}

} // namespace
