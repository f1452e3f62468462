// Command-line options of the emulator. The monitor itself takes nothing on
// its command line; everything here configures the device around it.
#include "emulator.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dev {

namespace {

const char usageText[] = "usage: perfmon [options]\n"
                         "Runs the performance monitor inside the emulated handheld device.\n"
                         "  --headless                no window, even where a display exists\n"
                         "  --seconds N               after N seconds of device time close the monitor\n"
                         "                            the normal way and exit with its exit code\n"
                         "  --virtual-time            run the device clock as fast as the work allows\n"
                         "  --screenshot FILE         write the screen as a PNG when the run ends\n"
                         "  --tick-start N            start the tick count at N (0 to 4294967295)\n"
                         "  --os-version MAJOR.MINOR  the version the device reports (default 3.0)\n"
                         "  --alternate-taskbar       start the \"Halvane\" taskbar and its helper library\n"
                         "  --wexdock                 start the \"Wexdock\" taskbar\n"
                         "  --hang-demo               start a program whose window can be frozen for 10 s\n"
                         "  --add-icon-before S       at S seconds another program puts its icon in\n"
                         "                            front of the monitor's, so the monitor's moves\n"
                         "  --tap X,Y@S               tap the screen at pixel X,Y at S seconds (repeatable)\n"
                         "  --dump-windows            print the window tree when the run ends\n"
                         "  --log-load FILE           write each load sample the monitor stores to FILE:\n"
                         "                            device time in ms and percent, one per line\n"
                         "  --load PROFILE            the rest of the system's share of the device's\n"
                         "                            processor: FROM-TO:PERCENT,... in seconds of device\n"
                         "                            time, e.g. 0-20:0,20-40:50,40-60:100 (idle outside\n"
                         "                            the stretches); --load @FILE reads it from FILE,\n"
                         "                            stretches separated by commas or lines, # comments.\n"
                         "                            Without it: live, the host's busy share; virtual, idle\n"
                         "  --help                    show this text\n"
                         "Numbers are decimal. SIGINT and SIGTERM close the monitor the normal way;\n"
                         "a second one ends the emulator at once.\n";

// Longest run a script can ask for: about 31 years of device time, far below
// what a 64-bit millisecond count holds.
const double maxSeconds = 1e9;

bool ParseSeconds(const char *text, uint64_t *ms)
{
    if (!*text || std::isspace((unsigned char)*text) || *text == '-' || *text == '+') return false;
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0 || value > maxSeconds) return false;
    *ms = (uint64_t)std::llround(value * 1000.0);
    return true;
}

bool ParseUnsigned(const char *text, uint64_t limit, uint64_t *value)
{
    if (!*text || !std::isdigit((unsigned char)*text)) return false;
    char *end = nullptr;
    errno = 0;
    // Decimal only: "010" is ten and "0x10" is refused, as a person reads them.
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    *value = parsed;
    return true;
}

bool ParseVersion(const char *text, uint32_t *major, uint32_t *minor)
{
    const char *dot = std::strchr(text, '.');
    if (!dot) return false;
    std::string majorText(text, dot - text);
    // Decimal only: "2.011" must not read as octal.
    for (char c : majorText)
        if (!std::isdigit((unsigned char)c)) return false;
    for (const char *p = dot + 1; *p; ++p)
        if (!std::isdigit((unsigned char)*p)) return false;
    if (majorText.empty() || !dot[1] || majorText.size() > 9 || std::strlen(dot + 1) > 9) return false;
    *major = (uint32_t)std::strtoull(majorText.c_str(), nullptr, 10);
    *minor = (uint32_t)std::strtoull(dot + 1, nullptr, 10);
    return true;
}

bool ParseTap(const char *text, TapAction *tap)
{
    const char *comma = std::strchr(text, ',');
    const char *at = comma ? std::strchr(comma, '@') : nullptr;
    if (!comma || !at) return false;
    uint64_t x = 0, y = 0;
    std::string xText(text, comma - text), yText(comma + 1, at - comma - 1);
    // Decimal pixels; the device screen is 240 by 320.
    if (xText.empty() || yText.empty() || xText.find_first_not_of("0123456789") != std::string::npos ||
        yText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (!ParseUnsigned(xText.c_str(), 239, &x) || !ParseUnsigned(yText.c_str(), 319, &y)) return false;
    if (!ParseSeconds(at + 1, &tap->atMs)) return false;
    tap->x = (int)x;
    tap->y = (int)y;
    return true;
}

// A profile file: stretches separated by commas or line ends, blanks
// ignored, '#' starts a comment that runs to the end of its line.
bool ReadProfileFile(const std::string &path, std::string *profile, std::string *error)
{
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (!file) {
        *error = "cannot read load profile file '" + path + "'";
        return false;
    }
    std::string text, joined;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < (1u << 20))
        text.append(buffer, n);
    std::fclose(file);
    bool comment = false;
    for (char c : text) {
        if (c == '\n') {
            comment = false;
            c = ',';
        }
        if (c == '#') comment = true;
        if (comment || c == ' ' || c == '\t' || c == '\r') continue;
        if (c == ',' && (joined.empty() || joined.back() == ',')) continue;
        joined += c;
    }
    if (!joined.empty() && joined.back() == ',') joined.pop_back();
    *profile = joined;
    return true;
}

} // namespace

const char *EmulatorUsage()
{
    return usageText;
}

ParseResult ParseEmulatorOptions(int argc, const char *const *argv, EmulatorOptions *options, std::string *error)
{
    EmulatorOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto flag = [&](bool *target) {
            if (inlineValue) {
                *error = "option " + name + " takes no value";
                return false;
            }
            *target = true;
            return true;
        };
        auto takeValue = [&]() {
            if (inlineValue) return true;
            if (i + 1 >= argc) {
                *error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto bad = [&]() {
            *error = "bad value for " + name + ": '" + value + "'";
            return ParseError;
        };

        if (name == "--headless") {
            if (!flag(&o.headless)) return ParseError;
        } else if (name == "--virtual-time") {
            if (!flag(&o.virtualTime)) return ParseError;
        } else if (name == "--alternate-taskbar") {
            if (!flag(&o.alternateTaskbar)) return ParseError;
        } else if (name == "--wexdock") {
            if (!flag(&o.wexdock)) return ParseError;
        } else if (name == "--hang-demo") {
            if (!flag(&o.hangDemo)) return ParseError;
        } else if (name == "--dump-windows") {
            if (!flag(&o.dumpWindows)) return ParseError;
        } else if (name == "--help" || name == "-h") {
            if (!flag(&o.help)) return ParseError;
        } else if (name == "--seconds") {
            if (!takeValue()) return ParseError;
            if (!ParseSeconds(value.c_str(), &o.closeAtMs)) return bad();
            o.haveSeconds = true;
        } else if (name == "--screenshot") {
            if (!takeValue()) return ParseError;
            if (value.empty()) return bad();
            o.screenshot = value;
        } else if (name == "--log-load") {
            if (!takeValue()) return ParseError;
            if (value.empty()) return bad();
            o.loadLog = value;
        } else if (name == "--tick-start") {
            if (!takeValue()) return ParseError;
            uint64_t start = 0;
            if (!ParseUnsigned(value.c_str(), 0xFFFFFFFFull, &start)) return bad();
            o.tickStart = (uint32_t)start;
        } else if (name == "--os-version") {
            if (!takeValue()) return ParseError;
            if (!ParseVersion(value.c_str(), &o.osMajor, &o.osMinor)) return bad();
        } else if (name == "--add-icon-before") {
            if (!takeValue()) return ParseError;
            if (!ParseSeconds(value.c_str(), &o.addIconAtMs)) return bad();
            o.haveAddIcon = true;
        } else if (name == "--load") {
            if (!takeValue()) return ParseError;
            std::string profile = value, problem;
            if (!profile.empty() && profile[0] == '@' && !ReadProfileFile(profile.substr(1), &profile, error))
                return ParseError;
            if (!ParseLoadProfile(profile, &o.load, &problem)) {
                *error = "--load: " + problem;
                return ParseError;
            }
        } else if (name == "--tap") {
            if (!takeValue()) return ParseError;
            TapAction tap{};
            if (!ParseTap(value.c_str(), &tap)) return bad();
            o.taps.push_back(tap);
        } else {
            *error = "unknown option '" + arg + "'";
            return ParseError;
        }
    }
    *options = o;
    return o.help ? ParseHelp : ParseRun;
}

} // namespace dev
