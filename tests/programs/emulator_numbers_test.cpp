// Numbers on the emulator's command line are read as a person writes them.
#include "platform/programs/emulator.h"

#include <gtest/gtest.h>

namespace {

TEST(EmulatorNumbers, LeadingZerosAreDecimalAndHexIsRefused)
{
    const struct {
        std::vector<const char *> args;
        bool accepted;
        int x, y;
        uint32_t tickStart;
    } cases[] = {
        {{"--tap", "010,010@1"}, true, 10, 10, 0},
        {{"--tick-start", "010"}, true, 0, 0, 10},
        {{"--tick-start", "0x10"}, false, 0, 0, 0},
        {{"--tap", "0x10,5@1"}, false, 0, 0, 0},
    };
    for (const auto &c : cases) {
        std::vector<const char *> argv = {"perfmon"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        dev::EmulatorOptions options;
        std::string error;
        dev::ParseResult result = dev::ParseEmulatorOptions((int)argv.size(), argv.data(), &options, &error);
        std::string line = std::string(c.args[0]) + " " + c.args[1];
        ASSERT_EQ(result, c.accepted ? dev::ParseRun : dev::ParseError) << line;
        if (!c.accepted)
            continue;
        EXPECT_EQ(options.tickStart, c.tickStart) << line;
        if (!options.taps.empty()) {
            EXPECT_EQ(options.taps[0].x, c.x) << line;
            EXPECT_EQ(options.taps[0].y, c.y) << line;
        }
    }
}

} // namespace
