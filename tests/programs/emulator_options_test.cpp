// The emulator's command line: every option with good and bad values, and
// the one-line error that names what was wrong.
#include "platform/programs/emulator.h"

#include <gtest/gtest.h>

using namespace dev;

namespace {

ParseResult Parse(std::vector<const char *> args, EmulatorOptions *options, std::string *error) {
    args.insert(args.begin(), "perfmon");
    return ParseEmulatorOptions((int)args.size(), args.data(), options, error);
}

// The switches that are on, by name, so a failure shows all of them.
std::string Switches(const EmulatorOptions &o) {
    std::string on;
    const std::pair<bool, const char *> all[] = {
        {o.headless, "headless"}, {o.haveSeconds, "seconds"}, {o.virtualTime, "virtual-time"},
        {o.alternateTaskbar, "alternate-taskbar"}, {o.wexdock, "wexdock"}, {o.hangDemo, "hang-demo"},
        {o.haveAddIcon, "add-icon"}, {o.dumpWindows, "dump-windows"}};
    for (const auto &s : all)
        if (s.first)
            on += std::string(on.empty() ? "" : " ") + s.second;
    return on;
}

TEST(EmulatorOptions, DefaultsEveryOptionAndHelp) {
    EmulatorOptions options;
    options.osMajor = 0xAA; // poisoned: the parser must write every field
    options.headless = true;
    std::string error;
    ASSERT_EQ(ParseRun, Parse({}, &options, &error)) << error;
    EXPECT_EQ("", Switches(options));
    EXPECT_EQ("", options.screenshot);
    EXPECT_EQ(0u, options.taps.size());
    EXPECT_EQ(0u, options.tickStart);
    EXPECT_EQ(3u, options.osMajor);
    EXPECT_EQ(0u, options.osMinor);

    ASSERT_EQ(ParseRun,
              Parse({"--headless", "--seconds", "5", "--virtual-time", "--screenshot", "out.png", "--tick-start",
                     "4294967000", "--os-version", "2.11", "--alternate-taskbar", "--wexdock", "--hang-demo",
                     "--add-icon-before", "2.5", "--tap", "10,300@1.5", "--tap=239,0@0", "--dump-windows"},
                    &options, &error))
        << error;
    EXPECT_EQ("headless seconds virtual-time alternate-taskbar wexdock hang-demo add-icon dump-windows",
              Switches(options));
    EXPECT_EQ(5000u, options.closeAtMs);
    EXPECT_EQ("out.png", options.screenshot);
    EXPECT_EQ(4294967000u, options.tickStart);
    EXPECT_EQ(2u, options.osMajor);
    EXPECT_EQ(11u, options.osMinor);
    EXPECT_EQ(2500u, options.addIconAtMs);
    ASSERT_EQ(2u, options.taps.size());
    EXPECT_EQ(10, options.taps[0].x);
    EXPECT_EQ(300, options.taps[0].y);
    EXPECT_EQ(1500u, options.taps[0].atMs);
    EXPECT_EQ(239, options.taps[1].x);
    EXPECT_EQ(0, options.taps[1].y);
    EXPECT_EQ(0u, options.taps[1].atMs);

    EXPECT_EQ(ParseHelp, Parse({"--headless", "--help"}, &options, &error)) << "help wins over the rest";
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

// Each bad command line fails with one line that names the option: the
// first argument, up to any '='.
TEST(EmulatorOptions, BadCommandLinesNameTheOption) {
    const std::vector<const char *> cases[] = {
        {"--frobnicate"}, {"-x"}, {"headless"}, {"--headless=yes"}, {"--screenshot"}, {"--screenshot="},
        {"--seconds"}, {"--seconds", "abc"}, {"--seconds", "-1"}, {"--seconds", "5s"}, {"--seconds", "nan"},
        {"--seconds", "1e12"}, {"--seconds", ""},
        {"--tick-start", "4294967296"}, {"--tick-start", "-5"}, {"--tick-start", "12x"},
        {"--os-version", "3"}, {"--os-version", "a.b"}, {"--os-version", "3."}, {"--os-version", ".1"},
        {"--os-version", "3.0.1"},
        {"--tap", "5,5"}, {"--tap", "240,5@1"}, {"--tap", "5,320@1"}, {"--tap", "-1,5@1"}, {"--tap", "5,5@"},
        {"--tap", ",5@1"}, {"--tap", "5,5@x"}, {"--add-icon-before", "soon"},
    };
    for (const std::vector<const char *> &args : cases) {
        std::string line, named = std::string(args[0]).substr(0, std::string(args[0]).find('='));
        for (const char *arg : args)
            line += std::string(line.empty() ? "" : " ") + "'" + arg + "'";
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseError, Parse(args, &options, &error)) << line;
        EXPECT_NE(std::string::npos, error.find(named)) << line << " gave: " << error;
        EXPECT_EQ(std::string::npos, error.find('\n')) << line << " gave: " << error;
    }
}

} // namespace
