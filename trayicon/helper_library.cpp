// The alternate taskbar "Halvane" hosts the icon and its menu through its
// helper library "halvaneh", loaded on first use. Without the library every
// call falls back to a fixed result and the rest of the monitor runs the same.
//
//   IsAlternateTaskbarPresent, LoadHelperLibrary
//   CallCreateTransientIcon, CallGetSetDelIcon, CallMtslen   (wrappers)
//   MakeIconImageList, CreateHelperIcon, UpdateHelperIcon
#include "helper_library.h"
#include "tray_icon.h"
#include "../app/resource.h"

#include <string.h>

// Results when the library is missing.
#define NO_HELPER_ICON (-1)
#define NO_HELPER_RESULT 100
#define NO_HELPER_LENGTH 0

// Operations of the library's get/set/delete call.
#define HELPER_SET_ICON 1

// The menu the library shows for the icon: three entries, each closed by a
// NUL, and one more NUL ending the list (the literal adds it): 42 bytes.
static const WCHAR helperMenu[] = TEXT("Show / Hide\0a\0Close\0");
static_assert(sizeof(helperMenu) == 42, "the library is told the menu's size in bytes");

int IsAlternateTaskbarPresent(void)
{
    return FindWindowW(TEXT("Halvane"), NULL) != NULL;
}

static void ForgetHelperLibrary(void)
{
    monitorState.helperLibrary = NULL;
    monitorState.createTransientIconEntry = NULL;
    monitorState.getSetDelIconEntry = NULL;
    monitorState.mtslenEntry = NULL;
}

int LoadHelperLibrary(void)
{
    if (monitorState.helperLibrary != NULL) return 1;
    // A failure is not remembered: the next call tries again.
    HMODULE library = LoadLibraryW(TEXT("halvaneh"));
    if (library == NULL) return 0;
    // Exports come back untyped; through void * is the one cast the
    // compilers accept between function pointer types without complaint.
    monitorState.createTransientIconEntry =
        (CreateTransientIconProc)(void *)DeviceGetProcAddress(library, TEXT("WDTICreateTransientIcon"));
    monitorState.getSetDelIconEntry =
        (GetSetDelIconProc)(void *)DeviceGetProcAddress(library, TEXT("WDTIGetSetDelIcon"));
    monitorState.mtslenEntry = (MtslenProc)(void *)DeviceGetProcAddress(library, TEXT("mtslen"));
    if (monitorState.createTransientIconEntry == NULL || monitorState.getSetDelIconEntry == NULL ||
        monitorState.mtslenEntry == NULL) {
        FreeLibrary(library);
        ForgetHelperLibrary();
        return 0;
    }
    monitorState.helperLibrary = library;
    return 1;
}

int CallCreateTransientIcon(HWND window, void *record, int menuBytes, const WCHAR *menu)
{
    if (!LoadHelperLibrary()) return NO_HELPER_ICON;
    return monitorState.createTransientIconEntry(window, record, menuBytes, menu);
}

int CallGetSetDelIcon(HWND window, int icon, void *record, int operation)
{
    if (!LoadHelperLibrary()) return NO_HELPER_RESULT;
    return monitorState.getSetDelIconEntry(window, icon, record, operation);
}

int CallMtslen(const WCHAR *multiString)
{
    if (!LoadHelperLibrary()) return NO_HELPER_LENGTH;
    return monitorState.mtslenEntry(multiString);
}

HIMAGELIST MakeIconImageList(void)
{
    HIMAGELIST list = ImageList_Create(ICON_SIZE, ICON_SIZE, ILC_MASK, 1, 1);
    ImageList_Add(list, monitorState.iconColorBitmap, monitorState.iconMaskBitmap);
    return list;
}

// The record is a byte array of little-endian 32-bit words whatever the
// target's byte order and pointer size.
static void PutRecordWord(BYTE *record, int offset, DWORD value)
{
    record[offset] = (BYTE)value;
    record[offset + 1] = (BYTE)(value >> 8);
    record[offset + 2] = (BYTE)(value >> 16);
    record[offset + 3] = (BYTE)(value >> 24);
}

// The record has one 32-bit word for the image list. On a 64-bit target
// only the handle's low 32 bits fit; the library gets those.
static void PutRecordImageList(BYTE *record, HIMAGELIST list)
{
    PutRecordWord(record, 16, (DWORD)(UINT_PTR)list);
}

int CreateHelperIcon(HWND window)
{
    BYTE record[HELPER_RECORD_BYTES];
    memset(record, 0, sizeof(record));
    HIMAGELIST list = MakeIconImageList();
    PutRecordWord(record, 0, HELPER_RECORD_BYTES);
    PutRecordWord(record, 4, 143);
    PutRecordWord(record, 8, 65535);
    PutRecordWord(record, 12, 1);
    PutRecordImageList(record, list);
    PutRecordWord(record, 20, ICON_SIZE);
    PutRecordWord(record, 24, ICON_SIZE);
    // Commands of the menu entries, in the menu's order.
    PutRecordWord(record, 44, IDC_HIDE);
    PutRecordWord(record, 48, 0);
    PutRecordWord(record, 52, IDCANCEL);

    int menuBytes = 2 * CallMtslen(helperMenu);
    monitorState.helperIcon = CallCreateTransientIcon(window, record, menuBytes, helperMenu);
    // The library copies the image during the call; a list kept past it
    // would pile up, one per icon.
    ImageList_Destroy(list);
    return 1;
}

int UpdateHelperIcon(void)
{
    BYTE record[HELPER_RECORD_BYTES];
    memset(record, 0, sizeof(record));
    HIMAGELIST list = MakeIconImageList();
    PutRecordWord(record, 0, HELPER_RECORD_BYTES);
    PutRecordWord(record, 4, 2);
    PutRecordImageList(record, list);

    CallGetSetDelIcon(monitorState.mainDialog, monitorState.helperIcon, record, HELPER_SET_ICON);
    // Once a second: the list must go once the library has copied the image.
    ImageList_Destroy(list);
    return 1;
}
