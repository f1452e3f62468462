// trayprobe: how the desktop's taskbar shows a notification icon, asked the
// way the monitor's location probe asks: add an icon, read the taskbar's
// pixels back, and see which repaint requests make a changed icon appear.
//
//   trayprobe [OUTPUT.TXT]
//
// Writes "key = value" lines (stdout without a file):
//   tray.found      the taskbar window exists
//   tray.iconRect   where the added icon's pixels appeared (taskbar coordinates)
//   tray.modify+... how many pixels changed after a modify followed by the
//                   named repaint requests, read back at once and 300 ms later
#include "platform/platform.h"

#include <shellapi.h>

namespace {

HANDLE output = INVALID_HANDLE_VALUE;

void Line(const char *key, const char *value)
{
    char text[256];
    int length = snprintf(text, sizeof text, "%s = %s\n", key, value);
    DWORD written;
    WriteFile(output, text, (DWORD)length, &written, NULL);
}

HICON SolidIcon(DWORD fill)
{
    HDC screen = GetDC(NULL);
    HBITMAP color = CreateCompatibleBitmap(screen, 16, 16);
    HBITMAP mask = CreateCompatibleBitmap(screen, 16, 16);
    HDC paint = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(paint, color);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, fill);
    SelectObject(paint, mask);
    BitBlt(paint, 0, 0, 16, 16, NULL, 0, 0, BLACKNESS);
    SelectObject(paint, old);
    DeleteDC(paint);
    ReleaseDC(NULL, screen);
    ICONINFO info = {TRUE, 8, 8, mask, color};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

struct Capture {
    int width, height;
    COLORREF *pixels;
};

void Take(HWND taskbar, Capture *capture)
{
    RECT rect;
    GetWindowRect(taskbar, &rect);
    capture->width = rect.right - rect.left;
    capture->height = rect.bottom - rect.top;
    capture->pixels = (COLORREF *)HeapAlloc(GetProcessHeap(), 0, sizeof(COLORREF) * capture->width * capture->height);
    HDC source = GetDC(taskbar);
    HDC copy = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, capture->width, capture->height);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, capture->width, capture->height, source, 0, 0, SRCCOPY);
    for (int y = 0; y < capture->height; y++)
        for (int x = 0; x < capture->width; x++)
            capture->pixels[y * capture->width + x] = GetPixel(copy, x, y);
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(taskbar, source);
}

// Count of differing pixels, and their bounding box.
int Compare(const Capture &a, const Capture &b, RECT *box)
{
    SetRect(box, 100000, 100000, -1, -1);
    int count = 0;
    for (int y = 0; y < a.height && y < b.height; y++)
        for (int x = 0; x < a.width && x < b.width; x++)
            if (a.pixels[y * a.width + x] != b.pixels[y * b.width + x]) {
                count++;
                if (x < box->left) box->left = x;
                if (y < box->top) box->top = y;
                if (x + 1 > box->right) box->right = x + 1;
                if (y + 1 > box->bottom) box->bottom = y + 1;
            }
    return count;
}

void Report(const char *key, const Capture &a, const Capture &b)
{
    RECT box;
    int count = Compare(a, b, &box);
    char text[128];
    if (count == 0)
        snprintf(text, sizeof text, "0 pixels changed");
    else
        snprintf(text, sizeof text, "%d pixels changed in %ld,%ld,%ld,%ld", count, (long)box.left, (long)box.top,
                 (long)box.right, (long)box.bottom);
    Line(key, text);
}

void Notify(DWORD message, HWND window, HICON icon)
{
    NOTIFYICONDATAW record;
    ZeroMemory(&record, sizeof record);
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = window;
    record.uID = 3000;
    record.uFlags = NIF_MESSAGE | NIF_ICON;
    record.uCallbackMessage = WM_COMMAND;
    record.hIcon = icon;
    Shell_NotifyIconW(message, &record);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    output = argc > 1 ? CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    NULL)
                      : GetStdHandle(STD_OUTPUT_HANDLE);
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", NULL);
    Line("tray.found", taskbar ? "1" : "0");
    if (taskbar == NULL) return 1;
    HWND window = CreateWindowExW(0, L"STATIC", L"trayprobe", 0, 0, 0, 0, 0, NULL, NULL, instance, NULL);
    HICON black = SolidIcon(BLACKNESS);
    HICON white = SolidIcon(WHITENESS);

    Capture before, added;
    Take(taskbar, &before);
    Notify(NIM_ADD, window, black);
    Sleep(500);
    Take(taskbar, &added);
    Report("tray.iconRect", before, added);
    RECT box;
    Compare(before, added, &box);
    RECT icon = {box.left - 1, box.top - 1, box.left + 18, box.top + 18};

    // Each sequence swaps the icon's colour and reads the taskbar back.
    enum { Validate = 1, InvalidateAll = 2, InvalidateIcon = 4, Update = 8 };
    struct {
        const char *key;
        int steps;
    } sequences[] = {
        {"tray.modify+invalidateAll+UpdateWindow", InvalidateAll | Update},
        {"tray.modify+invalidateIcon+UpdateWindow", InvalidateIcon | Update},
        {"tray.modify+ValidateRect+invalidateIcon+UpdateWindow", Validate | InvalidateIcon | Update},
        {"tray.modify+ValidateRect+invalidateAll+UpdateWindow", Validate | InvalidateAll | Update},
        {"tray.modify+ValidateRect", Validate},
        {"tray.modify", 0},
        {"tray.modify+UpdateWindow", Update},
    };
    Capture last = added;
    bool isBlack = true;
    for (auto &sequence : sequences) {
        isBlack = !isBlack;
        Notify(NIM_MODIFY, window, isBlack ? black : white);
        if (sequence.steps & Validate) ValidateRect(taskbar, NULL);
        if (sequence.steps & InvalidateAll) InvalidateRect(taskbar, NULL, FALSE);
        if (sequence.steps & InvalidateIcon) InvalidateRect(taskbar, &icon, FALSE);
        if (sequence.steps & Update) UpdateWindow(taskbar);
        Capture now, later;
        Take(taskbar, &now);
        Report(sequence.key, last, now);
        Sleep(300);
        Take(taskbar, &later);
        char key[128];
        snprintf(key, sizeof key, "%s, read again 300 ms later", sequence.key);
        Report(key, last, later);
        last = later;
    }

    Notify(NIM_DELETE, window, NULL);
    DestroyIcon(black);
    DestroyIcon(white);
    DestroyWindow(window);
    return 0;
}
