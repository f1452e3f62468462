// The one table of identifiers. Identifiers are per resource type: 120 to 123
// each name a dialog, a bitmap and an icon group at once.
// Included by the resource script too, so it holds #defines only.
#ifndef PERFMON_RESOURCE_H
#define PERFMON_RESOURCE_H

#define IDD_EDIT_BOX 101
#define IDD_MAIN 120
#define IDD_THREADS 121
#define IDD_DEAD_WINDOW 123
#define IDD_ABOUT 127

#define IDC_STATIC -1
#define IDC_EDIT_TEXT 1000
// The desktop headers use this name for a cursor; here it is the button.
#ifdef IDC_HELP
#undef IDC_HELP
#endif
#define IDC_HELP 1007
#define IDC_MEMORY_TEXT 1029
#define IDC_THREAD_LIST 1030
#define IDC_THREADS 1031
#define IDC_GRAPH 1032
#define IDC_HIDE 1034

#define IDM_DEAD_WINDOW 1002
#define ID_TRAY_ICON 3000
#define ID_TIMER_SECOND 1000
#define ID_TIMER_SAMPLE 1001

#define IDB_GRAPH_FILL 122
#define IDB_ICON_FILL 123
#define IDB_ICON_FILL_ALT 124

#define IDI_PROGRAM 119
#define IDI_PROGRAM_ALT 120
#define IDI_PROBE_A 121
#define IDI_PROBE_B 122

#endif
