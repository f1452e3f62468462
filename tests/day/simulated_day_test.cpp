// A whole busy day of the monitor on the virtual clock, the tick count
// wrapping at noon; a user program of the device plays it and checkpoints
// read the state while every device thread waits. Under the sanitizers (or
// with PERFMON_SHORT_DAY=1) each hour shrinks to 75 seconds.
#include "app/monitor_state.h"
#include "app/resource.h"
#include "load/load_meter.h"
#include "platform/host/kernel.h"
#include "platform/host/user.h"
#include "platform/host/screen.h"
#include "platform/host/shell.h"
#include "platform/programs/programs.h"
#include "platform/host/kernel_processor.h"
#include "tests/support/device_fixture.h"
#include "trayicon/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DAY_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define DAY_UNDER_SANITIZER 1
#endif
#endif
#ifndef DAY_UNDER_SANITIZER
#define DAY_UNDER_SANITIZER 0
#endif

namespace {

const int kSlots = 24;                 // the day's "hours"
const int kWrapSlot = 12;              // the tick count wraps as this one starts
const uint64_t kCheckOffsetMs = 65000; // each hour's checkpoint, after its events have settled
const DWORD kReportPollMs = 1000;      // how often the user looks for a report box
const int kIdleReading = 25;           // what the estimator reads with nothing else running

// Share of the device's processor the rest of the system takes, hour by
// hour, from midnight: a quiet night, busy working hours heavy on both sides
// of the wrap, an idle lunch hour after it, and full-load bursts (one of them
// while the hang demo is frozen, so a real hang is told from a busy device).
const int kSlotBusy[kSlots] = {0,  0, 0,  10, 0,   0,  0,  25, 50, 75, 50,  100,
                               75, 0, 50, 75, 100, 50, 25, 10, 0,  25, 100, 0};

struct Step {
    int slot;
    uint64_t offsetMs; // within the slot; at most 40 s, so a 75-second hour holds it
    const char *act;
};

// What the user does. At the first minute and at the end the same programs
// run in the same state (Wexdock hidden, no TrayGuest, no dialog open).
const Step kSteps[] = {
    {0, 20000, "start Wexdock"},       {0, 40000, "hide Wexdock"},        {0, 45000, "tap the icon"},
    {1, 5000, "show Wexdock"},         {2, 5000, "hide Wexdock"},         {2, 8000, "tap the icon"},
    {3, 5000, "start TrayGuest"},      {4, 5000, "icon to first place"},  {4, 30000, "icon to second place"},
    {5, 5000, "close Wexdock"},        {6, 5000, "freeze the hang demo"}, {7, 5000, "open Thread Times"},
    {7, 35000, "close Thread Times"},  {8, 5000, "hide the monitor"},     {9, 5000, "tap the icon"},
    {10, 5000, "close TrayGuest"},     {11, 3000, "tap the icon"},        {14, 5000, "start Wexdock"},
    {15, 5000, "hide Wexdock"},        {15, 8000, "tap the icon"},        {16, 5000, "freeze the hang demo"},
    {17, 5000, "open Thread Times"},   {17, 35000, "close Thread Times"}, {18, 5000, "start TrayGuest"},
    {19, 5000, "icon to first place"}, {20, 5000, "close TrayGuest"},     {21, 5000, "show Wexdock"},
    {22, 5000, "hide Wexdock"},        {22, 8000, "tap the icon"},        {kSlots, 0, "close the monitor"}};

// Hours whose checkpoint finds Wexdock shown, so it has the icon; that has a
// minute of foreground behind it, so the graph must show the whole ring; and
// that sees the same programs in the same state as the first minute.
const std::set<int> kDocked = {1, 14, 21}, kGraphSettled = {9, 11, 12, 13}, kBaselineState = {2, 22};

struct Snapshot {
    std::string name;
    int slot = -1;
    uint64_t at = 0;
    DWORD tick = 0;
    long counts[dev::KindCount] = {};
    long virtualBlocks = 0;
    MonitorState state{}; // the estimator, the history and the icon's place
    bool foreground = false, mainVisible = false, inTray = false, dockHasIcon = false;
    std::vector<COLORREF> graph;   // GRAPH_WIDTH by GRAPH_HEIGHT, row by row
    std::vector<COLORREF> picture; // the icon's 16 by 16 picture
    RECT slotRect{};               // the icon's place on the taskbar, taskbar coordinates
    std::vector<COLORREF> shown;   // what the taskbar (or Wexdock's copy) shows
};

struct Report {
    HWND box;
    uint64_t at;
    std::u16string text;
};

double Mean(const LoadHistory &history)
{
    return std::accumulate(history.samples, history.samples + LOAD_HISTORY_SLOTS, 0.0) / LOAD_HISTORY_SLOTS;
}

// The lowest and the highest sample.
std::pair<int, int> Range(const LoadHistory &history)
{
    auto range = std::minmax_element(history.samples, history.samples + LOAD_HISTORY_SLOTS);
    return {*range.first, *range.second};
}

// The first column of the graph that is not its history sample drawn as a
// bar from the bottom (white above), or empty.
std::string GraphMismatch(const Snapshot &s)
{
    const COLORREF white = RGB(255, 255, 255);
    for (int x = 0; x < GRAPH_WIDTH; x++) {
        int sample = s.state.history.samples[(s.state.history.nextIndex + x) % LOAD_HISTORY_SLOTS];
        int height = GRAPH_HEIGHT * sample / 100;
        for (int y = 0; y < GRAPH_HEIGHT; y++) {
            bool blank = s.graph[y * GRAPH_WIDTH + x] == white;
            if (blank != (y < GRAPH_HEIGHT - height))
                return "column " + std::to_string(x) + " (sample " + std::to_string(sample) + ", bar " +
                       std::to_string(height) + " high) row " + std::to_string(y) + " is " +
                       (blank ? "white" : "coloured");
        }
    }
    return "";
}

std::string PictureMismatch(const std::vector<COLORREF> &want, const std::vector<COLORREF> &got)
{
    if (got.size() != want.size()) return "no picture (" + std::to_string(got.size()) + " pixels)";
    size_t i = std::mismatch(want.begin(), want.end(), got.begin()).first - want.begin();
    if (i == want.size()) return "";
    char text[96];
    snprintf(text, sizeof text, "pixel %d,%d shows %06X, the picture has %06X", (int)(i % ICON_SIZE),
             (int)(i / ICON_SIZE), (unsigned)got[i], (unsigned)want[i]);
    return text;
}

int MonitorEntry(HINSTANCE instance, LPWSTR)
{
    WCHAR empty[1] = {0};
    return WinMain(instance, nullptr, empty, SW_SHOW);
}

class SimulatedDay : public support::DeviceTest {
protected:
    uint64_t slotMs = 0;
    HWND dialog = nullptr;

    std::mutex mutex; // guards what the device threads hand back
    std::vector<Snapshot> snapshots;
    std::vector<Report> reports;
    std::vector<std::string> problems;
    std::atomic<bool> directorDone{false};

    uint64_t SlotStart(int slot) const { return slotMs * (uint64_t)slot; }

    bool MonitorIcon(dev::NotifyIconEntry *entry)
    {
        for (const dev::NotifyIconEntry &icon : dev::NotifyIcons())
            if (icon.owner == dialog && icon.id == ID_TRAY_ICON) {
                *entry = icon;
                return true;
            }
        return false;
    }

    // Runs under the device lock while every device thread waits.
    void Capture(const std::string &name, int slot)
    {
        Snapshot s;
        s.name = name;
        s.slot = slot;
        for (int kind = 0; kind < dev::KindCount; kind++)
            s.counts[kind] = dev::LiveObjects((dev::ObjectKind)kind);
        s.virtualBlocks = dev::LiveVirtualAllocations();
        s.at = dev::Now();
        s.tick = (DWORD)(dev::CurrentConfig().tickStart + s.at);
        s.state = monitorState;
        s.foreground = GetForegroundWindow() == dialog;
        s.mainVisible = IsWindowVisible(dialog) != 0;
        s.graph = BitmapPixels(monitorState.graphBitmap, GRAPH_WIDTH, GRAPH_HEIGHT);
        s.picture = BitmapPixels(monitorState.iconColorBitmap, ICON_SIZE, ICON_SIZE);
        dev::NotifyIconEntry icon;
        if (MonitorIcon(&icon)) {
            s.inTray = true;
            s.slotRect = icon.slot;
            RECT bar, client;
            dev::WindowScreenRects(dev::TaskbarWindow(), &bar, &client);
            for (int y = 0; y < ICON_SIZE; y++)
                for (int x = 0; x < ICON_SIZE; x++) {
                    uint32_t rgb = dev::ScreenPixels()[(client.top + icon.slot.top + y) * dev::ScreenWidth() +
                                                       client.left + icon.slot.left + x];
                    s.shown.push_back(support::FromRgb(rgb));
                }
        } else if (HICON docked = dev::WexdockIcon()) {
            s.dockHasIcon = true;
            ICONINFO info = {};
            if (GetIconInfo(docked, &info)) {
                s.shown = BitmapPixels(info.hbmColor, ICON_SIZE, ICON_SIZE);
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        snapshots.push_back(std::move(s));
    }

    bool TapMonitorIcon()
    {
        POINT point;
        {
            std::lock_guard<std::recursive_mutex> lock(dev::BigLock());
            dev::NotifyIconEntry icon;
            RECT bar, client;
            if (!MonitorIcon(&icon) || !dev::WindowScreenRects(dev::TaskbarWindow(), &bar, &client)) return false;
            point.x = client.left + (icon.slot.left + icon.slot.right) / 2;
            point.y = client.top + (icon.slot.top + icon.slot.bottom) / 2;
        }
        dev::Tap(point.x, point.y, true);
        Sleep(50);
        dev::Tap(point.x, point.y, false);
        return true;
    }

    // False when the user could not do it: the window it needs is missing.
    bool Perform(const std::string &act)
    {
        HWND dock = dev::WexdockWindow();
        if (act == "start Wexdock") return dev::StartWexdock() != 0;
        if (act == "show Wexdock" || act == "hide Wexdock") {
            if (dock) ShowWindow(dock, act == "show Wexdock" ? SW_SHOW : SW_HIDE);
            return dock != nullptr;
        }
        if (act == "close Wexdock") return CloseIfThere(dock);
        if (act == "tap the icon") return TapMonitorIcon();
        if (act == "start TrayGuest") return dev::StartProgram(TRAYGUEST_IMAGE, u"") != 0;
        if (act == "close TrayGuest") return CloseIfThere(FindWindowW(u"TrayGuest", nullptr));
        if (act == "icon to first place" || act == "icon to second place")
            return dev::MoveNotifyIcon(dialog, ID_TRAY_ICON, act == "icon to first place" ? 0 : 1);
        if (act == "freeze the hang demo") return dev::FreezeHangDemo();
        if (act == "open Thread Times") return PostMessageW(dialog, WM_COMMAND, IDC_THREADS, 0);
        if (act == "close Thread Times") return CloseIfThere(FindWindowW(DEVICE_DIALOG_CLASS, TEXT("Thread Times")));
        if (act == "hide the monitor") return PostMessageW(dialog, WM_COMMAND, IDC_HIDE, 0);
        return act == "close the monitor" && PostMessageW(dialog, WM_CLOSE, 0, 0);
    }

    static bool CloseIfThere(HWND window) { return window && PostMessageW(window, WM_CLOSE, 0, 0); }

    // A user glancing at the screen: a report box is read and dismissed.
    void LookForReport()
    {
        HWND box = FindWindowW(DEVICE_DIALOG_CLASS, TEXT("Dead Window!"));
        if (!box || !IsWindowVisible(box)) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (std::none_of(reports.begin(), reports.end(), [box](const Report &r) { return r.box == box; })) {
                WCHAR text[600] = {0};
                DefWindowProcW(GetWindow(box, GW_CHILD), WM_GETTEXT, 600, (LPARAM)text);
                reports.push_back(Report{box, dev::Now(), text});
            }
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    void Direct(std::chrono::steady_clock::time_point hostStart)
    {
        size_t next = 0;
        const size_t count = sizeof(kSteps) / sizeof(kSteps[0]);
        uint64_t nextLook = kReportPollMs;
        int nextNote = 6;
        while (next < count) {
            uint64_t due = SlotStart(kSteps[next].slot) + kSteps[next].offsetMs;
            uint64_t wake = std::min(due, nextLook);
            uint64_t now = dev::Now();
            if (wake > now) Sleep((DWORD)(wake - now));
            now = dev::Now();
            for (; next < count && SlotStart(kSteps[next].slot) + kSteps[next].offsetMs <= now; next++)
                if (!Perform(kSteps[next].act)) {
                    std::lock_guard<std::mutex> lock(mutex);
                    problems.push_back(std::string("could not ") + kSteps[next].act + " at " + std::to_string(now) +
                                       " ms");
                }
            if (nextLook <= now) {
                LookForReport();
                nextLook = now + kReportPollMs;
            }
            if (nextNote < kSlots && now >= SlotStart(nextNote)) {
                double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - hostStart).count();
                printf("[ day      ] hour %d of %d after %.1f s\n", nextNote, kSlots, seconds);
                fflush(stdout);
                nextNote += 6;
            }
        }
        directorDone = true;
    }
};

TEST_F(SimulatedDay, RunsAcrossTheTickWrapWithoutLeaksOrStalls)
{
    bool shortDay = DAY_UNDER_SANITIZER || getenv("PERFMON_SHORT_DAY") != nullptr;
    slotMs = shortDay ? 75000 : 3600000;
    const uint32_t tickStart = (uint32_t)(0 - (uint32_t)(kWrapSlot * slotMs));
    if (shortDay) printf("[ day      ] short day: 30 minutes of device time (sanitizer build or PERFMON_SHORT_DAY)\n");

    ResetMonitorState();
    dev::Config config;
    config.virtualTime = true;
    config.tickStart = tickStart;
    dev::ResetDevice(config);
    dev::SetMemorySource([] { return dev::MemoryFigures{support::kFixedTotalPhys, support::kFixedAvailPhys}; });
    dev::SetDiskSource([] {
        return dev::DiskFigures{true, support::kFixedDiskFree, support::kFixedDiskTotal, support::kFixedDiskFree};
    });
    dev::RegisterDevicePrograms();
    dev::RegisterProgram(u"perfmon.exe", u"\\Windows\\perfmon.exe", MonitorEntry, perfmonResources,
                         perfmonResourcesSize);
    dev::HoldClock();
    bool shell = dev::StartShell() != 0;
    bool demo = dev::StartHangDemo() != 0;
    monitorProcess = dev::StartProgram(u"perfmon.exe", u"");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (monitorProcess && std::chrono::steady_clock::now() < deadline) {
        dialog = FindMonitorDialog();
        if (dialog && monitorState.mainDialog == dialog) break;
        dialog = nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!shell || !demo || !dialog) {
        dev::ReleaseClock();
        FAIL() << "start-up: shell " << shell << ", hang demo " << demo << ", monitor dialog " << dialog;
    }

    auto at = [this](uint64_t when, const std::string &name, int slot) {
        dev::ScheduleAt(when, [this, name, slot] { Capture(name, slot); });
    };
    at(60000, "first minute", 0);
    for (int slot = 1; slot < kSlots; slot++)
        at(SlotStart(slot) + kCheckOffsetMs, "hour " + std::to_string(slot), slot);
    at(SlotStart(kWrapSlot) - 10000, "just before the wrap", kWrapSlot - 1);
    at(SlotStart(kSlots) - 5000, "end of the day", kSlots - 1);
    std::vector<dev::LoadSpan> load;
    for (int slot = 0; slot < kSlots; slot++)
        if (kSlotBusy[slot] > 0) load.push_back(dev::LoadSpan{SlotStart(slot), SlotStart(slot + 1), kSlotBusy[slot]});
    dev::SetLoadProfile(load);
    auto hostStart = std::chrono::steady_clock::now();
    ASSERT_NE(dev::StartDeviceThread(0, [this, hostStart] { Direct(hostStart); }), 0u);
    dev::ReleaseClock();

    // The day itself. Device time stands still only while some thread runs
    // without ever waiting: a busy loop that would hang the handheld too.
    int exitCode = -1000;
    bool ended = false;
    uint64_t lastDeviceTime = 0;
    int stillSeconds = 0;
    const int kStillLimitSeconds = 30;
    while (!ended && stillSeconds < kStillLimitSeconds) {
        ended = dev::WaitProgram(monitorProcess, &exitCode, 1000);
        uint64_t now = dev::Now();
        stillSeconds = now == lastDeviceTime ? stillSeconds + 1 : 0;
        lastDeviceTime = now;
    }
    double hostSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - hostStart).count();
    for (int i = 0; i < 5000 && !directorDone; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    uint64_t deviceEnd = dev::Now();
    printf("[ day      ] %s of device time took %.1f s of host time\n", shortDay ? "30 minutes" : "24 hours",
           hostSeconds);
    RecordProperty("host_seconds", std::to_string(hostSeconds));
    RecordProperty("device_hours", std::to_string((double)SlotStart(kSlots) / 3600000.0));

    EXPECT_TRUE(!ended || !IsWindow(dialog)) << "the main dialog outlived its program";
    ASSERT_TRUE(ended) << "device time stood still for " << kStillLimitSeconds << " s of host time at " << deviceEnd
                       << " ms (tick " << std::hex << (DWORD)(tickStart + deviceEnd) << std::dec
                       << "): a thread of the device never waits";
    EXPECT_EQ(exitCode, 0);
    EXPECT_GE(deviceEnd, SlotStart(kSlots));

    std::lock_guard<std::recursive_mutex> deviceLock(dev::BigLock());
    std::lock_guard<std::mutex> lock(mutex);
    for (const dev::NotifyIconEntry &icon : dev::NotifyIcons())
        EXPECT_FALSE(icon.owner == dialog) << "the icon stayed on the taskbar after the close";
    for (const std::string &problem : problems)
        ADD_FAILURE() << problem;

    // Two hangs, two reports, each naming the hung window and found soon
    // after the freeze.
    ASSERT_EQ(reports.size(), 2u) << "reports made";
    const int freezeSlots[2] = {6, 16};
    for (int i = 0; i < 2; i++) {
        std::string text = support::Narrow(reports[i].text);
        EXPECT_NE(text.find("HangDemo class"), std::string::npos) << text;
        uint64_t freezeAt = SlotStart(freezeSlots[i]) + 5000;
        EXPECT_GE(reports[i].at, freezeAt);
        EXPECT_LE(reports[i].at, freezeAt + 10000 + kReportPollMs) << "report " << i << " came after the hang";
    }

    // Checkpoints in the order they were taken.
    std::sort(snapshots.begin(), snapshots.end(), [](const Snapshot &a, const Snapshot &b) { return a.at < b.at; });
    ASSERT_EQ(snapshots.size(), (size_t)kSlots + 2);
    const Snapshot &first = snapshots.front();
    const Snapshot &last = snapshots.back();
    ASSERT_EQ(first.name, "first minute");
    ASSERT_EQ(last.name, "end of the day");

    // Nothing leaked: the same live objects as after the first minute,
    // whenever the same programs run in the same state.
    for (const Snapshot &s : snapshots) {
        if (&s != &last && !kBaselineState.count(s.slot)) continue;
        for (int kind = 0; kind < dev::KindCount; kind++)
            EXPECT_EQ(s.counts[kind], first.counts[kind])
                << dev::ObjectKindName((dev::ObjectKind)kind) << " at " << s.name;
        EXPECT_EQ(s.virtualBlocks, first.virtualBlocks) << "storage blocks at " << s.name;
    }

    const Snapshot *before = nullptr, *loaded = nullptr, *idle = nullptr;
    double meanByBusy[101] = {};
    int samplesByBusy[101] = {};
    for (size_t i = 0; i < snapshots.size(); i++) {
        const Snapshot &s = snapshots[i];
        SCOPED_TRACE(s.name + " at tick " + std::to_string(s.tick));
        // The estimator took the last arrival, and the grid is at most one
        // step ahead of the clock.
        DWORD sinceArrival = s.tick - s.state.lastTimerTick;
        EXPECT_LE(sinceArrival, dev::kQuantumMs + 1) << "last arrival at tick " << s.state.lastTimerTick;
        LONG ahead = (LONG)(s.state.nextSampleTick - s.tick);
        EXPECT_GE(ahead, -(LONG)dev::kQuantumMs - 1) << "next sample due at tick " << s.state.nextSampleTick;
        EXPECT_LE(ahead, 300) << "next sample due at tick " << s.state.nextSampleTick;
        if (i > 0) {
            // One sample per 300 ms grid step, on through the wrap.
            const Snapshot &p = snapshots[i - 1];
            DWORD steps = (s.state.nextSampleTick - p.state.nextSampleTick) / 300;
            DWORD elapsed = s.tick - p.tick;
            EXPECT_LE(steps * 300, elapsed + 300 + dev::kQuantumMs) << "since " << p.name;
            EXPECT_GE(steps * 300 + 300 + dev::kQuantumMs, elapsed) << "since " << p.name;
            EXPECT_EQ(s.state.history.nextIndex, (int)((p.state.history.nextIndex + steps) % LOAD_HISTORY_SLOTS))
                << steps << " samples since " << p.name;
        }

        bool hourly = s.name.rfind("hour", 0) == 0 || &s == &last;
        // The taskbar (or Wexdock) shows this second's picture.
        bool docked = hourly && kDocked.count(s.slot);
        if (docked) {
            EXPECT_FALSE(s.inTray) << "the icon stayed in the notification area with Wexdock shown";
            EXPECT_TRUE(s.dockHasIcon) << "Wexdock shows no icon";
        } else {
            EXPECT_TRUE(s.inTray) << "the icon is not in the notification area";
            EXPECT_EQ(s.state.iconX, s.slotRect.left) << "the icon's place was not found again";
            EXPECT_EQ(s.state.iconY, s.slotRect.top) << "the icon's place was not found again";
        }
        EXPECT_EQ(PictureMismatch(s.picture, s.shown), "") << (docked ? "Wexdock's icon" : "taskbar");

        if (kGraphSettled.count(s.slot) || s.name == "just before the wrap") {
            EXPECT_TRUE(s.foreground && s.mainVisible) << "the monitor is not in front";
            EXPECT_EQ(GraphMismatch(s), "");
        }

        // A checkpoint an hour into its slot read a minute of that slot's load.
        if (hourly) {
            int busy = kSlotBusy[s.slot];
            meanByBusy[busy] += Mean(s.state.history);
            samplesByBusy[busy]++;
            if (busy == 0) {
                EXPECT_EQ(Range(s.state.history), std::make_pair(kIdleReading, kIdleReading)) << "an idle minute";
            }
            // The rest of the system comes in quanta, so a light hour has
            // idle readings between its pieces; its minute as a whole does not.
            if (busy >= 25) {
                EXPECT_GT(Mean(s.state.history), kIdleReading + 10) << busy << " % busy";
            }
            if (busy == 100) {
                EXPECT_GE(Range(s.state.history).first, 95) << "a minute of full load";
            }
        }
        if (s.name == "just before the wrap") before = &s;
        if (s.slot == kWrapSlot && hourly) loaded = &s;
        if (s.slot == kWrapSlot + 1 && hourly) idle = &s;
    }

    // Readings rise with the load.
    std::string table;
    double previous = -1;
    int previousBusy = -1;
    for (int busy = 0; busy <= 100; busy++) {
        if (!samplesByBusy[busy]) continue;
        double mean = meanByBusy[busy] / samplesByBusy[busy];
        char entry[32];
        snprintf(entry, sizeof entry, " %d%%:%.1f", busy, mean);
        table += entry;
        EXPECT_GT(mean, previous) << busy << " % busy read " << mean << ", " << previousBusy << " % read " << previous;
        previous = mean;
        previousBusy = busy;
    }
    printf("[ day      ] mean reading by share taken by other programs:%s\n", table.c_str());
    RecordProperty("readings_by_load", table);

    // Across the wrap: the day really crossed it, and the meter went on
    // from heavy load to idle on the far side.
    ASSERT_TRUE(before && loaded && idle);
    EXPECT_GT(before->tick, 0x80000000u);
    EXPECT_LT(loaded->tick, 0x80000000u);
    EXPECT_GT(Mean(before->state.history), 60.0);
    EXPECT_GT(Mean(loaded->state.history), 60.0);
    EXPECT_EQ(Range(idle->state.history).second, kIdleReading);
    EXPECT_NE(loaded->picture, idle->picture) << "the icon did not change after the wrap";
    EXPECT_NE(loaded->graph, idle->graph) << "the graph did not change after the wrap";
}

} // namespace
