// The list view "SysListView32" of the device's common controls, in report
// view: a header row of column titles that can be tapped (LVN_COLUMNCLICK),
// rows of cells clipped to their column widths with the text cut short, and a
// vertical scroll bar when the rows do not fit. It copies every text it is
// given and answers the LVM_* requests below as the platform's list view does,
// including its notifications of inserted and deleted items.
//
// Where to start: ListViewProc routes; the LVM_* handlers change the record
// under the device lock (so a window dump may read it from another thread)
// and notify the parent only after letting the lock go.
//
// Not implemented: the icon, small-icon and list views (every style shows the
// report view), selection and focus of items, item images and state images,
// text callbacks (LPSTR_TEXTCALLBACKW shows as empty text), sorting styles,
// owner data, in-place editing, horizontal scrolling (columns beyond the
// right edge are cut off), header drag and column sizing, a separate header
// window (LVM_GETHEADER answers null), keyboard navigation, and the
// WM_NOTIFYFORMAT question to the parent (the device is wide-text only).
#include "dialog_internal.h"
#include "kernel.h"
#include "user.h"

#include <algorithm>
#include <vector>

namespace dev {

namespace {

typedef std::lock_guard<std::recursive_mutex> Lock;

const int kScrollWidth = 13;  // the vertical scroll bar
const int kCellPadding = 3;   // text inset at both ends of a cell
const int kHeaderPadding = 4; // header height beyond the font's
const int kRowPadding = 1;    // row height beyond the font's
const int kMinThumb = 8;

struct Column {
    int fmt = LVCFMT_LEFT;
    int width = 0;
    std::u16string title;
    int subItem = 0; // as given with LVCF_SUBITEM; cells show the subitem of the column's index
    int image = 0;
};

struct Item {
    std::vector<std::u16string> texts; // by subitem; [0] is the item's own text
    LPARAM param = 0;
    int image = 0;
    UINT state = 0;
};

enum class ScrollPart { None, LineUp, LineDown, PageUp, PageDown, Thumb };

struct ListViewRecord {
    HFONT font = nullptr;        // from WM_SETFONT; null draws with the dialog font
    std::vector<Column> columns; // by index
    std::vector<int> order;      // display order, left to right: column indexes
    std::vector<Item> items;
    bool redraw = true; // WM_SETREDRAW: false holds all painting back
    int top = 0;        // index of the first row shown
    int rowHeight = 14;
    int headerHeight = 17;
    int headerColumn = -1;                    // header item the stylus went down on, -1 for none
    bool headerPressed = false;               // the stylus is still over that item: drawn pressed
    ScrollPart scrollPart = ScrollPart::None; // scroll bar part under a stylus press
    int thumbGrab = 0;                        // where in the thumb the stylus holds it
    bool bodyTracking = false;                // stylus went down on the rows
};

ListViewRecord *Record(HWND window)
{
    return ControlRecord<ListViewRecord>(window);
}

// ---------------------------------------------------------------- layout

struct Layout {
    RECT client;
    RECT rows;       // where rows are drawn
    RECT scroll;     // the scroll bar, empty when there is none
    int visibleRows; // rows that fit whole
    int maxTop;
};

Layout LayoutOf(HWND window, const ListViewRecord *record)
{
    Layout layout;
    GetClientRect(window, &layout.client);
    layout.rows = layout.client;
    layout.rows.top = std::min<LONG>(layout.client.bottom, record->headerHeight);
    int height = layout.rows.bottom - layout.rows.top;
    layout.visibleRows = std::max(0, height / std::max(1, record->rowHeight));
    int count = (int)record->items.size();
    SetRectEmpty(&layout.scroll);
    if (count > layout.visibleRows && layout.client.right > kScrollWidth) {
        layout.scroll = layout.client;
        layout.scroll.left = layout.client.right - kScrollWidth;
        layout.rows.right = layout.scroll.left;
    }
    layout.maxTop = std::max(0, count - layout.visibleRows);
    return layout;
}

int ColumnAt(const ListViewRecord *record, int x)
{
    int left = 0;
    for (int index : record->order) {
        int right = left + std::max(0, record->columns[(size_t)index].width);
        if (x >= left && x < right) return index;
        left = right;
    }
    return -1;
}

struct Thumb {
    RECT upArrow, downArrow, track, thumb;
};

Thumb ThumbOf(const Layout &layout, const ListViewRecord *record)
{
    Thumb t;
    const RECT &s = layout.scroll;
    int arrow = std::min<int>(kScrollWidth, (s.bottom - s.top) / 2);
    SetRect(&t.upArrow, s.left, s.top, s.right, s.top + arrow);
    SetRect(&t.downArrow, s.left, s.bottom - arrow, s.right, s.bottom);
    SetRect(&t.track, s.left, t.upArrow.bottom, s.right, t.downArrow.top);
    int trackLength = t.track.bottom - t.track.top;
    int count = std::max(1, (int)record->items.size());
    int length = std::max(kMinThumb, trackLength * layout.visibleRows / count);
    length = std::min(length, trackLength);
    int position = layout.maxTop ? (trackLength - length) * record->top / layout.maxTop : 0;
    SetRect(&t.thumb, s.left, t.track.top + position, s.right, t.track.top + position + length);
    return t;
}

void MeasureFont(HWND window, ListViewRecord *record)
{
    HDC dc = GetDC(window);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, ControlFont(record->font));
    TEXTMETRICW metrics;
    if (GetTextMetricsW(dc, &metrics) && metrics.tmHeight > 0) {
        Lock lock(BigLock());
        record->rowHeight = metrics.tmHeight + kRowPadding;
        record->headerHeight = metrics.tmHeight + kHeaderPadding;
    }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
}

// ---------------------------------------------------------------- painting

UINT AlignmentOf(int fmt)
{
    switch (fmt & 3) {
    case LVCFMT_RIGHT:
        return DT_RIGHT;
    case LVCFMT_CENTER:
        return DT_CENTER;
    }
    return DT_LEFT;
}

void DrawCellText(HDC dc, const RECT &cell, const std::u16string &text, UINT alignment)
{
    if (text.empty()) return;
    RECT inner = cell;
    InflateRect(&inner, -kCellPadding, 0);
    if (inner.right <= inner.left) return;
    SaveDC(dc);
    IntersectClipRect(dc, cell.left, cell.top, cell.right, cell.bottom);
    DrawTextW(dc, text.c_str(), (int)text.size(), &inner,
              alignment | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    RestoreDC(dc, -1);
}

void PaintHeader(HDC dc, const Layout &layout, const ListViewRecord *record)
{
    RECT bar = {layout.client.left, layout.client.top, layout.rows.right, layout.rows.top};
    if (IsRectEmpty(&bar)) return;
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    int x = 0;
    for (int index : record->order) {
        const Column &column = record->columns[(size_t)index];
        RECT cell = {x, bar.top, x + std::max(0, column.width), bar.bottom};
        x = cell.right;
        if (cell.left >= bar.right) break;
        if (cell.right <= cell.left) continue;
        RECT frame = cell;
        bool pressed = index == record->headerColumn && record->headerPressed;
        if (pressed) {
            FrameRect(dc, &frame, GetSysColorBrush(COLOR_BTNSHADOW));
            InflateRect(&frame, -1, -1);
        } else {
            DrawRaisedFrame(dc, &frame, false);
        }
        RECT label = cell;
        if (pressed) OffsetRect(&label, 1, 1);
        DrawCellText(dc, label, column.title, AlignmentOf(column.fmt));
    }
    if (x < bar.right) {
        RECT rest = {x, bar.top, bar.right, bar.bottom};
        DrawRaisedFrame(dc, &rest, false);
    }
}

void PaintRows(HDC dc, const Layout &layout, const ListViewRecord *record)
{
    FillRect(dc, &layout.rows, GetSysColorBrush(COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    int count = (int)record->items.size();
    for (int row = record->top; row < count; ++row) {
        int y = layout.rows.top + (row - record->top) * record->rowHeight;
        if (y >= layout.rows.bottom) break;
        const Item &item = record->items[(size_t)row];
        int x = 0;
        for (int index : record->order) {
            const Column &column = record->columns[(size_t)index];
            RECT cell = {x, y, x + std::max(0, column.width), y + record->rowHeight};
            x = cell.right;
            RECT visible;
            if (!IntersectRect(&visible, &cell, &layout.rows)) continue;
            // Cells show the subitem of their column's index; the first
            // column always stands at the left in its own alignment.
            const std::u16string &text =
                (size_t)index < item.texts.size() ? item.texts[(size_t)index] : std::u16string();
            SaveDC(dc);
            IntersectClipRect(dc, visible.left, visible.top, visible.right, visible.bottom);
            DrawCellText(dc, cell, text, AlignmentOf(column.fmt));
            RestoreDC(dc, -1);
        }
    }
}

void DrawArrow(HDC dc, const RECT &box, bool up, bool pressed)
{
    RECT frame = box;
    FillRect(dc, &frame, GetSysColorBrush(COLOR_BTNFACE));
    if (pressed)
        FrameRect(dc, &frame, GetSysColorBrush(COLOR_BTNSHADOW));
    else
        DrawRaisedFrame(dc, &frame, false);
    COLORREF ink = GetSysColor(COLOR_BTNTEXT);
    int cx = (box.left + box.right) / 2 + (pressed ? 1 : 0);
    int cy = (box.top + box.bottom) / 2 + (pressed ? 1 : 0);
    for (int i = 0; i < 3; ++i) {
        int y = up ? cy - 1 + i : cy + 1 - i;
        for (int dx = -i; dx <= i; ++dx)
            SetPixel(dc, cx + dx, y, ink);
    }
}

void PaintScrollBar(HDC dc, const Layout &layout, const ListViewRecord *record)
{
    if (IsRectEmpty(&layout.scroll)) return;
    Thumb t = ThumbOf(layout, record);
    FillRect(dc, &t.track, GetSysColorBrush(COLOR_SCROLLBAR));
    if (record->scrollPart == ScrollPart::PageUp) {
        RECT part = {t.track.left, t.track.top, t.track.right, t.thumb.top};
        FillRect(dc, &part, GetSysColorBrush(COLOR_3DDKSHADOW));
    } else if (record->scrollPart == ScrollPart::PageDown) {
        RECT part = {t.track.left, t.thumb.bottom, t.track.right, t.track.bottom};
        FillRect(dc, &part, GetSysColorBrush(COLOR_3DDKSHADOW));
    }
    DrawArrow(dc, t.upArrow, true, record->scrollPart == ScrollPart::LineUp);
    DrawArrow(dc, t.downArrow, false, record->scrollPart == ScrollPart::LineDown);
    RECT thumb = t.thumb;
    if (thumb.bottom > thumb.top) {
        FillRect(dc, &thumb, GetSysColorBrush(COLOR_BTNFACE));
        DrawRaisedFrame(dc, &thumb, false);
    }
}

void Paint(HWND window, HDC dc, ListViewRecord *record)
{
    Layout layout = LayoutOf(window, record);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(record->font));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    PaintHeader(dc, layout, record);
    PaintRows(dc, layout, record);
    PaintScrollBar(dc, layout, record);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

// Changes are painted when the window next paints, unless painting is held back.
void Refresh(HWND window, const ListViewRecord *record)
{
    if (record->redraw) InvalidateRect(window, nullptr, FALSE);
}

// ---------------------------------------------------------------- notifications

LRESULT NotifyParent(HWND window, UINT code, int item, int subItem, LPARAM param)
{
    NMLISTVIEW notice = {};
    notice.hdr.hwndFrom = window;
    notice.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(window);
    notice.hdr.code = code;
    notice.iItem = item;
    notice.iSubItem = subItem;
    notice.lParam = param;
    return SendMessageW(GetParent(window), WM_NOTIFY, notice.hdr.idFrom, (LPARAM)&notice);
}

// ---------------------------------------------------------------- requests

std::u16string CopyText(LPCWSTR text)
{
    if (!text || text == LPSTR_TEXTCALLBACKW) return std::u16string();
    return std::u16string(text);
}

int CopyOut(const std::u16string &text, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    int count = std::min((int)text.size(), size - 1);
    std::copy(text.begin(), text.begin() + count, buffer);
    buffer[count] = 0;
    return count;
}

LRESULT InsertColumn(HWND window, ListViewRecord *record, WPARAM wParam, const LVCOLUMNW *request)
{
    int requested = (int)wParam;
    if (!request || requested < 0) return -1;
    {
        Lock lock(BigLock());
        int index = std::min(requested, (int)record->columns.size());
        Column column;
        if (request->mask & LVCF_FMT) column.fmt = request->fmt;
        // The leftmost column of a list view is always left-aligned.
        if (index == 0) column.fmt = (column.fmt & ~3) | LVCFMT_LEFT;
        if (request->mask & LVCF_WIDTH) column.width = std::max(0, request->cx);
        if (request->mask & LVCF_TEXT) column.title = CopyText(request->pszText);
        if (request->mask & LVCF_SUBITEM) column.subItem = request->iSubItem;
        if (request->mask & LVCF_IMAGE) column.image = request->iImage;
        record->columns.insert(record->columns.begin() + index, column);
        // Cells keep their texts: subitems from the new column on move one
        // column to the right, but an item's own text stays its own.
        size_t from = (size_t)std::max(index, 1);
        for (Item &item : record->items)
            if (item.texts.size() > from) item.texts.insert(item.texts.begin() + (long)from, std::u16string());
        for (int &entry : record->order)
            if (entry >= index) ++entry;
        int position = (request->mask & LVCF_ORDER) ? request->iOrder : index;
        if (position < 0 || position > (int)record->order.size()) position = index;
        position = std::min(position, (int)record->order.size());
        record->order.insert(record->order.begin() + position, index);
        requested = index;
    }
    Refresh(window, record);
    return requested;
}

LRESULT DeleteColumn(HWND window, ListViewRecord *record, WPARAM wParam)
{
    int index = (int)wParam;
    {
        Lock lock(BigLock());
        if (index < 0 || index >= (int)record->columns.size()) return FALSE;
        record->columns.erase(record->columns.begin() + index);
        record->order.erase(std::find(record->order.begin(), record->order.end(), index));
        for (int &entry : record->order)
            if (entry > index) --entry;
        // Deleting the first column leaves the items' own texts in place.
        if (index != 0)
            for (Item &item : record->items)
                if ((size_t)index < item.texts.size()) item.texts.erase(item.texts.begin() + index);
        if (record->headerColumn == index) record->headerColumn = -1;
    }
    Refresh(window, record);
    return TRUE;
}

LRESULT GetColumn(const ListViewRecord *record, WPARAM wParam, LVCOLUMNW *request)
{
    int index = (int)wParam;
    if (!request || index < 0 || index >= (int)record->columns.size()) return FALSE;
    const Column &column = record->columns[(size_t)index];
    if (request->mask & LVCF_FMT) request->fmt = column.fmt;
    if (request->mask & LVCF_WIDTH) request->cx = column.width;
    if (request->mask & LVCF_TEXT) CopyOut(column.title, request->pszText, request->cchTextMax);
    if (request->mask & LVCF_SUBITEM) request->iSubItem = column.subItem;
    if (request->mask & LVCF_IMAGE) request->iImage = column.image;
    if (request->mask & LVCF_ORDER)
        request->iOrder = (int)(std::find(record->order.begin(), record->order.end(), index) - record->order.begin());
    return TRUE;
}

LRESULT InsertItem(HWND window, ListViewRecord *record, const LVITEMW *request)
{
    if (!request || request->iSubItem != 0 || request->iItem < 0) return -1;
    int index;
    Item item;
    {
        Lock lock(BigLock());
        index = std::min(request->iItem, (int)record->items.size());
        item.texts.push_back((request->mask & LVIF_TEXT) ? CopyText(request->pszText) : std::u16string());
        if (request->mask & LVIF_PARAM) item.param = request->lParam;
        if (request->mask & LVIF_IMAGE) item.image = request->iImage;
        if (request->mask & LVIF_STATE) item.state = request->state & request->stateMask;
        record->items.insert(record->items.begin() + index, item);
    }
    NotifyParent(window, LVN_INSERTITEM, index, 0, item.param);
    if (IsWindow(window)) Refresh(window, record);
    return index;
}

LRESULT SetItemText(HWND window, ListViewRecord *record, WPARAM wParam, const LVITEMW *request)
{
    int index = (int)wParam;
    if (!request) return FALSE;
    {
        Lock lock(BigLock());
        if (index < 0 || index >= (int)record->items.size()) return FALSE;
        int sub = request->iSubItem;
        // Subitems exist only under columns; the item's own text always does.
        if (sub < 0 || (sub > 0 && sub >= (int)record->columns.size())) return FALSE;
        Item &item = record->items[(size_t)index];
        if (item.texts.size() <= (size_t)sub) item.texts.resize((size_t)sub + 1);
        item.texts[(size_t)sub] = CopyText(request->pszText);
    }
    Refresh(window, record);
    return TRUE;
}

const std::u16string *CellText(const ListViewRecord *record, int index, int sub)
{
    static const std::u16string empty;
    const Item &item = record->items[(size_t)index];
    return sub >= 0 && (size_t)sub < item.texts.size() ? &item.texts[(size_t)sub] : &empty;
}

LRESULT GetItemText(const ListViewRecord *record, WPARAM wParam, LVITEMW *request)
{
    int index = (int)wParam;
    if (!request || index < 0 || index >= (int)record->items.size()) return 0;
    return CopyOut(*CellText(record, index, request->iSubItem), request->pszText, request->cchTextMax);
}

LRESULT GetItem(const ListViewRecord *record, LVITEMW *request)
{
    if (!request || request->iItem < 0 || request->iItem >= (int)record->items.size()) return FALSE;
    const Item &item = record->items[(size_t)request->iItem];
    if (request->mask & LVIF_TEXT)
        CopyOut(*CellText(record, request->iItem, request->iSubItem), request->pszText, request->cchTextMax);
    if (request->mask & LVIF_PARAM) request->lParam = item.param;
    if (request->mask & LVIF_IMAGE) request->iImage = item.image;
    if (request->mask & LVIF_STATE) request->state = item.state & request->stateMask;
    return TRUE;
}

void ClampTop(HWND window, ListViewRecord *record)
{
    Layout layout = LayoutOf(window, record);
    Lock lock(BigLock());
    record->top = std::max(0, std::min(record->top, layout.maxTop));
}

LRESULT DeleteItem(HWND window, ListViewRecord *record, WPARAM wParam)
{
    int index = (int)wParam;
    if (index < 0 || index >= (int)record->items.size()) return FALSE;
    NotifyParent(window, LVN_DELETEITEM, index, 0, record->items[(size_t)index].param);
    if (!IsWindow(window) || index >= (int)record->items.size()) return FALSE;
    {
        Lock lock(BigLock());
        record->items.erase(record->items.begin() + index);
    }
    ClampTop(window, record);
    Refresh(window, record);
    return TRUE;
}

LRESULT DeleteAllItems(HWND window, ListViewRecord *record)
{
    // A parent that answers TRUE to LVN_DELETEALLITEMS is spared the
    // LVN_DELETEITEM of every item; they go from the last one up.
    bool suppress = NotifyParent(window, LVN_DELETEALLITEMS, -1, 0, 0) != 0;
    if (!IsWindow(window)) return TRUE;
    for (int i = (int)record->items.size() - 1; i >= 0; --i) {
        if (!suppress) {
            NotifyParent(window, LVN_DELETEITEM, i, 0, record->items[(size_t)i].param);
            if (!IsWindow(window)) return TRUE;
        }
        Lock lock(BigLock());
        if ((size_t)i < record->items.size()) record->items.erase(record->items.begin() + i);
    }
    {
        Lock lock(BigLock());
        record->top = 0;
    }
    Refresh(window, record);
    return TRUE;
}

void ScrollTo(HWND window, ListViewRecord *record, int top)
{
    Layout layout = LayoutOf(window, record);
    top = std::max(0, std::min(top, layout.maxTop));
    if (top == record->top) return;
    {
        Lock lock(BigLock());
        record->top = top;
    }
    Refresh(window, record);
}

LRESULT EnsureVisible(HWND window, ListViewRecord *record, WPARAM wParam)
{
    int index = (int)wParam;
    if (index < 0 || index >= (int)record->items.size()) return FALSE;
    Layout layout = LayoutOf(window, record);
    if (index < record->top)
        ScrollTo(window, record, index);
    else if (index >= record->top + layout.visibleRows)
        ScrollTo(window, record, index - layout.visibleRows + 1);
    return TRUE;
}

void VerticalScroll(HWND window, ListViewRecord *record, WORD request, int position)
{
    Layout layout = LayoutOf(window, record);
    int page = std::max(1, layout.visibleRows);
    switch (request) {
    case SB_LINEUP:
        ScrollTo(window, record, record->top - 1);
        break;
    case SB_LINEDOWN:
        ScrollTo(window, record, record->top + 1);
        break;
    case SB_PAGEUP:
        ScrollTo(window, record, record->top - page);
        break;
    case SB_PAGEDOWN:
        ScrollTo(window, record, record->top + page);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        ScrollTo(window, record, position);
        break;
    case SB_TOP:
        ScrollTo(window, record, 0);
        break;
    case SB_BOTTOM:
        ScrollTo(window, record, layout.maxTop);
        break;
    }
}

// ---------------------------------------------------------------- stylus

// The header item under a point, or -1 (also off the header row).
int HeaderColumnAt(HWND window, const ListViewRecord *record, POINT point)
{
    Layout layout = LayoutOf(window, record);
    if (point.y < layout.client.top || point.y >= layout.rows.top || point.x >= layout.rows.right) return -1;
    return ColumnAt(record, point.x);
}

void SetScrollPart(HWND window, ListViewRecord *record, ScrollPart part)
{
    {
        Lock lock(BigLock());
        record->scrollPart = part;
    }
    Refresh(window, record);
}

// Row position for a thumb whose top edge is at y.
int TopForThumb(const Layout &layout, const Thumb &t, int thumbTop)
{
    int travel = (t.track.bottom - t.track.top) - (t.thumb.bottom - t.thumb.top);
    if (travel <= 0 || layout.maxTop == 0) return 0;
    int offset = std::max(0, std::min(travel, thumbTop - (int)t.track.top));
    return (offset * layout.maxTop + travel / 2) / travel;
}

void ButtonDown(HWND window, ListViewRecord *record, POINT point)
{
    SetFocus(window);
    Layout layout = LayoutOf(window, record);
    if (!IsRectEmpty(&layout.scroll) && PtInRect(&layout.scroll, point)) {
        Thumb t = ThumbOf(layout, record);
        SetCapture(window);
        if (PtInRect(&t.upArrow, point)) {
            SetScrollPart(window, record, ScrollPart::LineUp);
            VerticalScroll(window, record, SB_LINEUP, 0);
        } else if (PtInRect(&t.downArrow, point)) {
            SetScrollPart(window, record, ScrollPart::LineDown);
            VerticalScroll(window, record, SB_LINEDOWN, 0);
        } else if (PtInRect(&t.thumb, point)) {
            record->thumbGrab = point.y - t.thumb.top;
            SetScrollPart(window, record, ScrollPart::Thumb);
        } else if (point.y < t.thumb.top) {
            SetScrollPart(window, record, ScrollPart::PageUp);
            VerticalScroll(window, record, SB_PAGEUP, 0);
        } else {
            SetScrollPart(window, record, ScrollPart::PageDown);
            VerticalScroll(window, record, SB_PAGEDOWN, 0);
        }
        return;
    }
    if (point.y < layout.rows.top) {
        if (GetWindowLongW(window, GWL_STYLE) & LVS_NOSORTHEADER) return;
        int column = HeaderColumnAt(window, record, point);
        if (column < 0) return;
        SetCapture(window);
        {
            Lock lock(BigLock());
            record->headerColumn = column;
            record->headerPressed = true;
        }
        Refresh(window, record);
        return;
    }
    record->bodyTracking = true;
}

void ButtonMove(HWND window, ListViewRecord *record, POINT point)
{
    if (record->scrollPart == ScrollPart::Thumb && GetCapture() == window) {
        Layout layout = LayoutOf(window, record);
        Thumb t = ThumbOf(layout, record);
        VerticalScroll(window, record, SB_THUMBTRACK, TopForThumb(layout, t, point.y - record->thumbGrab));
        return;
    }
    if (record->headerColumn >= 0) {
        // The header item looks pressed only while the stylus is over it.
        bool over = HeaderColumnAt(window, record, point) == record->headerColumn;
        if (over != record->headerPressed) {
            {
                Lock lock(BigLock());
                record->headerPressed = over;
            }
            Refresh(window, record);
        }
    }
}

void ButtonUp(HWND window, ListViewRecord *record, POINT point)
{
    if (record->scrollPart != ScrollPart::None) {
        SetScrollPart(window, record, ScrollPart::None);
        if (GetCapture() == window) ReleaseCapture();
        return;
    }
    if (record->headerColumn >= 0) {
        int pressed = record->headerColumn;
        int column = HeaderColumnAt(window, record, point);
        {
            Lock lock(BigLock());
            record->headerColumn = -1;
            record->headerPressed = false;
        }
        if (GetCapture() == window) ReleaseCapture();
        Refresh(window, record);
        // A header tap is a press and a release on the same column.
        if (pressed >= 0 && column == pressed) NotifyParent(window, LVN_COLUMNCLICK, -1, pressed, 0);
        return;
    }
    if (record->bodyTracking) {
        record->bodyTracking = false;
        Layout layout = LayoutOf(window, record);
        int row = -1;
        if (PtInRect(&layout.rows, point)) {
            int candidate = record->top + (point.y - layout.rows.top) / std::max(1, record->rowHeight);
            if (candidate < (int)record->items.size()) row = candidate;
        }
        NotifyParent(window, NM_CLICK, row, std::max(0, ColumnAt(record, point.x)), 0);
    }
}

void CaptureLost(HWND window, ListViewRecord *record)
{
    if (record->scrollPart == ScrollPart::None && record->headerColumn < 0) return;
    {
        Lock lock(BigLock());
        record->scrollPart = ScrollPart::None;
        record->headerColumn = -1;
        record->headerPressed = false;
    }
    Refresh(window, record);
}

// ---------------------------------------------------------------- procedure

LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ListViewRecord *record = Record(window);
    if (message == WM_NCCREATE) {
        record = new ListViewRecord();
        {
            Lock lock(BigLock());
            SetWindowLongPtrW(window, 0, (LONG_PTR)record);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};

    switch (message) {
    case WM_CREATE:
        MeasureFont(window, record);
        return 0;
    case WM_DESTROY:
        // The parent hears of every item going, as with LVM_DELETEALLITEMS.
        DeleteAllItems(window, record);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_NCDESTROY: {
        {
            Lock lock(BigLock());
            SetWindowLongPtrW(window, 0, 0);
            delete record;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (dc && record->redraw) Paint(window, dc, record);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // WM_PAINT paints everything
    case WM_SETREDRAW:
        record->redraw = wParam != 0;
        // Turning painting back on repaints the whole list once.
        if (record->redraw) InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_SETFONT:
        record->font = (HFONT)wParam;
        MeasureFont(window, record);
        ClampTop(window, record);
        if (LOWORD(lParam)) Refresh(window, record);
        return 0;
    case WM_GETFONT:
        return (LRESULT)record->font;
    case WM_SIZE:
        ClampTop(window, record);
        Refresh(window, record);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        ButtonDown(window, record, point);
        return 0;
    case WM_MOUSEMOVE:
        ButtonMove(window, record, point);
        return 0;
    case WM_LBUTTONUP:
        ButtonUp(window, record, point);
        return 0;
    case WM_CAPTURECHANGED:
        CaptureLost(window, record);
        return 0;
    case WM_VSCROLL:
        VerticalScroll(window, record, LOWORD(wParam), (short)HIWORD(wParam));
        return 0;

    case LVM_GETITEMCOUNT:
        return (LRESULT)record->items.size();
    case LVM_INSERTCOLUMNW:
        return InsertColumn(window, record, wParam, (const LVCOLUMNW *)lParam);
    case LVM_DELETECOLUMN:
        return DeleteColumn(window, record, wParam);
    case LVM_GETCOLUMNW:
        return GetColumn(record, wParam, (LVCOLUMNW *)lParam);
    case LVM_GETCOLUMNWIDTH:
        return (int)wParam >= 0 && (size_t)wParam < record->columns.size() ? record->columns[wParam].width : 0;
    case LVM_INSERTITEMW:
        return InsertItem(window, record, (const LVITEMW *)lParam);
    case LVM_SETITEMTEXTW:
        return SetItemText(window, record, wParam, (const LVITEMW *)lParam);
    case LVM_GETITEMTEXTW:
        return GetItemText(record, wParam, (LVITEMW *)lParam);
    case LVM_GETITEMW:
        return GetItem(record, (LVITEMW *)lParam);
    case LVM_DELETEITEM:
        return DeleteItem(window, record, wParam);
    case LVM_DELETEALLITEMS:
        return DeleteAllItems(window, record);
    case LVM_GETTOPINDEX:
        return record->top;
    case LVM_ENSUREVISIBLE:
        return EnsureVisible(window, record, wParam);
    case LVM_SCROLL:
        ScrollTo(window, record, record->top + (int)lParam / std::max(1, record->rowHeight));
        return TRUE;
    case LVM_GETHEADER:
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string Utf8(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | c >> 6);
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | c >> 12);
            out += (char)(0x80 | (c >> 6 & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | c >> 18);
            out += (char)(0x80 | (c >> 12 & 0x3F));
            out += (char)(0x80 | (c >> 6 & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// For the window dump: the column titles in display order and the item count.
std::string DumpListView(HWND window)
{
    Lock lock(BigLock());
    const ListViewRecord *record = Record(window);
    if (!record) return std::string();
    std::string out = "columns=";
    for (size_t i = 0; i < record->order.size(); ++i) {
        if (i) out += ",";
        out += "\"" + Utf8(record->columns[(size_t)record->order[i]].title) + "\"";
    }
    out += " items=" + std::to_string(record->items.size());
    return out;
}

} // namespace

void RegisterListViewClass()
{
    RegisterSystemClass(WC_LISTVIEWW, ListViewProc, sizeof(ListViewRecord *));
    SetDumpExtra(WC_LISTVIEWW, DumpListView);
}

} // namespace dev

void InitCommonControls(void)
{
    dev::RegisterListViewClass();
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *init)
{
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    dev::RegisterListViewClass();
    return TRUE;
}
