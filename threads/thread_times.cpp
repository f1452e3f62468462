// The "Thread Times" dialog: the thread table as a report list of time,
// owner and priority, sorted by time on opening and by any column on a tap
// of its header. Every opening takes a fresh snapshot; a tap only reorders.
#include "thread_times.h"

#include "thread_snapshot.h"
#include "../app/resource.h"

#include <string.h>

// Seconds with one decimal; the widest time, 429496729.5, needs 11 characters.
#define TIME_TEXT_CHARS 16
#define THREAD_COLUMNS 3

INT_PTR CALLBACK ThreadTimesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitThreadTimesDialog(dialog);
        return TRUE;
    case WM_NOTIFY: {
        const NMLISTVIEW *notice = (const NMLISTVIEW *)lParam;
        if (LOWORD(wParam) != IDC_THREAD_LIST || !notice || notice->hdr.code != (UINT)LVN_COLUMNCLICK) return FALSE;
        switch (notice->iSubItem) {
        case 0:
            SortThreadsByTime();
            return TRUE;
        case 1:
            SortThreadsByOwner();
            return TRUE;
        case 2:
            SortThreadsByPriority();
            return TRUE;
        }
        return FALSE;
    }
    case WM_CLOSE:
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

int InitThreadTimesDialog(HWND dialog)
{
    const ListColumnSpec columns[THREAD_COLUMNS] = {
        {TEXT("Time"), 40},
        {TEXT("Owner"), 90},
        {TEXT("Priority"), 65},
    };
    monitorState.threadList = GetDlgItem(dialog, IDC_THREAD_LIST);
    InsertListColumns(monitorState.threadList, THREAD_COLUMNS, columns);
    // A failed snapshot leaves the previous table, which is shown instead.
    SnapshotThreads();
    SortThreadsByTime();
    return 1;
}

int InsertListColumns(HWND list, int count, const ListColumnSpec *columns)
{
    for (int i = 0; i < count; i++) {
        LVCOLUMNW column;
        memset(&column, 0, sizeof(column));
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_ORDER;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = (LPWSTR)columns[i].title;
        column.iOrder = i;
        SendMessageW(list, LVM_DELETECOLUMN, i, 0);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, (LPARAM)&column);
    }
    return 1;
}

int SetListCell(HWND list, int item, int subitem, int image, const WCHAR *text)
{
    LVITEMW cell;
    memset(&cell, 0, sizeof(cell));
    cell.mask = image >= 0 ? LVIF_TEXT | LVIF_IMAGE : LVIF_TEXT;
    cell.iItem = item;
    cell.iSubItem = subitem;
    cell.pszText = (LPWSTR)text;
    cell.iImage = image;
    if (subitem == 0)
        SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&cell);
    else
        SendMessageW(list, LVM_SETITEMTEXTW, item, (LPARAM)&cell);
    return 1;
}

// A thread listed twice in one snapshot is shown once, as its first row.
static bool SeenBefore(const ThreadRow *rows, int index)
{
    for (int i = 0; i < index; i++) {
        if (rows[i].threadId == rows[index].threadId) return true;
    }
    return false;
}

int FillThreadList(HWND list)
{
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const ThreadRow *rows = monitorState.threadRows;
    int item = 0;
    for (int j = 0; j < monitorState.threadRowCount; j++) {
        if (SeenBefore(rows, j)) continue;
        WCHAR time[TIME_TEXT_CHARS];
        // Single precision, as the list always showed it: large times round.
        float seconds = (float)rows[j].userTenths * 0.1f;
        swprintf(time, TIME_TEXT_CHARS, TEXT("%4.1f"), (double)seconds);
        SetListCell(list, item, 0, -1, time);
        SetListCell(list, item, 1, -1, GetFileNamePart(rows[j].ownerName));
        SetListCell(list, item, 2, -1, rows[j].priorityName);
        item++;
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    return 1;
}

static int SortThreads(int (*compare)(const void *, const void *))
{
    if (monitorState.threadRowCount > 1)
        qsort(monitorState.threadRows, monitorState.threadRowCount, sizeof(ThreadRow), compare);
    FillThreadList(monitorState.threadList);
    return 1;
}

int SortThreadsByTime(void)
{
    return SortThreads(CompareRowTimes);
}

int SortThreadsByOwner(void)
{
    return SortThreads(CompareRowOwners);
}

int SortThreadsByPriority(void)
{
    return SortThreads(CompareRowPriorities);
}

int CompareRowTimes(const void *a, const void *b)
{
    DWORD first = ((const ThreadRow *)a)->userTenths;
    DWORD second = ((const ThreadRow *)b)->userTenths;
    if (first > second) return -1;
    return first == second ? 0 : 1;
}

int CompareRowOwners(const void *a, const void *b)
{
    return _wcsicmp(GetFileNamePart(((const ThreadRow *)a)->ownerName),
                    GetFileNamePart(((const ThreadRow *)b)->ownerName));
}

int CompareRowPriorities(const void *a, const void *b)
{
    return _wcsicmp(((const ThreadRow *)a)->priorityName, ((const ThreadRow *)b)->priorityName);
}
