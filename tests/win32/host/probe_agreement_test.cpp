// The emulated device answers the platform probe (platform_probe.h) as Wine
// did. Run by tests/scripts/wine_layer.sh on the findings it has just written
// (PERFMON_WINE_PROBE); skipped on its own.
#include "tests/support/device_fixture.h"
#include "tests/win32/platform_probe.h"

#include <cstdlib>
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
    const char *findings = std::getenv("PERFMON_WINE_PROBE");
    if (!findings || !*findings) GTEST_SKIP() << "run by tests/scripts/wine_layer.sh with Wine's findings";
    std::ifstream file(findings);
    ASSERT_TRUE(file) << "cannot read " << findings;
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
