// The emulated device answers the platform probe (tests/win32/platform_probe.h)
// as Wine did in the last Wine run (build/windows/wine-probe.txt): every
// "agree." key must read the same. Skipped when there has been no Wine run.
#include "tests/support/device_fixture.h"
#include "tests/win32/platform_probe.h"

#include <fstream>
#include <map>
#include <string>

namespace {

void Collect(void *context, const char *key, const WCHAR *value)
{
    std::string &narrow = (*(std::map<std::string, std::string> *)context)[key];
    for (; *value; value++)
        narrow += *value < 128 ? (char)*value : '?';
}

class ProbeAgreement : public support::DeviceTest {};

TEST_F(ProbeAgreement, DeviceAnswersAsWineDid)
{
    std::ifstream file(PERFMON_SOURCE_DIR "/build/windows/wine-probe.txt");
    if (!file)
        GTEST_SKIP() << "no Wine run yet: build/windows/wine-probe.txt is missing";
    std::map<std::string, std::string> wine, device;
    for (std::string line; std::getline(file, line);) {
        size_t equals = line.find(" = ");
        if (line.compare(0, 6, "agree.") == 0 && equals != std::string::npos)
            wine[line.substr(0, equals)] = line.substr(equals + 3);
    }
    ASSERT_FALSE(wine.empty()) << "the Wine findings hold no agree. keys";

    Boot();
    AdoptAsMonitor();
    RunPlatformProbe(monitorState.instance, Collect, &device);
    for (const auto &entry : wine) {
        auto found = device.find(entry.first);
        ASSERT_NE(found, device.end()) << entry.first << " has no answer on the device";
        EXPECT_EQ(found->second, entry.second) << entry.first << ": device against Wine";
    }
}

} // namespace
