// The "Static" control of the device: text (left, centred or right aligned,
// word-wrapped, "\r\n" breaking lines), bitmaps and icons, and the plain
// rectangles and frames.
//
// A bitmap static shows the very bitmap object it was given: whoever draws
// into that bitmap and repaints the control sees the new picture. It takes
// the bitmap's size unless SS_CENTERIMAGE or SS_REALSIZECONTROL is set. The
// images set by STM_SETIMAGE belong to the caller; the control deletes none.
//
// Not implemented: SS_OWNERDRAW, SS_ETCHED* frames, SS_ENHMETAFILE,
// SS_ENDELLIPSIS and SS_PATHELLIPSIS; those styles paint the background only.
#include "dialog_internal.h"

#include <algorithm>

namespace dev {

namespace {

const UINT kStaticClicked = 0; // STN_CLICKED
const DWORD kBlackRect = 4, kGrayRect = 5, kWhiteRect = 6;
const DWORD kBlackFrame = 7, kGrayFrame = 8, kWhiteFrame = 9;

struct StaticRecord {
    HFONT font = nullptr;     // from WM_SETFONT; null draws with the dialog font
    HBITMAP bitmap = nullptr; // SS_BITMAP: the bitmap shown, not owned
    HICON icon = nullptr;     // SS_ICON: the icon shown, not owned
};

DWORD StaticType(HWND window)
{
    return (DWORD)GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK;
}

bool HasText(DWORD type)
{
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP;
}

void PaintText(HWND window, HDC dc, const RECT &client, HBRUSH brush, StaticRecord *record)
{
    LONG style = GetWindowLongW(window, GWL_STYLE);
    FillRect(dc, &client, brush);
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        format |= DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_LEFTNOWORDWRAP:
        format |= DT_LEFT;
        break;
    default:
        format |= DT_LEFT | DT_WORDBREAK;
        break;
    }
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (!IsWindowEnabled(window)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    std::u16string text = WindowText(window);
    if (text.empty()) return;
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(record->font));
    RECT rect = client;
    DrawTextW(dc, text.c_str(), (int)text.size(), &rect, format);
    SelectObject(dc, oldFont);
}

void PaintBitmap(HWND window, HDC dc, const RECT &client, HBRUSH brush, StaticRecord *record)
{
    BITMAP info;
    if (!record->bitmap || !GetObjectW(record->bitmap, sizeof info, &info)) {
        FillRect(dc, &client, brush);
        return;
    }
    int x = 0, y = 0;
    if (GetWindowLongW(window, GWL_STYLE) & SS_CENTERIMAGE) {
        x = (client.right - info.bmWidth) / 2;
        y = (client.bottom - info.bmHeight) / 2;
    }
    // The background only where the picture leaves the control uncovered:
    // a graph shown this way is repainted several times a second.
    int top = std::max(y, (int)client.top), bottom = std::min(y + info.bmHeight, (int)client.bottom);
    const RECT bands[4] = {{client.left, client.top, client.right, std::min(y, (int)client.bottom)},
                           {client.left, std::max(y + info.bmHeight, (int)client.top), client.right, client.bottom},
                           {client.left, top, std::min(x, (int)client.right), bottom},
                           {std::max(x + info.bmWidth, (int)client.left), top, client.right, bottom}};
    for (const RECT &band : bands)
        if (band.left < band.right && band.top < band.bottom) FillRect(dc, &band, brush);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, record->bitmap);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void PaintIcon(HDC dc, const RECT &client, HBRUSH brush, StaticRecord *record)
{
    FillRect(dc, &client, brush);
    if (record->icon) DrawIconEx(dc, 0, 0, record->icon, 0, 0, 0, nullptr, DI_NORMAL);
}

void PaintRectangle(HDC dc, const RECT &client, DWORD type)
{
    int index = (type == kBlackRect || type == kBlackFrame) ? COLOR_3DDKSHADOW
                : (type == kGrayRect || type == kGrayFrame) ? COLOR_BTNSHADOW
                                                            : COLOR_BTNHIGHLIGHT;
    if (type <= kWhiteRect)
        FillRect(dc, &client, GetSysColorBrush(index));
    else
        FrameRect(dc, &client, GetSysColorBrush(index));
}

void Paint(HWND window, HDC dc, StaticRecord *record)
{
    RECT client;
    GetClientRect(window, &client);
    DWORD type = StaticType(window);
    if (type >= kBlackRect && type <= kWhiteFrame) {
        PaintRectangle(dc, client, type);
        return;
    }
    HBRUSH brush = ControlColorBrush(window, dc, WM_CTLCOLORSTATIC);
    if (HasText(type))
        PaintText(window, dc, client, brush, record);
    else if (type == SS_BITMAP)
        PaintBitmap(window, dc, client, brush, record);
    else if (type == SS_ICON)
        PaintIcon(dc, client, brush, record);
    else
        FillRect(dc, &client, brush);
}

// Changes show at once, without waiting for WM_PAINT, as on the platform.
void PaintNow(HWND window, StaticRecord *record)
{
    if (!IsWindowVisible(window)) return;
    HDC dc = GetDC(window);
    if (!dc) return;
    Paint(window, dc, record);
    ReleaseDC(window, dc);
}

void FitTo(HWND window, int width, int height)
{
    LONG style = GetWindowLongW(window, GWL_STYLE);
    if (style & (SS_CENTERIMAGE | SS_REALSIZECONTROL)) return;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOZORDER);
}

LRESULT SetBitmap(HWND window, StaticRecord *record, HBITMAP bitmap)
{
    if (StaticType(window) != SS_BITMAP) return 0;
    if (bitmap && GetObjectType(bitmap) != OBJ_BITMAP) return 0;
    HBITMAP old = record->bitmap;
    record->bitmap = bitmap;
    BITMAP info;
    if (bitmap && GetObjectW(bitmap, sizeof info, &info)) FitTo(window, info.bmWidth, info.bmHeight);
    PaintNow(window, record);
    return (LRESULT)old;
}

LRESULT SetIcon(HWND window, StaticRecord *record, HICON icon)
{
    if (StaticType(window) != SS_ICON) return 0;
    HICON old = record->icon;
    record->icon = icon;
    if (icon) {
        int width = GetSystemMetrics(SM_CXICON), height = GetSystemMetrics(SM_CYICON);
        ICONINFO info;
        if (GetIconInfo(icon, &info)) {
            BITMAP bits;
            HBITMAP shape = info.hbmColor ? info.hbmColor : info.hbmMask;
            if (shape && GetObjectW(shape, sizeof bits, &bits)) {
                width = bits.bmWidth;
                height = info.hbmColor ? bits.bmHeight : bits.bmHeight / 2;
            }
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
        FitTo(window, width, height);
    }
    PaintNow(window, record);
    return (LRESULT)old;
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    StaticRecord *record = ControlLifetime<StaticRecord>(window, message, wParam, lParam, &result);
    if (!record) return result;

    switch (message) {
    case WM_PAINT:
        return PaintControl(window, record, Paint);
    case WM_ERASEBKGND:
        return 1; // WM_PAINT paints everything
    case WM_ENABLE:
        PaintNow(window, record);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        if (HasText(StaticType(window))) PaintNow(window, record);
        return result;
    }
    case WM_SETFONT:
        record->font = (HFONT)wParam;
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return (LRESULT)record->font;
    case WM_NCHITTEST:
        // Without SS_NOTIFY a static lets taps through to what lies beneath.
        return (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
        if (GetWindowLongW(window, GWL_STYLE) & SS_NOTIFY)
            SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), kStaticClicked),
                         (LPARAM)window);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case STM_SETIMAGE:
        if (wParam == IMAGE_BITMAP) return SetBitmap(window, record, (HBITMAP)lParam);
        if (wParam == IMAGE_ICON) return SetIcon(window, record, (HICON)lParam);
        return 0;
    case STM_GETIMAGE:
        if (wParam == IMAGE_BITMAP) return (LRESULT)record->bitmap;
        if (wParam == IMAGE_ICON) return (LRESULT)record->icon;
        return 0;
    case STM_SETICON:
        return SetIcon(window, record, (HICON)wParam);
    case STM_GETICON:
        return (LRESULT)record->icon;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void RegisterStaticClass()
{
    RegisterSystemClass(u"Static", StaticProc, sizeof(StaticRecord *));
}

} // namespace dev
