// "Halvane": an alternate taskbar, a strip above the shell's taskbar, and
// its helper library "halvaneh", through which programs put an icon with a
// small menu on it.
//
// The library runs on the caller's thread and keeps what it needs at once:
// a copy of the icon image (so the caller may destroy its image list right
// after the call), the menu's texts and commands. The Halvane window paints
// the icons on its own thread; a tap on an icon opens its menu, and choosing
// an entry posts that entry's command to the window given at create.
//
// The library's record (84 bytes, little-endian words):
//   0 size (84)   4 flags   8, 12 create-only words   16 image list
//   20, 24 image width and height   44 + 4 * n command of menu entry n
// The image list word is 32 bits wide, too narrow for a handle on a 64-bit
// target. The caller stores the handle's low 32 bits and the library widens
// them back: the device's object handles are small integers well below 2^32,
// and a word that names no image list fails cleanly like any stale handle.
//
// Results: create returns the icon's number (1 and up) or -1;
// WDTIGetSetDelIcon returns 0 on success and 100 for an unknown icon, a
// window that does not own it, a bad record or an unknown operation.
#include "programs.h"
#include "../host/kernel.h"
#include "../host/shell.h"

#include <algorithm>

namespace dev {

namespace {

const LPCWSTR halvaneClass = u"Halvane";
const LPCWSTR menuClass = u"HalvaneMenu";
const int recordBytes = 84;
const int recordImageList = 16;
const int recordCommands = 44;
const int maxMenuEntries = (recordBytes - recordCommands) / 4;
const int maxMenuBytes = 4096;
const int iconsLeft = 64;
const int menuItemHeight = 18;
const int menuWidth = 96;
const int helperFailed = 100;

const int opGet = 0, opSet = 1, opDelete = 2;

struct HelperIcon {
    int id;
    HWND window;
    HICON image;
    std::vector<std::u16string> texts;
    std::vector<UINT> commands;
};

// One record for the library and its taskbar window.
struct HalvaneState {
    std::vector<HelperIcon> icons;
    int nextId = 1;
    std::vector<HalvaneCall> calls;
    int menuIcon = 0; // icon whose menu is open
};
HalvaneState halvane;

uint32_t RecordWord(const void *record, int offset)
{
    const uint8_t *b = (const uint8_t *)record + offset;
    return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
}

std::vector<uint8_t> Bytes(const void *data, size_t count)
{
    if (!data) return {};
    const uint8_t *b = (const uint8_t *)data;
    return std::vector<uint8_t>(b, b + count);
}

HICON ImageFromRecord(const void *record)
{
    HIMAGELIST list = (HIMAGELIST)(uintptr_t)RecordWord(record, recordImageList);
    if (!list || ImageList_GetImageCount(list) < 1) return nullptr;
    return ImageList_GetIcon(list, 0, ILD_NORMAL);
}

HelperIcon *FindHelperIcon(int id)
{
    for (HelperIcon &icon : halvane.icons)
        if (icon.id == id) return &icon;
    return nullptr;
}

RECT IconPlace(size_t index)
{
    int left = iconsLeft + notifySlotWidth * (int)index;
    int top = (stripHeight - notifyIconSize) / 2;
    return RECT{left, top, left + notifyIconSize, top + notifyIconSize};
}

void InvalidateStrip()
{
    HWND window = Windows().halvane;
    if (window && IsWindow(window)) InvalidateRect(window, nullptr, FALSE);
}

// The monitor calls once a second for as long as it runs; tests look only at
// the latest calls, so the oldest go beyond this many.
const size_t maxRecordedCalls = 1000;

void Record(HalvaneCall call)
{
    if (halvane.calls.size() >= maxRecordedCalls)
        halvane.calls.erase(halvane.calls.begin(), halvane.calls.begin() + maxRecordedCalls / 2);
    halvane.calls.push_back(std::move(call));
}

// ---- the exports

int WINAPI CreateTransientIcon(HWND window, void *record, int menuBytes, const WCHAR *menu)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HalvaneCall call{"WDTICreateTransientIcon", window, 0, 0, menuBytes, {}, {}, -1};
    bool menuSane = menuBytes >= 0 && menuBytes <= maxMenuBytes && (menu || menuBytes == 0);
    if (record) call.record = Bytes(record, recordBytes);
    if (menuSane) call.menu = Bytes(menu, menuBytes);
    if (!record || RecordWord(record, 0) != recordBytes || !menuSane) {
        Record(call);
        return -1;
    }
    HelperIcon icon{0, window, ImageFromRecord(record), {}, {}};
    if (!icon.image) {
        Record(call);
        return -1;
    }
    // Entries of the multi-string, each closed by a NUL, up to the empty one
    // or the end of what the caller said it passed.
    int units = menuBytes / 2;
    for (int i = 0; i < units && menu[i] && (int)icon.texts.size() < maxMenuEntries;) {
        int start = i;
        while (i < units && menu[i])
            ++i;
        icon.texts.push_back(std::u16string(menu + start, menu + i));
        icon.commands.push_back(RecordWord(record, recordCommands + 4 * (int)(icon.texts.size() - 1)));
        ++i;
    }
    icon.id = halvane.nextId++;
    halvane.icons.push_back(icon);
    call.result = icon.id;
    Record(call);
    InvalidateStrip();
    return icon.id;
}

int WINAPI GetSetDelIcon(HWND window, int id, void *record, int operation)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HalvaneCall call{"WDTIGetSetDelIcon", window, id, operation, 0, Bytes(record, recordBytes), {}, helperFailed};
    HelperIcon *icon = FindHelperIcon(id);
    if (!icon || icon->window != window) {
        Record(call);
        return helperFailed;
    }
    switch (operation) {
    case opGet:
        call.result = 0;
        break;
    case opSet: {
        HICON image = record && RecordWord(record, 0) == recordBytes ? ImageFromRecord(record) : nullptr;
        if (!image) break;
        if (icon->image) DestroyIcon(icon->image);
        icon->image = image;
        call.result = 0;
        InvalidateStrip();
        break;
    }
    case opDelete:
        if (icon->image) DestroyIcon(icon->image);
        if (halvane.menuIcon == id && Windows().halvaneMenu) PostMessageW(Windows().halvaneMenu, WM_CLOSE, 0, 0);
        halvane.icons.erase(halvane.icons.begin() + (icon - halvane.icons.data()));
        call.result = 0;
        InvalidateStrip();
        break;
    }
    Record(call);
    return call.result;
}

// Length of a multi-string in characters: every entry with its NUL, plus the
// closing NUL.
int WINAPI MultiStringLength(const WCHAR *text)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    int length = 0;
    if (text) {
        while (text[length])
            length += (int)wcslen(text + length) + 1;
        ++length;
    }
    HalvaneCall call{"mtslen", nullptr, 0, 0, 0, {}, Bytes(text, length * 2), length};
    Record(call);
    return length;
}

// ---- the menu window

void CloseMenu()
{
    HWND menu = Windows().halvaneMenu;
    if (menu && IsWindow(menu)) DestroyWindow(menu);
    Windows().halvaneMenu = nullptr;
    halvane.menuIcon = 0;
}

RECT MenuItemRect(size_t index)
{
    return RECT{1, 1 + menuItemHeight * (int)index, menuWidth - 1, 1 + menuItemHeight * (int)(index + 1)};
}

void PaintMenu(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT all;
    GetClientRect(window, &all);
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOWFRAME));
    RECT inside = all;
    InflateRect(&inside, -1, -1);
    FillRect(dc, &inside, GetSysColorBrush(COLOR_WINDOW));
    if (HelperIcon *icon = FindHelperIcon(halvane.menuIcon)) {
        for (size_t i = 0; i < icon->texts.size(); ++i) {
            RECT item = MenuItemRect(i);
            if (icon->commands[i] == 0) {
                // An entry without a command can do nothing: it stands as a divider.
                RECT line = {item.left + 4, (item.top + item.bottom) / 2, item.right - 4,
                             (item.top + item.bottom) / 2 + 1};
                FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
                continue;
            }
            item.left += 6;
            DrawLabel(dc, icon->texts[i].c_str(), &item, DT_LEFT | DT_VCENTER | DT_SINGLELINE,
                      GetSysColor(COLOR_WINDOWTEXT));
        }
    }
    EndPaint(window, &ps);
}

void MenuTapped(LPARAM lParam)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HelperIcon *icon = FindHelperIcon(halvane.menuIcon);
    int y = GET_Y_LPARAM(lParam);
    if (icon) {
        for (size_t i = 0; i < icon->texts.size(); ++i) {
            RECT item = MenuItemRect(i);
            if (y >= item.top && y < item.bottom) {
                if (icon->commands[i] == 0) return; // the divider keeps the menu open
                // Posted, so a hung owner cannot hang the taskbar too.
                PostMessageW(icon->window, WM_COMMAND, icon->commands[i], 0);
                break;
            }
        }
    }
    CloseMenu();
}

LRESULT CALLBACK MenuProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintMenu(window);
        return 0;
    case WM_LBUTTONUP:
        MenuTapped(lParam);
        return 0;
    case WM_ACTIVATE:
        // A tap anywhere else closes the menu; a tap on the strip decides
        // for itself (a second tap on the icon closes it, too).
        if (LOWORD(wParam) == WA_INACTIVE) {
            std::lock_guard<std::recursive_mutex> lock(BigLock());
            if (Windows().halvaneMenu == window && (HWND)lParam != Windows().halvane)
                PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_DESTROY: {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        if (Windows().halvaneMenu == window) {
            Windows().halvaneMenu = nullptr;
            halvane.menuIcon = 0;
        }
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void OpenMenu(HWND strip, size_t index)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    int id = halvane.icons[index].id;
    bool wasOpen = halvane.menuIcon == id;
    CloseMenu();
    if (wasOpen) return; // a second tap on the icon closes its menu
    size_t entries = halvane.icons[index].texts.size();
    if (entries == 0) return;
    RECT strip_;
    GetWindowRect(strip, &strip_);
    RECT place = IconPlace(index);
    int height = menuItemHeight * (int)entries + 2;
    int x = std::min<int>(strip_.left + place.left, GetSystemMetrics(SM_CXSCREEN) - menuWidth);
    HWND menu = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, menuClass, u"", WS_POPUP | WS_VISIBLE, x,
                                strip_.top - height, menuWidth, height, strip, nullptr,
                                (HINSTANCE)GetWindowLongPtrW(strip, GWLP_HINSTANCE), nullptr);
    Windows().halvaneMenu = menu;
    halvane.menuIcon = menu ? id : 0;
}

// ---- the strip

void PaintStrip(HWND window)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT all;
    GetClientRect(window, &all);
    HBRUSH background = CreateSolidBrush(RGB(40, 56, 96));
    FillRect(dc, &all, background);
    DeleteObject(background);
    RECT label = {4, 0, iconsLeft - 4, stripHeight};
    DrawLabel(dc, u"Halvane", &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE, RGB(255, 255, 255));
    for (size_t i = 0; i < halvane.icons.size(); ++i) {
        RECT place = IconPlace(i);
        if (place.right > all.right) break;
        if (halvane.icons[i].image)
            DrawIconEx(dc, place.left, place.top, halvane.icons[i].image, notifyIconSize, notifyIconSize, 0, nullptr,
                       DI_NORMAL);
    }
    EndPaint(window, &ps);
}

void StripTapped(HWND window, LPARAM lParam)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    for (size_t i = 0; i < halvane.icons.size(); ++i) {
        RECT place = IconPlace(i);
        if (x >= place.left - 2 && x < place.right + 2 && y >= 0 && y < stripHeight) {
            OpenMenu(window, i);
            return;
        }
    }
    CloseMenu();
}

LRESULT CALLBACK StripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintStrip(window);
        return 0;
    case WM_LBUTTONUP:
        StripTapped(window, lParam);
        return 0;
    case WM_DESTROY: {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        CloseMenu();
        if (Windows().halvane == window) Windows().halvane = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void ResetHalvaneState()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    halvane = HalvaneState();
}

// Exports travel as FARPROC, as GetProcAddress hands them out.
template <class F> FARPROC AsExport(F function)
{
    return (FARPROC)(void (*)())function;
}

void RegisterHalvaneLibrary()
{
    RegisterLibrary(u"halvaneh", {{u"WDTICreateTransientIcon", AsExport(CreateTransientIcon)},
                                  {u"WDTIGetSetDelIcon", AsExport(GetSetDelIcon)},
                                  {u"mtslen", AsExport(MultiStringLength)}});
}

std::vector<HalvaneCall> HalvaneCalls()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    return halvane.calls;
}

void ClearHalvaneCalls()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    halvane.calls.clear();
}

std::vector<HalvaneIconEntry> HalvaneIcons()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    std::vector<HalvaneIconEntry> list;
    RECT strip = {0, 0, 0, 0};
    if (Windows().halvane) GetWindowRect(Windows().halvane, &strip);
    for (size_t i = 0; i < halvane.icons.size(); ++i) {
        const HelperIcon &icon = halvane.icons[i];
        RECT place = IconPlace(i);
        OffsetRect(&place, strip.left, strip.top);
        list.push_back(HalvaneIconEntry{icon.id, icon.window, icon.image, icon.texts, icon.commands, place});
    }
    return list;
}

HWND HalvaneWindow()
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND window = Windows().halvane;
    return window && IsWindow(window) ? window : nullptr;
}

bool HalvaneMenuItemRect(size_t index, RECT *screenRect)
{
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    HWND menu = Windows().halvaneMenu;
    HelperIcon *icon = FindHelperIcon(halvane.menuIcon);
    if (!menu || !IsWindow(menu) || !icon || index >= icon->texts.size()) return false;
    RECT item = MenuItemRect(index);
    POINT topLeft = {item.left, item.top}, bottomRight = {item.right, item.bottom};
    ClientToScreen(menu, &topLeft);
    ClientToScreen(menu, &bottomRight);
    *screenRect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    return true;
}

int HalvaneMain(HINSTANCE instance, LPWSTR)
{
    RegisterProgramClass(instance, halvaneClass, StripProc);
    RegisterProgramClass(instance, menuClass, MenuProc);

    HWND window = CreateStripWindow(instance, halvaneClass, u"Halvane");
    if (!window) return 1;
    PublishWindow(&Windows().halvane, window);
    return RunMessageLoop();
}

} // namespace dev
