// MessageBoxW of the device: a modal dialog of the device's dialog class,
// built from a template made here and laid out when it starts: the text
// word-wrapped to fit the screen, an OK button (and Cancel for MB_OKCANCEL)
// centred under it, the box centred on the screen above the taskbar and
// brought to the foreground. Its modal loop is the dialog manager's, so the
// messages of every window of the thread keep flowing behind it.
//
// Closing the box by its close box (or WM_CLOSE) asks for Cancel, which the
// box answers with IDCANCEL even when it shows only OK, as the reference
// implementation of the platform does.
//
// Not implemented: icons (MB_ICON*), the other button sets (MB_YESNO,
// MB_ABORTRETRYIGNORE, ...: they show OK), MB_DEFBUTTON*, help buttons.
#include "dialog_internal.h"
#include "user.h"
#include "gdi.h"

#include <algorithm>
#include <vector>

namespace dev {

namespace {

const WORD kTextId = 0xFFFF;
const int kMargin = 8;    // around the text and the buttons
const int kButtonGap = 8; // between two buttons
const int kMinButtonWidth = 50;

struct BoxRequest {
    LPCWSTR text;
    LPCWSTR caption;
    UINT type;
};

int TextWidth(HDC dc, const char16_t *text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, (int)std::char_traits<char16_t>::length(text), &size);
    return size.cx;
}

void LayOut(HWND box, const BoxRequest *request)
{
    bool withCancel = (request->type & MB_TYPEMASK) == MB_OKCANCEL;
    HWND textControl = GetDlgItem(box, kTextId);
    HWND ok = GetDlgItem(box, IDOK);
    HWND cancel = GetDlgItem(box, IDCANCEL);

    RECT insets;
    FrameInsets((DWORD)GetWindowLongW(box, GWL_STYLE), (DWORD)GetWindowLongW(box, GWL_EXSTYLE), &insets);
    RECT work = DeviceWorkArea();
    int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    int maxTextWidth = std::max(1, (int)(workWidth - insets.left - insets.right - 2 * kMargin));

    HDC dc = GetDC(box);
    HGDIOBJ oldFont = SelectObject(dc, DialogFont());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    RECT textRect = {0, 0, maxTextWidth, 0};
    const char16_t *text = request->text ? request->text : u"";
    DrawTextW(dc, text, -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    int buttonWidth = std::max(kMinButtonWidth, TextWidth(dc, u"OK") + 2 * kMargin);
    if (withCancel) buttonWidth = std::max(buttonWidth, TextWidth(dc, u"Cancel") + 2 * kMargin);
    SelectObject(dc, oldFont);
    ReleaseDC(box, dc);

    int buttonHeight = metrics.tmHeight + 10;
    int buttons = withCancel ? 2 : 1;
    int rowWidth = buttons * buttonWidth + (buttons - 1) * kButtonGap;
    int textWidth = std::min(maxTextWidth, (int)(textRect.right - textRect.left));
    int maxTextHeight =
        std::max(metrics.tmHeight, (int)(workHeight - insets.top - insets.bottom - 3 * kMargin - buttonHeight));
    int textHeight = std::min(maxTextHeight, (int)(textRect.bottom - textRect.top));
    int clientWidth = std::max(textWidth, rowWidth) + 2 * kMargin;
    int clientHeight = textHeight + buttonHeight + 3 * kMargin;
    int width = clientWidth + insets.left + insets.right;
    int height = clientHeight + insets.top + insets.bottom;
    MoveWindow(box, work.left + (workWidth - width) / 2, work.top + std::max(0, (workHeight - height) / 2), width,
               height, FALSE);

    // The text keeps exactly the width it was measured in, so it wraps
    // where the measurement did.
    MoveWindow(textControl, kMargin, kMargin, textWidth, textHeight, FALSE);
    int x = (clientWidth - rowWidth) / 2, y = kMargin + textHeight + kMargin;
    MoveWindow(ok, x, y, buttonWidth, buttonHeight, FALSE);
    if (cancel) MoveWindow(cancel, x + buttonWidth + kButtonGap, y, buttonWidth, buttonHeight, FALSE);
}

INT_PTR CALLBACK MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const BoxRequest *request = reinterpret_cast<const BoxRequest *>(lParam);
        SetWindowTextW(box, request->caption);
        SetDlgItemTextW(box, kTextId, request->text ? request->text : u"");
        LayOut(box, request);
        SetForegroundWindow(box);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(box, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

} // namespace dev

using namespace dev;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    RegisterSystemClasses();
    BoxRequest request = {text, caption ? caption : u"Error", type};
    bool withCancel = (type & MB_TYPEMASK) == MB_OKCANCEL;

    // Every item is placed when the box starts.
    TemplateWriter t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 0, request.caption,
                     (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0);
    t.Item(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, kTextId, 0x0082, u"");
    t.Item(WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0, IDOK, 0x0080, u"OK");
    if (withCancel) t.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, IDCANCEL, 0x0080, u"Cancel");

    INT_PTR result = DialogBoxIndirectParamW(nullptr, t.Get(), owner, MessageBoxProc, (LPARAM)&request);
    return result < 0 ? 0 : (int)result;
}
