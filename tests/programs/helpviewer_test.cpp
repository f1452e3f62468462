// The help viewer as the monitor starts it: CreateProcessW of "PegHelp.exe"
// with the help file's name, one window titled "Help", closed by its close box.
#include "programs_fixture.h"

using namespace dev;
using namespace programs_test;

namespace {

class HelpViewer : public DeviceTest {
protected:
    BOOL Start(const WCHAR *file) {
        WCHAR line[32];
        wcscpy(line, file);
        BOOL started = CreateProcessW(u"PegHelp.exe", line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                                      nullptr);
        Settle();
        return started;
    }
    int HelpWindows() {
        int count = 0;
        for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            WCHAR name[16] = {0};
            GetClassNameW(w, name, 16);
            count += wcscmp(name, u"PegHelp") == 0;
        }
        return count;
    }
};

TEST_F(HelpViewer, OneWindowTitledHelpThatTheCloseBoxEnds) {
    ASSERT_TRUE(Start(u"Mirel.htc"));
    HWND help = FindWindowW(u"PegHelp", nullptr);
    ASSERT_NE(nullptr, help);
    EXPECT_EQ(help, FindWindowW(nullptr, u"Help"));
    EXPECT_TRUE(IsWindowVisible(help));
    EXPECT_NE(0, GetWindowLongW(help, GWL_STYLE) & WS_SYSMENU) << "it needs a close box";
    DWORD process = 0;
    GetWindowThreadProcessId(help, &process);

    ASSERT_TRUE(Start(u"Other.htc"));
    EXPECT_EQ(1, HelpWindows()) << "a second start reuses the window";
    PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle();
    EXPECT_EQ(0, HelpWindows());
    int code = -1;
    EXPECT_TRUE(WaitProgram(process, &code, 1000));
    EXPECT_EQ(0, code);
}

} // namespace
