// Records and entry-point types of the device's "toolhelp" library. The
// library itself is loaded by name at run time (platform/host/toolhelp*.cpp).
#pragma once

#define TH32CS_SNAPHEAPLIST 0x00000001
#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPTHREAD 0x00000004
#define TH32CS_SNAPMODULE 0x00000008
#define TH32CS_SNAPNOHEAPS 0x40000000
#define TH32CS_GETALLMODS 0x80000000
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// The device's records: the thread record carries two more words than the
// desktop's, the process record its memory base and access key.
typedef struct tagPROCESSENTRY32W {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    DWORD th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH];
    DWORD th32MemoryBase;
    DWORD th32AccessKey;
} PROCESSENTRY32W, *LPPROCESSENTRY32W;
typedef PROCESSENTRY32W PROCESSENTRY32;
typedef LPPROCESSENTRY32W LPPROCESSENTRY32;

typedef struct tagTHREADENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ThreadID;
    DWORD th32OwnerProcessID;
    LONG tpBasePri;
    LONG tpDeltaPri;
    DWORD dwFlags;
    DWORD th32AccessKey;
    DWORD th32CurrentProcessID;
} THREADENTRY32, *LPTHREADENTRY32;

static_assert(sizeof(PROCESSENTRY32W) == 564, "device process record");
static_assert(sizeof(THREADENTRY32) == 36, "device thread record");
