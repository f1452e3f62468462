// The non-client frame of the device's windows: borders, the caption bar with
// its title, and the close box. The kernel sizes client areas with
// FrameInsets and routes WM_NCPAINT, WM_NCHITTEST and WM_NCLBUTTONDOWN here.
//
// The frame follows the platform's rules: a caption (WS_CAPTION) brings a
// dialog frame with it; DS_MODALFRAME (WS_EX_DLGMODALFRAME) and WS_DLGFRAME
// give a dialog frame, WS_THICKFRAME a sizing frame, WS_BORDER a 1-pixel
// line; WS_EX_CLIENTEDGE adds a sunken edge inside.
//
// Not implemented: moving windows by their caption, sizing by the frame,
// system menus, minimize/maximize boxes and non-client scroll bars.
#include "dialog_internal.h"
#include "user.h"
#include "gdi.h"

namespace dev {

namespace {

const int kBorder = 1;      // SM_CXBORDER
const int kDialogFrame = 3; // SM_CXDLGFRAME
const int kThickFrame = 4;  // SM_CXFRAME
const int kEdge = 2;        // SM_CXEDGE
const int kCaption = 19;    // SM_CYCAPTION: the bar and the line under it
const int kCloseWidth = 16;
const int kCloseHeight = 14;

bool HasThickFrame(DWORD style)
{
    return (style & WS_THICKFRAME) && (style & (WS_DLGFRAME | WS_BORDER)) != WS_DLGFRAME;
}
bool HasDialogFrame(DWORD style, DWORD exStyle)
{
    return (exStyle & WS_EX_DLGMODALFRAME) || ((style & WS_DLGFRAME) && !(style & WS_THICKFRAME));
}
bool HasThinFrame(DWORD style)
{
    return (style & WS_BORDER) || !(style & (WS_CHILD | WS_POPUP));
}
bool HasCaption(DWORD style)
{
    return (style & WS_CAPTION) == WS_CAPTION;
}

int OuterFrame(DWORD style, DWORD exStyle)
{
    if (HasThickFrame(style)) return kThickFrame;
    if (HasDialogFrame(style, exStyle)) return kDialogFrame;
    if (HasThinFrame(style)) return kBorder;
    return 0;
}

// Caption bar and close box, in window coordinates (the window's top-left is 0, 0).
bool CaptionRect(DWORD style, DWORD exStyle, int width, RECT *caption)
{
    if (!HasCaption(style)) return false;
    int frame = OuterFrame(style, exStyle);
    SetRect(caption, frame, frame, width - frame, frame + kCaption - 1);
    return true;
}

RECT CloseBoxRect(const RECT &caption)
{
    int top = caption.top + (caption.bottom - caption.top - kCloseHeight) / 2;
    RECT box = {caption.right - 2 - kCloseWidth, top, caption.right - 2, top + kCloseHeight};
    return box;
}

bool WindowStyles(HWND window, DWORD *style, DWORD *exStyle, SIZE *size)
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    *style = (DWORD)GetWindowLongW(window, GWL_STYLE);
    *exStyle = (DWORD)GetWindowLongW(window, GWL_EXSTYLE);
    size->cx = rect.right - rect.left;
    size->cy = rect.bottom - rect.top;
    return true;
}

void DrawCloseBox(HDC dc, const RECT &box, bool pressed)
{
    RECT inner = box;
    FillSolid(dc, inner, GetSysColor(COLOR_BTNFACE));
    if (pressed) {
        DrawSunkenFrame(dc, &inner);
    } else {
        DrawRaisedFrame(dc, &inner, false);
    }
    // The cross: two diagonals, two pixels wide, centred in the box.
    int size = 7;
    int x0 = box.left + (box.right - box.left - size) / 2 - 1 + (pressed ? 1 : 0);
    int y0 = box.top + (box.bottom - box.top - size) / 2 + (pressed ? 1 : 0);
    COLORREF ink = GetSysColor(COLOR_BTNTEXT);
    for (int i = 0; i < size; ++i) {
        SetPixel(dc, x0 + i, y0 + i, ink);
        SetPixel(dc, x0 + i + 1, y0 + i, ink);
        SetPixel(dc, x0 + size - 1 - i, y0 + i, ink);
        SetPixel(dc, x0 + size - i, y0 + i, ink);
    }
}

void PaintFrame(HDC dc, DWORD style, DWORD exStyle, SIZE size)
{
    RECT rect = {0, 0, size.cx, size.cy};
    int frame = OuterFrame(style, exStyle);
    if (frame == kBorder) {
        HBRUSH line = GetSysColorBrush(COLOR_WINDOWFRAME);
        FrameRect(dc, &rect, line);
        InflateRect(&rect, -1, -1);
    } else if (frame > kBorder) {
        DrawRaisedFrame(dc, &rect, false);
        for (int i = 2; i < frame; ++i) {
            FrameRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
            InflateRect(&rect, -1, -1);
        }
    }
    if (HasCaption(style)) rect.top += kCaption;
    if (exStyle & WS_EX_CLIENTEDGE) DrawSunkenFrame(dc, &rect);
}

void PaintCaption(HWND window, HDC dc, DWORD style, DWORD exStyle, SIZE size)
{
    RECT caption;
    if (!CaptionRect(style, exStyle, size.cx, &caption)) return;
    bool active = GetForegroundWindow() == window;
    FillRect(dc, &caption, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    DrawLine(dc, caption.left, caption.bottom, caption.right, caption.bottom, GetSysColor(COLOR_BTNFACE));

    RECT text = caption;
    text.left += 3;
    if (style & WS_SYSMENU) {
        RECT box = CloseBoxRect(caption);
        text.right = box.left - 2;
        DrawCloseBox(dc, box, false);
    }
    std::u16string title = WindowText(window);
    if (title.empty() || text.right <= text.left) return;
    HGDIOBJ oldFont = SelectObject(dc, DialogFont());
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    // Drawn twice, one pixel apart: the caption's heavier face.
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS;
    RECT first = text;
    first.right -= 1;
    DrawTextW(dc, title.c_str(), (int)title.size(), &first, format);
    RECT second = first;
    OffsetRect(&second, 1, 0);
    DrawTextW(dc, title.c_str(), (int)title.size(), &second, format);
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

bool CloseBoxOnScreen(HWND window, RECT *screenBox)
{
    DWORD style, exStyle;
    SIZE size;
    if (!WindowStyles(window, &style, &exStyle, &size) || !(style & WS_SYSMENU)) return false;
    RECT caption;
    if (!CaptionRect(style, exStyle, size.cx, &caption)) return false;
    RECT windowRect;
    GetWindowRect(window, &windowRect);
    *screenBox = CloseBoxRect(caption);
    OffsetRect(screenBox, windowRect.left, windowRect.top);
    return true;
}

void RedrawCloseBox(HWND window, bool pressed)
{
    DWORD style, exStyle;
    SIZE size;
    RECT caption;
    if (!WindowStyles(window, &style, &exStyle, &size) || !CaptionRect(style, exStyle, size.cx, &caption)) return;
    HDC dc = GetWindowDC(window);
    if (!dc) return;
    DrawCloseBox(dc, CloseBoxRect(caption), pressed);
    ReleaseDC(window, dc);
}

// Where a mouse message under capture happened, in screen coordinates.
POINT MessagePoint(HWND window, const MSG &msg)
{
    POINT point = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    ClientToScreen(msg.hwnd ? msg.hwnd : window, &point);
    return point;
}

} // namespace

void FrameInsets(DWORD style, DWORD exStyle, RECT *insets)
{
    int frame = OuterFrame(style, exStyle);
    if (exStyle & WS_EX_CLIENTEDGE) frame += kEdge;
    SetRect(insets, frame, frame, frame, frame);
    if (HasCaption(style)) insets->top += kCaption;
}

void PaintNonClient(HWND window)
{
    DWORD style, exStyle;
    SIZE size;
    if (!WindowStyles(window, &style, &exStyle, &size)) return;
    RECT insets;
    FrameInsets(style, exStyle, &insets);
    if (!insets.left && !insets.top && !insets.right && !insets.bottom) return;
    HDC dc = GetWindowDC(window);
    if (!dc) return;
    PaintFrame(dc, style, exStyle, size);
    PaintCaption(window, dc, style, exStyle, size);
    ReleaseDC(window, dc);
}

LRESULT NonClientHitTest(HWND window, POINT point)
{
    RECT windowRect, clientRect;
    if (!WindowScreenRects(window, &windowRect, &clientRect)) return HTNOWHERE;
    if (!PtInRect(&windowRect, point)) return HTNOWHERE;
    if (PtInRect(&clientRect, point)) return HTCLIENT;
    DWORD style = (DWORD)GetWindowLongW(window, GWL_STYLE);
    DWORD exStyle = (DWORD)GetWindowLongW(window, GWL_EXSTYLE);
    RECT caption;
    if (CaptionRect(style, exStyle, windowRect.right - windowRect.left, &caption)) {
        OffsetRect(&caption, windowRect.left, windowRect.top);
        caption.bottom += 1; // the line under the bar belongs to the caption
        if (PtInRect(&caption, point)) {
            RECT box;
            if (CloseBoxOnScreen(window, &box) && PtInRect(&box, point)) return HTCLOSE;
            return HTCAPTION;
        }
    }
    return HTBORDER;
}

LRESULT NonClientButtonDown(HWND window, WPARAM hitTest, LPARAM screenPoint)
{
    if (hitTest != HTCLOSE) return 0;
    RECT box;
    if (!CloseBoxOnScreen(window, &box)) return 0;
    // Track the stylus until it lifts: the close happens only when it lifts
    // over the box, so sliding off cancels, as on the platform.
    SetCapture(window);
    bool pressed = true;
    RedrawCloseBox(window, true);
    MSG msg;
    for (;;) {
        if (GetMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST) <= 0) {
            if (msg.message == WM_QUIT) PostQuitMessage((int)msg.wParam);
            pressed = false;
            break;
        }
        if (GetCapture() != window) {
            pressed = false;
            break;
        }
        if (msg.message != WM_MOUSEMOVE && msg.message != WM_LBUTTONUP) continue;
        bool inside = PtInRect(&box, MessagePoint(window, msg)) != 0;
        if (msg.message == WM_LBUTTONUP) {
            pressed = inside;
            break;
        }
        if (inside != pressed) RedrawCloseBox(window, inside);
        pressed = inside;
    }
    if (GetCapture() == window) ReleaseCapture();
    if (!IsWindow(window)) return 0;
    RedrawCloseBox(window, false);
    if (pressed) SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, screenPoint);
    return 0;
}

} // namespace dev
