// platformprobe: asks Wine (or Windows) the questions of
// tests/win32/platform_probe.h about the monitor's own resources, plus the
// rate at which a 1 ms timer really arrives, and writes the findings as
// "key = value" lines.
//
//   platformprobe PERFMON.EXE OUTPUT.TXT
#include "platform/platform.h"
#include "tests/win32/platform_probe.h"

#include <shellapi.h>

namespace {

struct Output {
    HANDLE file;
};

void WriteLine(void *context, const char *key, const WCHAR *value)
{
    Output *output = (Output *)context;
    char utf8[1024];
    int length = snprintf(utf8, sizeof utf8, "%s = ", key);
    length += WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8 + length, (int)sizeof utf8 - length - 2, NULL, NULL) - 1;
    utf8[length++] = '\n';
    DWORD written;
    WriteFile(output->file, utf8, (DWORD)length, &written, NULL);
}

int timerArrivals;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        timerArrivals++;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// How many WM_TIMER messages a 1 ms timer brings in one second: the load
// estimator reads the processor load from exactly this rate.
int TimerArrivalsPerSecond(HINSTANCE instance)
{
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"ProbeTimerCounter";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"ProbeTimerCounter", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, instance, NULL);
    SetTimer(window, 1, 1, NULL);
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < 1000) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    KillTimer(window, 1);
    DestroyWindow(window);
    return timerArrivals;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 3) return 2;
    HMODULE resources = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (resources == NULL) return 3;
    Output output = {
        CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)};
    if (output.file == INVALID_HANDLE_VALUE) return 4;
    RunPlatformProbe((HINSTANCE)resources, WriteLine, &output);
    WCHAR text[16];
    swprintf(text, 16, L"%d", TimerArrivalsPerSecond(instance));
    WriteLine(&output, "info.timer.1ms.arrivalsPerSecond", text);
    CloseHandle(output.file);
    FreeLibrary(resources);
    return 0;
}
