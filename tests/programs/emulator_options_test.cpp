// The emulator's command line: every option with good and bad values, and
// the one-line error that names what was wrong.
#include "platform/programs/emulator.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace dev;

namespace {

ParseResult Parse(std::initializer_list<const char *> args, EmulatorOptions *options, std::string *error) {
    std::vector<const char *> argv = {"perfmon"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseEmulatorOptions((int)argv.size(), argv.data(), options, error);
}

TEST(EmulatorOptions, NoArgumentsRunWithDefaults) {
    EmulatorOptions options;
    options.osMajor = 0xAA; // poisoned: the parser must write every field
    options.headless = true;
    std::string error;
    ASSERT_EQ(ParseRun, Parse({}, &options, &error)) << error;
    EXPECT_FALSE(options.headless);
    EXPECT_FALSE(options.haveSeconds);
    EXPECT_FALSE(options.virtualTime);
    EXPECT_TRUE(options.screenshot.empty());
    EXPECT_EQ(0u, options.tickStart);
    EXPECT_EQ(3u, options.osMajor);
    EXPECT_EQ(0u, options.osMinor);
    EXPECT_TRUE(options.taps.empty());
}

TEST(EmulatorOptions, EveryOptionTakesEffect) {
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseRun,
              Parse({"--headless", "--seconds", "5", "--virtual-time", "--screenshot", "out.png", "--tick-start",
                     "4294967000", "--os-version", "2.11", "--alternate-taskbar", "--wexdock", "--hang-demo",
                     "--add-icon-before", "2.5", "--tap", "10,300@1.5", "--tap=239,0@0", "--dump-windows"},
                    &options, &error))
        << error;
    EXPECT_TRUE(options.headless);
    EXPECT_TRUE(options.haveSeconds);
    EXPECT_EQ(5000u, options.closeAtMs);
    EXPECT_TRUE(options.virtualTime);
    EXPECT_EQ("out.png", options.screenshot);
    EXPECT_EQ(4294967000u, options.tickStart);
    EXPECT_EQ(2u, options.osMajor);
    EXPECT_EQ(11u, options.osMinor);
    EXPECT_TRUE(options.alternateTaskbar);
    EXPECT_TRUE(options.wexdock);
    EXPECT_TRUE(options.hangDemo);
    EXPECT_TRUE(options.haveAddIcon);
    EXPECT_EQ(2500u, options.addIconAtMs);
    EXPECT_TRUE(options.dumpWindows);
    ASSERT_EQ(2u, options.taps.size());
    EXPECT_EQ(10, options.taps[0].x);
    EXPECT_EQ(300, options.taps[0].y);
    EXPECT_EQ(1500u, options.taps[0].atMs);
    EXPECT_EQ(239, options.taps[1].x);
    EXPECT_EQ(0, options.taps[1].y);
    EXPECT_EQ(0u, options.taps[1].atMs);
}

TEST(EmulatorOptions, HelpWinsOverEverythingElse) {
    EmulatorOptions options;
    std::string error;
    EXPECT_EQ(ParseHelp, Parse({"--headless", "--help"}, &options, &error));
    EXPECT_EQ(ParseHelp, Parse({"-h"}, &options, &error));
    EXPECT_NE(std::string::npos, std::string(EmulatorUsage()).find("--tap X,Y@S"));
}

TEST(EmulatorOptions, VersionsAreDecimal) {
    struct Case { const char *text; uint32_t major, minor; } cases[] = {
        {"2.11", 2, 11}, {"2.10", 2, 10}, {"3.0", 3, 0}, {"5.02", 5, 2}, {"010.08", 10, 8},
    };
    for (const Case &c : cases) {
        EmulatorOptions options;
        std::string error;
        ASSERT_EQ(ParseRun, Parse({"--os-version", c.text}, &options, &error)) << c.text << ": " << error;
        EXPECT_EQ(c.major, options.osMajor) << c.text;
        EXPECT_EQ(c.minor, options.osMinor) << c.text;
    }
}

// Each bad command line fails with one line that names the option.
TEST(EmulatorOptions, BadCommandLinesNameTheOption) {
    struct Case {
        std::vector<const char *> args;
        const char *named;
    } cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"-x"}, "-x"},
        {{"headless"}, "headless"},
        {{"--seconds"}, "--seconds"},
        {{"--seconds", "abc"}, "--seconds"},
        {{"--seconds", "-1"}, "--seconds"},
        {{"--seconds", "5s"}, "--seconds"},
        {{"--seconds", "nan"}, "--seconds"},
        {{"--seconds", "1e12"}, "--seconds"},
        {{"--seconds", ""}, "--seconds"},
        {{"--tick-start", "4294967296"}, "--tick-start"},
        {{"--tick-start", "-5"}, "--tick-start"},
        {{"--tick-start", "12x"}, "--tick-start"},
        {{"--os-version", "3"}, "--os-version"},
        {{"--os-version", "a.b"}, "--os-version"},
        {{"--os-version", "3."}, "--os-version"},
        {{"--os-version", ".1"}, "--os-version"},
        {{"--os-version", "3.0.1"}, "--os-version"},
        {{"--tap", "5,5"}, "--tap"},
        {{"--tap", "240,5@1"}, "--tap"},
        {{"--tap", "5,320@1"}, "--tap"},
        {{"--tap", "-1,5@1"}, "--tap"},
        {{"--tap", "5,5@"}, "--tap"},
        {{"--tap", ",5@1"}, "--tap"},
        {{"--tap", "5,5@x"}, "--tap"},
        {{"--add-icon-before", "soon"}, "--add-icon-before"},
        {{"--screenshot"}, "--screenshot"},
        {{"--screenshot="}, "--screenshot"},
        {{"--headless=yes"}, "--headless"},
    };
    for (const Case &c : cases) {
        std::vector<const char *> argv = {"perfmon"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EmulatorOptions options;
        std::string error;
        ParseResult result = ParseEmulatorOptions((int)argv.size(), argv.data(), &options, &error);
        std::string line = c.args[0];
        for (size_t i = 1; i < c.args.size(); ++i)
            line += std::string(" ") + c.args[i];
        EXPECT_EQ(ParseError, result) << line;
        EXPECT_NE(std::string::npos, error.find(c.named)) << line << " gave: " << error;
        EXPECT_EQ(std::string::npos, error.find('\n')) << line << " gave: " << error;
    }
}

} // namespace
