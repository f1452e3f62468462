// The dialog manager of the device: dialogs built from the standard binary
// dialog template, modeless and modal, the default dialog procedure and the
// dialog helpers. Written on the public window functions, as the platform's
// own user library builds dialogs on them.
//
// Where to start: CreateDialogFromTemplate builds a dialog, RunModalLoop
// runs a modal one, DefDlgProcW is the window procedure of the "Dialog"
// class and calls the application's dialog procedure.
//
// Not implemented (answered as the platform answers what it cannot do):
// - extended templates (DLGTEMPLATEEX): creation fails, DialogBox returns -1;
// - menus named in a template are ignored;
// - the face and point size of DS_SETFONT: every dialog uses the device's
//   dialog font, whose base units convert the dialog units;
// - WM_NEXTDLGCTL, group navigation with arrow keys, mnemonics.
#include "dialog_internal.h"
#include "kernel.h"
#include "user.h"
#include "gdi.h"
#include "screen.h"

#include <cstring>
#include <map>
#include <vector>

namespace dev {

namespace {

// DM_GETDEFID's marker in the high word of its answer.
const WORD kHasDefId = 0x534B;
const UINT kMsgfDialogBox = 0;
const DWORD kNoIdleMessage = 0x100; // DS_NOIDLEMSG

// One record per dialog window, kept by the dialog manager.
struct DialogInfo {
    HFONT font = nullptr;         // the font given to the controls (not owned)
    int baseX = 0, baseY = 0;     // dialog base units of that font
    HWND focus = nullptr;         // control that had the focus when the dialog was deactivated
    INT_PTR result = 0;           // the result given to EndDialog
    bool ended = false;           // EndDialog was called: the modal loop stops
    HWND disabledOwner = nullptr; // owner the modal dialog disabled and re-enables when it ends
    WORD defId = 0;               // default push button (DM_SETDEFID), 0 for none
};

typedef std::lock_guard<std::recursive_mutex> Lock;

std::map<HWND, DialogInfo> &Dialogs()
{
    static std::map<HWND, DialogInfo> dialogs;
    return dialogs;
}

// The record of a dialog, or null. Only the dialog's own thread changes it,
// so the pointer stays valid while that thread uses it.
DialogInfo *FindInfo(HWND dialog)
{
    Lock lock(BigLock());
    auto found = Dialogs().find(dialog);
    return found == Dialogs().end() ? nullptr : &found->second;
}

DialogInfo *NewInfo(HWND dialog)
{
    Lock lock(BigLock());
    DialogInfo &info = Dialogs()[dialog];
    info = DialogInfo();
    return &info;
}

void ForgetInfo(HWND dialog)
{
    Lock lock(BigLock());
    Dialogs().erase(dialog);
}

// ---------------------------------------------------------------- templates

struct ItemTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    std::u16string className;
    std::u16string text;
    bool textIsOrdinal = false;
    WORD textOrdinal = 0;
    const void *data = nullptr; // creation data, starting with its size word
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::u16string className; // empty: the device's dialog class
    std::u16string caption;
    WORD pointSize = 0;
    std::u16string faceName;
    std::vector<ItemTemplate> items;
};

WORD ReadWord(const uint8_t *p)
{
    WORD value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

const uint8_t *ReadString(const uint8_t *p, std::u16string *text)
{
    text->clear();
    for (WORD c; (c = ReadWord(p)) != 0; p += 2)
        text->push_back((char16_t)c);
    return p + 2;
}

// A sz_Or_Ord field: 0 (nothing), 0xFFFF and an ordinal, or a string.
const uint8_t *ReadNameOrOrdinal(const uint8_t *p, std::u16string *text, bool *isOrdinal, WORD *ordinal)
{
    *isOrdinal = false;
    *ordinal = 0;
    text->clear();
    WORD first = ReadWord(p);
    if (first == 0) return p + 2;
    if (first == 0xFFFF) {
        *isOrdinal = true;
        *ordinal = ReadWord(p + 2);
        return p + 4;
    }
    return ReadString(p, text);
}

const char16_t *PredefinedClass(WORD ordinal)
{
    switch (ordinal) {
    case 0x0080:
        return u"Button";
    case 0x0081:
        return u"Edit";
    case 0x0082:
        return u"Static";
    case 0x0083:
        return u"ListBox";
    case 0x0084:
        return u"ScrollBar";
    case 0x0085:
        return u"ComboBox";
    }
    return nullptr;
}

bool ParseTemplate(const void *source, DialogTemplate *out)
{
    const uint8_t *base = static_cast<const uint8_t *>(source);
    if (!base) return false;
    // The extended template starts with version 1 and signature 0xFFFF.
    if (ReadWord(base) == 1 && ReadWord(base + 2) == 0xFFFF) return false;
    DLGTEMPLATE head;
    std::memcpy(&head, base, sizeof head);
    out->style = head.style;
    out->exStyle = head.dwExtendedStyle;
    out->x = head.x;
    out->y = head.y;
    out->cx = head.cx;
    out->cy = head.cy;
    const uint8_t *p = base + sizeof head;
    std::u16string name;
    bool isOrdinal;
    WORD ordinal;
    p = ReadNameOrOrdinal(p, &name, &isOrdinal, &ordinal); // menu: not supported
    p = ReadNameOrOrdinal(p, &out->className, &isOrdinal, &ordinal);
    if (isOrdinal) out->className.clear(); // a class atom: treated as the dialog class
    p = ReadString(p, &out->caption);
    if (out->style & DS_SETFONT) {
        out->pointSize = ReadWord(p);
        p = ReadString(p + 2, &out->faceName);
    }
    for (WORD i = 0; i < head.cdit; ++i) {
        // Each item starts on a DWORD boundary of the template.
        p = base + ((p - base + 3) & ~(ptrdiff_t)3);
        DLGITEMTEMPLATE itemHead;
        std::memcpy(&itemHead, p, sizeof itemHead);
        p += sizeof itemHead;
        ItemTemplate item;
        item.style = itemHead.style;
        item.exStyle = itemHead.dwExtendedStyle;
        item.x = itemHead.x;
        item.y = itemHead.y;
        item.cx = itemHead.cx;
        item.cy = itemHead.cy;
        item.id = itemHead.id;
        p = ReadNameOrOrdinal(p, &item.className, &isOrdinal, &ordinal);
        if (isOrdinal) {
            const char16_t *predefined = PredefinedClass(ordinal);
            if (!predefined) return false;
            item.className = predefined;
        }
        p = ReadNameOrOrdinal(p, &item.text, &item.textIsOrdinal, &item.textOrdinal);
        WORD dataSize = ReadWord(p);
        if (dataSize) {
            item.data = p;
            p += dataSize;
        }
        p += 2;
        out->items.push_back(item);
    }
    return true;
}

// ---------------------------------------------------------------- geometry

bool CaseEqual(const std::u16string &a, const char16_t *b)
{
    size_t n = 0;
    for (; b[n]; ++n) {
        if (n >= a.size()) return false;
        char16_t x = a[n], y = b[n];
        if (x >= u'A' && x <= u'Z') x = (char16_t)(x + 32);
        if (y >= u'A' && y <= u'Z') y = (char16_t)(y + 32);
        if (x != y) return false;
    }
    return n == a.size();
}

HWND TopLevelOf(HWND window)
{
    while (window && (GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD)) == WS_CHILD) {
        HWND parent = GetParent(window);
        if (!parent || parent == GetDesktopWindow()) break;
        window = parent;
    }
    return window;
}

bool IsTabStop(HWND control)
{
    LONG style = GetWindowLongW(control, GWL_STYLE);
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

// The next control of the tab order after `from` (null: the first), wrapping.
HWND NextTabItem(HWND dialog, HWND from)
{
    HWND first = GetWindow(dialog, GW_CHILD);
    if (!first) return nullptr;
    HWND start = from ? GetWindow(from, GW_HWNDNEXT) : first;
    for (HWND c = start; c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsTabStop(c)) return c;
    for (HWND c = first; c && c != start; c = GetWindow(c, GW_HWNDNEXT))
        if (IsTabStop(c)) return c;
    return nullptr;
}

void SaveFocus(HWND dialog, DialogInfo *info)
{
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)) info->focus = focus;
}

void RestoreFocus(HWND dialog, DialogInfo *info)
{
    if (!info->focus || !IsWindow(info->focus) || !IsChild(dialog, info->focus))
        info->focus = NextTabItem(dialog, nullptr);
    if (info->focus && GetFocus() != info->focus) SetFocus(info->focus);
}

void DestroyFailedDialog(HWND dialog, HWND disabledOwner)
{
    if (disabledOwner) EnableWindow(disabledOwner, TRUE);
    DestroyWindow(dialog);
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const void *source, HWND owner, DLGPROC proc, LPARAM param,
                              bool modal)
{
    RegisterSystemClasses();
    DialogTemplate tmpl;
    if (!ParseTemplate(source, &tmpl)) return nullptr;

    int baseX = 0, baseY = 0;
    DialogBaseUnits(&baseX, &baseY);
    DWORD style = tmpl.style;
    DWORD exStyle = tmpl.exStyle;
    if (style & DS_CONTROL) style &= ~(WS_CAPTION | WS_SYSMENU);
    if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
    if ((style & DS_CONTROL) || !(style & WS_CHILD)) exStyle |= WS_EX_CONTROLPARENT;

    RECT insets = {0, 0, 0, 0};
    FrameInsets(style, exStyle, &insets);
    SIZE size = {MulDivRound(tmpl.cx, baseX, 4) + insets.left + insets.right,
                 MulDivRound(tmpl.cy, baseY, 8) + insets.top + insets.bottom};
    RECT work = DeviceWorkArea();
    POINT pos;
    if (style & DS_CENTER) {
        pos.x = work.left + (work.right - work.left - size.cx) / 2;
        pos.y = work.top + (work.bottom - work.top - size.cy) / 2;
    } else {
        // The template places the client area; the frame goes around it.
        pos.x = MulDivRound(tmpl.x, baseX, 4) - insets.left;
        pos.y = MulDivRound(tmpl.y, baseY, 8) - insets.top;
        if (!(style & (WS_CHILD | DS_ABSALIGN)) && owner) ClientToScreen(owner, &pos);
    }
    if (!(style & WS_CHILD)) {
        // Keep a top-level dialog on the screen, as the platform does.
        int overX = pos.x + size.cx + GetSystemMetrics(SM_CXDLGFRAME) - work.right;
        int overY = pos.y + size.cy + GetSystemMetrics(SM_CYDLGFRAME) - work.bottom;
        if (overX > 0) pos.x -= overX;
        if (overY > 0) pos.y -= overY;
        if (pos.x < work.left) pos.x = work.left;
        if (pos.y < work.top) pos.y = work.top;
    }

    // A modal dialog disables its (top-level) owner before it exists, so the
    // owner takes no input while the dialog is built.
    HWND disabledOwner = nullptr;
    if (modal && owner) {
        HWND top = TopLevelOf(owner);
        if (IsWindowEnabled(top)) {
            disabledOwner = top;
            EnableWindow(top, FALSE);
        }
    }

    LPCWSTR className = tmpl.className.empty() ? DEVICE_DIALOG_CLASS : tmpl.className.c_str();
    HWND dialog = CreateWindowExW(exStyle, className, tmpl.caption.c_str(), style & ~WS_VISIBLE, pos.x, pos.y, size.cx,
                                  size.cy, owner, nullptr, instance, nullptr);
    if (!dialog) {
        if (disabledOwner) EnableWindow(disabledOwner, TRUE);
        return nullptr;
    }
    DialogInfo *info = NewInfo(dialog);
    info->baseX = baseX;
    info->baseY = baseY;
    info->disabledOwner = disabledOwner;
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, (LONG_PTR)proc);
    if (tmpl.style & DS_SETFONT) {
        info->font = DialogFont();
        SendMessageW(dialog, WM_SETFONT, (WPARAM)info->font, 0);
    }

    for (const ItemTemplate &item : tmpl.items) {
        HWND control = CreateWindowExW(item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(),
                                       item.textIsOrdinal ? u"" : item.text.c_str(), item.style | WS_CHILD,
                                       MulDivRound(item.x, baseX, 4), MulDivRound(item.y, baseY, 8),
                                       MulDivRound(item.cx, baseX, 4), MulDivRound(item.cy, baseY, 8), dialog,
                                       (HMENU)(ULONG_PTR)item.id, instance, (LPVOID)item.data);
        if (!control) {
            DestroyFailedDialog(dialog, disabledOwner);
            return nullptr;
        }
        // An ordinal text of an icon static names the icon resource.
        if (item.textIsOrdinal && CaseEqual(item.className, u"Static") && (item.style & SS_TYPEMASK) == SS_ICON) {
            HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(item.textOrdinal));
            if (icon) SendMessageW(control, STM_SETICON, (WPARAM)icon, 0);
        }
        if (info->font) SendMessageW(control, WM_SETFONT, (WPARAM)info->font, 0);
        if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) {
            info = FindInfo(dialog);
            if (info) info->defId = item.id;
        }
        if (!IsWindow(dialog)) return nullptr;
        info = FindInfo(dialog);
        if (!info) return nullptr;
    }

    HWND focus = NextTabItem(dialog, nullptr);
    if (SendMessageW(dialog, WM_INITDIALOG, (WPARAM)focus, param) && IsWindow(dialog) &&
        (!(tmpl.style & DS_CONTROL) || (tmpl.style & WS_VISIBLE))) {
        // TRUE asks for the default focus; the procedure may have changed the
        // controls, so look for the first tab stop again.
        info = FindInfo(dialog);
        focus = NextTabItem(dialog, nullptr);
        if (info) info->focus = focus;
        if (focus) SetFocus(focus);
    }
    if (!IsWindow(dialog)) return nullptr;
    if ((tmpl.style & WS_VISIBLE) && !(GetWindowLongW(dialog, GWL_STYLE) & WS_VISIBLE)) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
    }
    return dialog;
}

INT_PTR RunModalLoop(HWND dialog, HWND owner)
{
    DialogInfo *info = FindInfo(dialog);
    if (!info) return -1;
    bool firstEmpty = true;
    MSG msg;
    while (!info->ended) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (firstEmpty) {
                // Shown once the queue first runs dry, after the start-up
                // messages have been handled.
                ShowWindow(dialog, SW_SHOWNORMAL);
                firstEmpty = false;
            }
            if (owner && !(GetWindowLongW(dialog, GWL_STYLE) & kNoIdleMessage))
                SendMessageW(owner, WM_ENTERIDLE, kMsgfDialogBox, (LPARAM)dialog);
            if (GetMessageW(&msg, nullptr, 0, 0) == -1) break;
        }
        if (msg.message == WM_QUIT) {
            // The quit request belongs to the application's own loop.
            PostQuitMessage((int)msg.wParam);
            if (!IsWindow(dialog)) return 0;
            break;
        }
        if (!IsWindow(dialog)) return 0;
        info = FindInfo(dialog);
        if (!info) return 0;
        if (!info->ended && !IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!IsWindow(dialog)) return 0;
        info = FindInfo(dialog);
        if (!info) return 0;
        if (firstEmpty && msg.message == WM_TIMER) {
            ShowWindow(dialog, SW_SHOWNORMAL);
            firstEmpty = false;
        }
    }
    INT_PTR result = info->result;
    DestroyWindow(dialog);
    return result;
}

// What the dialog does with a message its procedure left alone.
LRESULT DefaultDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, DialogInfo *info)
{
    switch (message) {
    case WM_ERASEBKGND: {
        HDC dc = (HDC)wParam;
        HBRUSH brush = (HBRUSH)SendMessageW(dialog, WM_CTLCOLORDLG, wParam, (LPARAM)dialog);
        if (!brush) brush = DefaultControlColor(dc, WM_CTLCOLORDLG);
        RECT client;
        GetClientRect(dialog, &client);
        FillRect(dc, &client, brush);
        return 1;
    }
    case WM_SHOWWINDOW:
        if (!wParam && info) SaveFocus(dialog, info);
        return DefWindowProcW(dialog, message, wParam, lParam);
    case WM_ACTIVATE:
        if (info) {
            if (LOWORD(wParam) != WA_INACTIVE)
                RestoreFocus(dialog, info);
            else
                SaveFocus(dialog, info);
        }
        return 0;
    case WM_SETFOCUS:
        if (info) RestoreFocus(dialog, info);
        return 0;
    case DM_SETDEFID:
        if (info) info->defId = (WORD)wParam;
        return TRUE;
    case DM_GETDEFID:
        if (info && info->defId) return MAKELONG(info->defId, kHasDefId);
        return 0;
    case WM_GETFONT:
        return info ? (LRESULT)info->font : 0;
    case WM_CLOSE: {
        // The platform turns a close request into the Cancel command, which
        // the dialog procedure may act on; a disabled Cancel button blocks it.
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)cancel);
        return 0;
    }
    case WM_NCLBUTTONDOWN:
        return NonClientButtonDown(dialog, wParam, lParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        LRESULT brush = DefWindowProcW(dialog, message, wParam, lParam);
        if (!brush) brush = (LRESULT)DefaultControlColor((HDC)wParam, message);
        return brush;
    }
    }
    return DefWindowProcW(dialog, message, wParam, lParam);
}

} // namespace

// The system classes exist from the device's start, in every process; the
// kernel forgets all classes at each reset and calls this hook after it.
const bool systemClassesHooked = (OnReset([] { RegisterSystemClasses(); }), true);

RECT DeviceWorkArea()
{
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (work.right <= 0 || work.bottom <= 0) SetRect(&work, 0, 0, ScreenWidth(), ScreenHeight());
    // The taskbar along the bottom is not part of the work area.
    HWND taskbar = FindWindowW(DEVICE_TASKBAR_CLASS, nullptr);
    RECT bar;
    if (taskbar && IsWindowVisible(taskbar) && GetWindowRect(taskbar, &bar) && bar.top > work.bottom / 2 &&
        bar.top < work.bottom)
        work.bottom = bar.top;
    return work;
}

void RegisterDialogClass()
{
    RegisterSystemClass(DEVICE_DIALOG_CLASS, DefDlgProcW, DLGWINDOWEXTRA);
}

} // namespace dev

using namespace dev;

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC proc,
                                LPARAM param)
{
    return CreateDialogFromTemplate(instance, dialogTemplate, owner, proc, param, false);
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC proc,
                                LPARAM param)
{
    if (owner && !IsWindow(owner)) return 0;
    HWND dialog = CreateDialogFromTemplate(instance, dialogTemplate, owner, proc, param, true);
    if (!dialog) return -1;
    return RunModalLoop(dialog, owner ? TopLevelOf(owner) : nullptr);
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    DialogInfo *info = FindInfo(dialog);
    if (!info) return FALSE;
    HWND owner = GetWindow(dialog, GW_OWNER);
    HWND disabledOwner = info->disabledOwner;
    info->result = result;
    info->ended = true;
    info->disabledOwner = nullptr;
    if (disabledOwner) EnableWindow(disabledOwner, TRUE);
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)) SetFocus(dialog);
    bool wasActive = dialog == GetActiveWindow() || dialog == GetForegroundWindow();
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    if (wasActive && owner) SetForegroundWindow(owner);
    // Wake the modal loop, which may be waiting for a message.
    PostMessageW(dialog, WM_NULL, 0, 0);
    return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) ForgetInfo(dialog); // a handle of a window long gone
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
    DLGPROC proc = (DLGPROC)GetWindowLongPtrW(dialog, DWLP_DLGPROC);
    INT_PTR result = proc ? proc(dialog, message, wParam, lParam) : 0;

    if (message == WM_NCDESTROY) {
        DialogInfo *info = FindInfo(dialog);
        // A modal dialog destroyed without EndDialog must not leave its owner disabled.
        if (info && info->disabledOwner) EnableWindow(info->disabledOwner, TRUE);
        ForgetInfo(dialog);
        return DefWindowProcW(dialog, message, wParam, lParam);
    }
    if (!result && IsWindow(dialog)) {
        switch (message) {
        case WM_INITDIALOG:
            break;
        default:
            return DefaultDialogMessage(dialog, message, wParam, lParam, FindInfo(dialog));
        }
    }
    switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
        // These answer with the procedure's own result, not DWLP_MSGRESULT.
        return result;
    }
    return IsWindow(dialog) ? GetWindowLongPtrW(dialog, DWLP_MSGRESULT) : 0;
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg)
{
    if (!dialog || !msg) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    if (msg->message == WM_KEYDOWN) {
        LRESULT code = msg->hwnd ? SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, (LPARAM)msg) : 0;
        switch (msg->wParam) {
        case VK_TAB:
            if (!(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
                HWND next = NextTabItem(dialog, GetFocus() && IsChild(dialog, GetFocus()) ? GetFocus() : nullptr);
                if (next) SetFocus(next);
                return TRUE;
            }
            break;
        case VK_ESCAPE:
            if (!(code & DLGC_WANTALLKEYS)) {
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(dialog, IDCANCEL));
                return TRUE;
            }
            break;
        case VK_RETURN:
            if (!(code & DLGC_WANTALLKEYS)) {
                if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
                    SendMessageW(msg->hwnd, BM_CLICK, 0, 0);
                } else {
                    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
                    int id = HIWORD(def) == kHasDefId ? LOWORD(def) : IDOK;
                    HWND button = GetDlgItem(dialog, id);
                    if (!button || IsWindowEnabled(button))
                        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
                }
                return TRUE;
            }
            break;
        }
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    if (!dialog) return nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongPtrW(child, GWLP_ID) == (LONG_PTR)id) return child;
    return nullptr;
}

int GetDlgCtrlID(HWND window)
{
    return (int)GetWindowLongPtrW(window, GWLP_ID);
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    return (BOOL)SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, (LPARAM)text);
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size)
{
    if (buffer && size > 0) buffer[0] = 0;
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    return (UINT)SendMessageW(control, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageW(control, message, wParam, lParam) : 0;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    DialogInfo *info = FindInfo(dialog);
    if (!info || !rect) return FALSE;
    rect->left = MulDivRound(rect->left, info->baseX, 4);
    rect->right = MulDivRound(rect->right, info->baseX, 4);
    rect->top = MulDivRound(rect->top, info->baseY, 8);
    rect->bottom = MulDivRound(rect->bottom, info->baseY, 8);
    return TRUE;
}
