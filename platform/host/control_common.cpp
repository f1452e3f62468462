// Helpers every control of the device shares: colours asked of the parent,
// the control font, and the classic 3-D frames.
#include "dialog_internal.h"
#include "user.h"
#include "gdi.h"

namespace dev {

int MulDivRound(int value, int numerator, int denominator)
{
    if (denominator == 0) return -1;
    long long product = (long long)value * numerator;
    bool negative = (product < 0) != (denominator < 0);
    long long magnitude = product < 0 ? -product : product;
    long long divisor = denominator < 0 ? -(long long)denominator : denominator;
    long long result = (magnitude + divisor / 2) / divisor;
    return (int)(negative ? -result : result);
}

std::u16string WindowText(HWND window)
{
    // Read as the window stores it, without a message, so that any thread
    // may paint it.
    LRESULT length = DefWindowProcW(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::u16string();
    std::u16string text((size_t)length + 1, u'\0');
    LRESULT copied = DefWindowProcW(window, WM_GETTEXT, (WPARAM)(length + 1), (LPARAM)&text[0]);
    text.resize(copied > 0 ? (size_t)copied : 0);
    return text;
}

HFONT ControlFont(HFONT font)
{
    return font ? font : DialogFont();
}

HBRUSH DefaultControlColor(HDC dc, UINT message)
{
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return GetSysColorBrush(COLOR_WINDOW);
    }
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return GetSysColorBrush(COLOR_BTNFACE);
}

HBRUSH ControlColorBrush(HWND control, HDC dc, UINT message)
{
    HWND parent = GetParent(control);
    if (!parent) parent = control;
    HBRUSH brush = (HBRUSH)SendMessageW(parent, message, (WPARAM)dc, (LPARAM)control);
    // A parent that ignores the message leaves the choice to the default
    // handling, as the platform's controls do.
    if (!brush) brush = (HBRUSH)DefWindowProcW(parent, message, (WPARAM)dc, (LPARAM)control);
    if (!brush) brush = DefaultControlColor(dc, message);
    return brush;
}

void FillSolid(HDC dc, const RECT &rect, COLORREF color)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void DrawLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color)
{
    // Only horizontal and vertical lines are needed; x1/y1 are exclusive.
    RECT line = {x0, y0, x1 > x0 ? x1 : x0 + 1, y1 > y0 ? y1 : y0 + 1};
    FillSolid(dc, line, color);
}

static void Draw3dRect(HDC dc, RECT *rect, COLORREF topLeft, COLORREF bottomRight)
{
    RECT &r = *rect;
    if (r.right - r.left < 2 || r.bottom - r.top < 2) return;
    DrawLine(dc, r.left, r.top, r.right - 1, r.top, topLeft);
    DrawLine(dc, r.left, r.top, r.left, r.bottom - 1, topLeft);
    DrawLine(dc, r.left, r.bottom - 1, r.right, r.bottom - 1, bottomRight);
    DrawLine(dc, r.right - 1, r.top, r.right - 1, r.bottom, bottomRight);
    InflateRect(rect, -1, -1);
}

void DrawRaisedFrame(HDC dc, RECT *rect, bool outerBlack)
{
    if (outerBlack) Draw3dRect(dc, rect, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DDKSHADOW));
    Draw3dRect(dc, rect, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    Draw3dRect(dc, rect, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_BTNSHADOW));
}

void DrawSunkenFrame(HDC dc, RECT *rect)
{
    Draw3dRect(dc, rect, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
    Draw3dRect(dc, rect, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
}

void RegisterSystemClasses()
{
    RegisterDialogClass();
    RegisterStaticClass();
    RegisterButtonClass();
    RegisterEditClass();
    RegisterListViewClass();
}

void RegisterSystemClass(const WCHAR *name, WNDPROC proc, int extraBytes)
{
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extraBytes;
    wc.lpszClassName = name;
    RegisterClassW(&wc); // fails harmlessly when it exists
}

} // namespace dev
