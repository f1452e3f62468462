// The "Edit" control of the device, as far as the templates need it: it
// shows its text on the window colour, one line or word-wrapped lines with
// ES_MULTILINE, and repaints when the text or font changes.
//
// Not implemented: typing, the caret, selection, scrolling, the clipboard and
// the EM_* messages; keys and EM_* requests are answered as DefWindowProc does.
#include "dialog_internal.h"

namespace dev {

namespace {

const int kMargin = 2;

struct EditRecord {
    HFONT font = nullptr; // from WM_SETFONT; null draws with the dialog font
};

void Paint(HWND window, HDC dc, EditRecord *record)
{
    RECT client;
    GetClientRect(window, &client);
    HBRUSH brush = ControlColorBrush(window, dc, WM_CTLCOLOREDIT);
    FillRect(dc, &client, brush);
    if (!IsWindowEnabled(window)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    std::u16string text = WindowText(window);
    if (text.empty()) return;
    LONG style = GetWindowLongW(window, GWL_STYLE);
    UINT format = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | ((style & ES_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
    RECT rect = client;
    InflateRect(&rect, -kMargin, 0);
    rect.top += 1;
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(record->font));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), (int)text.size(), &rect, format);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    EditRecord *record = ControlLifetime<EditRecord>(window, message, wParam, lParam, &result);
    if (!record) return result;

    switch (message) {
    case WM_PAINT:
        return PaintControl(window, record, Paint);
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_SETFONT:
        record->font = (HFONT)wParam;
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return (LRESULT)record->font;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if (GetWindowLongW(window, GWL_STYLE) & ES_MULTILINE) code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_LBUTTONDOWN:
        SetFocus(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void RegisterEditClass()
{
    RegisterSystemClass(u"Edit", EditProc, sizeof(EditRecord *));
}

} // namespace dev
