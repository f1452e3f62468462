// hungwin: a program whose window stops answering, for the hung-window
// report under Wine and for the layer's window-text test.
//
//   hungwin [-t TITLE] [-a SECONDS] [-f SECONDS]
//
// Shows a window of class "HungWindowTest" (title "Hung Window" unless -t)
// with a "Hang" button. The thread stops answering when the button is
// pressed, when the window gets WM_COMMAND with HUNG_COMMAND_HANG (101), or
// by itself -a SECONDS after the start. A hang lasts -f SECONDS (default 10;
// 0 for ever), then the window answers again. WM_CLOSE while answering ends
// the program with exit code 0.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <wchar.h>

#define HUNG_COMMAND_HANG 101
#define HUNG_TIMER_AUTO 1

static DWORD hangMilliseconds = 10000;

static void Hang(void)
{
    // Not waiting for messages is the whole point: nothing sent to this
    // thread is answered until the sleep ends.
    Sleep(hangMilliseconds == 0 ? INFINITE : hangMilliseconds);
}

static LRESULT CALLBACK HungWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == HUNG_COMMAND_HANG) {
            Hang();
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == HUNG_TIMER_AUTO) {
            KillTimer(window, HUNG_TIMER_AUTO);
            Hang();
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t *title = L"Hung Window";
    DWORD autoSeconds = 0;
    for (int a = 1; a + 1 < argc; a += 2) {
        if (wcscmp(argv[a], L"-t") == 0)
            title = argv[a + 1];
        else if (wcscmp(argv[a], L"-a") == 0)
            autoSeconds = (DWORD)wcstoul(argv[a + 1], NULL, 10);
        else if (wcscmp(argv[a], L"-f") == 0)
            hangMilliseconds = (DWORD)wcstoul(argv[a + 1], NULL, 10) * 1000;
        else
            return 2;
    }

    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = HungWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"HungWindowTest";
    if (!RegisterClassW(&windowClass)) return 3;
    HWND window = CreateWindowExW(0, L"HungWindowTest", title, WS_OVERLAPPEDWINDOW, 10, 150, 200, 100, NULL, NULL,
                                  instance, NULL);
    if (window == NULL) return 3;
    CreateWindowExW(0, L"BUTTON", L"Hang", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, window,
                    (HMENU)(INT_PTR)HUNG_COMMAND_HANG, instance, NULL);
    ShowWindow(window, show);
    UpdateWindow(window);
    if (autoSeconds > 0) SetTimer(window, HUNG_TIMER_AUTO, autoSeconds * 1000, NULL);

    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}
