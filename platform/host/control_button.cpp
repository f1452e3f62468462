// The "Button" control of the device: push buttons (BS_PUSHBUTTON and
// BS_DEFPUSHBUTTON) with the classic 3-D look, a pressed look while the
// stylus is down on them, a dotted focus rectangle and grey embossed text
// when disabled. A click is a press and a release both inside the button; it
// sends WM_COMMAND with BN_CLICKED and the button's handle to the parent.
//
// Not implemented: check boxes, radio buttons, group boxes, owner-drawn and
// image buttons (those styles paint and click as push buttons do).
#include "dialog_internal.h"

namespace dev {

namespace {

const WPARAM kFocusState = 0x0008; // BST_FOCUS

struct ButtonRecord {
    HFONT font = nullptr;  // from WM_SETFONT; null draws with the dialog font
    bool pushed = false;   // drawn pressed (BST_PUSHED)
    bool tracking = false; // the stylus went down on the button and has not lifted
    bool keyDown = false;  // the space key went down on the button
    bool focused = false;  // the button has the input focus
};

bool IsDefault(HWND window)
{
    return (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

void DrawFocusDots(HDC dc, const RECT &rect)
{
    COLORREF ink = GetSysColor(COLOR_BTNTEXT);
    for (int x = rect.left; x < rect.right; x += 2) {
        SetPixel(dc, x, rect.top, ink);
        SetPixel(dc, x, rect.bottom - 1, ink);
    }
    for (int y = rect.top; y < rect.bottom; y += 2) {
        SetPixel(dc, rect.left, y, ink);
        SetPixel(dc, rect.right - 1, y, ink);
    }
}

void Paint(HWND window, HDC dc, ButtonRecord *record)
{
    RECT rect;
    GetClientRect(window, &rect);
    // The parent may choose the text colour; the face stays the button face.
    ControlColorBrush(window, dc, WM_CTLCOLORBTN);
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    bool enabled = IsWindowEnabled(window) != 0;
    bool outerBlack = IsDefault(window) || record->focused;
    RECT inner = rect;
    if (record->pushed) {
        if (outerBlack) {
            FrameRect(dc, &inner, GetSysColorBrush(COLOR_3DDKSHADOW));
            InflateRect(&inner, -1, -1);
        }
        FrameRect(dc, &inner, GetSysColorBrush(COLOR_BTNSHADOW));
        InflateRect(&inner, -2, -2);
    } else {
        DrawRaisedFrame(dc, &inner, outerBlack);
    }

    std::u16string text = WindowText(window);
    if (!text.empty()) {
        HGDIOBJ oldFont = SelectObject(dc, ControlFont(record->font));
        int oldMode = SetBkMode(dc, TRANSPARENT);
        RECT label = rect;
        if (record->pushed) OffsetRect(&label, 1, 1);
        const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
        if (enabled) {
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextW(dc, text.c_str(), (int)text.size(), &label, format);
        } else {
            // Disabled text is embossed: a highlight under the grey.
            RECT shadow = label;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextW(dc, text.c_str(), (int)text.size(), &shadow, format);
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
            DrawTextW(dc, text.c_str(), (int)text.size(), &label, format);
        }
        SetBkMode(dc, oldMode);
        SelectObject(dc, oldFont);
    }
    if (record->focused && enabled) {
        RECT dots = rect;
        InflateRect(&dots, -4, -4);
        if (record->pushed) OffsetRect(&dots, 1, 1);
        DrawFocusDots(dc, dots);
    }
}

// State changes show at once, as on the platform.
void PaintNow(HWND window, ButtonRecord *record)
{
    if (!IsWindowVisible(window)) return;
    HDC dc = GetDC(window);
    if (!dc) return;
    Paint(window, dc, record);
    ReleaseDC(window, dc);
}

void Notify(HWND window, WORD code)
{
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code), (LPARAM)window);
}

bool Inside(HWND window, LPARAM lParam)
{
    RECT client;
    GetClientRect(window, &client);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return PtInRect(&client, point) != 0;
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    ButtonRecord *record = ControlLifetime<ButtonRecord>(window, message, wParam, lParam, &result);
    if (!record) return result;

    switch (message) {
    case WM_PAINT:
        return PaintControl(window, record, Paint);
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!IsWindowEnabled(window)) return 0;
        SetFocus(window);
        SetCapture(window);
        record->tracking = true;
        SendMessageW(window, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_MOUSEMOVE:
        if (record->tracking && GetCapture() == window) {
            bool inside = Inside(window, lParam);
            if (inside != record->pushed) SendMessageW(window, BM_SETSTATE, inside, 0);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!record->tracking) return 0;
        record->tracking = false;
        bool clicked = record->pushed && Inside(window, lParam);
        if (record->pushed) SendMessageW(window, BM_SETSTATE, FALSE, 0);
        // Let go of the stylus before telling the parent, which may open a
        // modal dialog of its own.
        if (GetCapture() == window) ReleaseCapture();
        if (clicked) Notify(window, BN_CLICKED);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (record->tracking) {
            record->tracking = false;
            if (record->pushed) SendMessageW(window, BM_SETSTATE, FALSE, 0);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && IsWindowEnabled(window)) {
            record->keyDown = true;
            SendMessageW(window, BM_SETSTATE, TRUE, 0);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && record->keyDown) {
            record->keyDown = false;
            SendMessageW(window, BM_SETSTATE, FALSE, 0);
            Notify(window, BN_CLICKED);
        }
        return 0;
    case WM_SETFOCUS:
        record->focused = true;
        PaintNow(window, record);
        return 0;
    case WM_KILLFOCUS:
        record->focused = false;
        record->keyDown = false;
        if (record->tracking && GetCapture() == window) ReleaseCapture();
        PaintNow(window, record);
        return 0;
    case WM_ENABLE:
        PaintNow(window, record);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        PaintNow(window, record);
        return result;
    }
    case WM_SETFONT:
        record->font = (HFONT)wParam;
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return (LRESULT)record->font;
    case WM_GETDLGCODE:
        return DLGC_BUTTON | (IsDefault(window) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTATE:
        if ((wParam != 0) != record->pushed) {
            record->pushed = wParam != 0;
            PaintNow(window, record);
        }
        return 0;
    case BM_GETSTATE:
        return (record->pushed ? BST_PUSHED : 0) | (record->focused ? kFocusState : 0);
    case BM_CLICK:
        SendMessageW(window, WM_LBUTTONDOWN, 0, 0);
        SendMessageW(window, WM_LBUTTONUP, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void RegisterButtonClass()
{
    RegisterSystemClass(u"Button", ButtonProc, sizeof(ButtonRecord *));
}

} // namespace dev
