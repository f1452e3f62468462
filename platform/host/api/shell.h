// The device's shell: the taskbar's notification area. Implemented in
// platform/host/shell*.cpp.
#pragma once

typedef struct _NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    union {
        UINT uTimeout;
        UINT uVersion;
    } u;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
} NOTIFYICONDATAW, *PNOTIFYICONDATAW;
// The first version of the record ends after a 64-unit tip: 152 bytes on the
// 32-bit device, 168 on a 64-bit target.
#define NOTIFYICONDATAW_V1_SIZE FIELD_OFFSET(NOTIFYICONDATAW, szTip[64])

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

BOOL Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data);
#define Shell_NotifyIcon Shell_NotifyIconW

static_assert(NOTIFYICONDATAW_V1_SIZE == 168, "NOTIFYICONDATAW first version on a 64-bit target");
