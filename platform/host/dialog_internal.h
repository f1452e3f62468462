// Private to the dialog manager and the controls of the device (dialog*.cpp,
// control_*.cpp, listview*.cpp, messagebox*.cpp, user_nonclient.cpp). They are
// written on the device's public Win32 functions, the way the platform's own
// user and common-controls libraries are; only these few helpers are shared.
#pragma once

#include "../platform.h"

#include <string>
#include <vector>

namespace dev {

// Class registration of each control file; RegisterSystemClasses calls them.
void RegisterDialogClass();
void RegisterStaticClass();
void RegisterButtonClass();
void RegisterEditClass();
void RegisterListViewClass();
// A system class as the platform registers its own: global, double clicks,
// extra bytes for the control's record (or the dialog's words).
void RegisterSystemClass(const WCHAR *name, WNDPROC proc, int extraBytes);

// A standard dialog template, written as the resource compiler lays it out:
// no menu, the default dialog class, the dialog font when DS_SETFONT asks.
class TemplateWriter {
public:
    TemplateWriter(DWORD style, short x, short y, short cx, short cy, const char16_t *title, DWORD exStyle = 0)
    {
        Dword(style);
        Dword(exStyle);
        countAt_ = words_.size();
        for (WORD w : {(WORD)0, (WORD)x, (WORD)y, (WORD)cx, (WORD)cy, (WORD)0, (WORD)0})
            Word(w);
        Text(title);
        if (style & DS_SETFONT) {
            Word(8);
            Text(u"MS Sans Serif");
        }
    }
    // classOrdinal 0x80 Button, 0x81 Edit, 0x82 Static; 0 to name the class.
    TemplateWriter &Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classOrdinal,
                         const char16_t *text, const char16_t *className = nullptr)
    {
        if (words_.size() % 2) Word(0);
        Dword(style);
        Dword(0);
        for (WORD w : {(WORD)x, (WORD)y, (WORD)cx, (WORD)cy, id})
            Word(w);
        if (classOrdinal) {
            Word(0xFFFF);
            Word(classOrdinal);
        } else {
            Text(className);
        }
        Text(text);
        Word(0); // no creation data
        ++words_[countAt_];
        return *this;
    }
    LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }
    std::vector<WORD> &Words() { return words_; }

private:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const char16_t *text)
    {
        for (; text && *text; ++text)
            Word((WORD)*text);
        Word(0);
    }
    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

// The screen without the taskbar: where top-level dialogs and message boxes
// are kept.
RECT DeviceWorkArea();

// MulDiv as the platform rounds it (half away from zero), for dialog units.
int MulDivRound(int value, int numerator, int denominator);

// The window's text as the window stores it (read without a message).
std::u16string WindowText(HWND window);

// The font a control draws with: the one WM_SETFONT gave it, or the dialog
// font when it was never given one.
HFONT ControlFont(HFONT font);

// Ask the parent for the colours of a control (WM_CTLCOLOR*), with the
// platform's defaults when the parent leaves the message alone.
HBRUSH ControlColorBrush(HWND control, HDC dc, UINT message);
// What DefWindowProc gives for WM_CTLCOLOR*: window colours for edits and
// lists, the button face for everything else.
HBRUSH DefaultControlColor(HDC dc, UINT message);

// Classic 3-D frames, shared by buttons, the close box, header items and
// scroll arrows. The rectangle is shrunk by the frame drawn.
void DrawRaisedFrame(HDC dc, RECT *rect, bool outerBlack);
void DrawSunkenFrame(HDC dc, RECT *rect);
void FillSolid(HDC dc, const RECT &rect, COLORREF color);
void DrawLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color);

// The per-window record of a control lives in its first extra bytes.
template <class Record> Record *ControlRecord(HWND window)
{
    return reinterpret_cast<Record *>(GetWindowLongPtrW(window, 0));
}

// Makes the record at WM_NCCREATE and frees it at WM_NCDESTROY. Returns the
// record to answer any other message with, or null when *result already
// holds the answer.
template <class Record>
Record *ControlLifetime(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    Record *record = ControlRecord<Record>(window);
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, 0, (LONG_PTR) new Record());
        record = nullptr;
    } else if (message == WM_NCDESTROY && record) {
        SetWindowLongPtrW(window, 0, 0);
        delete record;
        record = nullptr;
    }
    if (!record) *result = DefWindowProcW(window, message, wParam, lParam);
    return record;
}

// WM_PAINT of a control whose painter takes a device context.
template <class Record> LRESULT PaintControl(HWND window, Record *record, void (*paint)(HWND, HDC, Record *))
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (dc) paint(window, dc, record);
    EndPaint(window, &ps);
    return 0;
}

} // namespace dev
