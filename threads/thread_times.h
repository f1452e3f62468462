// The "Thread Times" dialog: the snapshot as a sortable report list.
#pragma once

#include "../app/monitor_state.h"

struct ListColumnSpec {
    const WCHAR *title;
    int width; // pixels
};

INT_PTR CALLBACK ThreadTimesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int InitThreadTimesDialog(HWND dialog);
int InsertListColumns(HWND list, int count, const ListColumnSpec *columns);
int SetListCell(HWND list, int item, int subitem, int image, const WCHAR *text);
int FillThreadList(HWND list);
int SortThreadsByTime(void);
int SortThreadsByOwner(void);
int SortThreadsByPriority(void);
int CompareRowTimes(const void *a, const void *b);
int CompareRowOwners(const void *a, const void *b);
int CompareRowPriorities(const void *a, const void *b);
