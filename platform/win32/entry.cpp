// The desktop's entry point. The monitor's own WinMain takes a wide command
// line, as on the device, and never reads it: it always gets an empty one.
#include "../platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show)
{
    (void)commandLine;
    WCHAR empty[1] = {0};
    return DeviceWinMain(instance, previous, empty, show);
}
