// The two figures beside the label: program memory (RAM) in use, then
// storage in use, in bytes, grouped by thousands, one per line.
//
// Both figures are taken from the full 64-bit counts and written as
// unsigned decimal: a 32-bit difference shown with "%d" turns negative past
// 2 GiB. Below 2^31 the text is the same as "%d" would give.
#include "memory_readout.h"
#include "../app/resource.h"

#include <string.h>

// Widest figure: 20 digits of a 64-bit count and their 6 commas.
#define FIGURE_CHARS 27
#define MEMORY_TEXT_CHARS 256
#define STORAGE_TEXT_CHARS 64
static_assert(STORAGE_TEXT_CHARS >= FIGURE_CHARS, "a grouped 64-bit figure fits the storage line");
static_assert(MEMORY_TEXT_CHARS >= 2 * FIGURE_CHARS + 2, "both figures and the line break fit the text");

// Writes value as unsigned decimal without leading zeros; text holds 21 or more.
static void WriteDecimal(WCHAR *text, ULONGLONG value)
{
    WCHAR reversed[20];
    int length = 0;
    do {
        reversed[length++] = (WCHAR)(TEXT('0') + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < length; i++)
        text[i] = reversed[length - 1 - i];
    text[length] = 0;
}

static ULONGLONG InUse(ULONGLONG total, ULONGLONG available)
{
    return total > available ? total - available : 0;
}

int GroupDigits(WCHAR *text)
{
    int length = (int)wcslen(text);
    if (length < 4) return 1;
    int commas = (length - 1) / 3;
    text[length + commas] = 0;
    // From the right end leftwards, so the text grows in place without
    // overwriting digits not yet moved.
    int moved = 0;
    for (int i = length - 1; i >= 0; i--) {
        text[i + commas] = text[i];
        moved++;
        if (moved % 3 == 0 && commas > 0) {
            commas--;
            text[i + commas] = TEXT(',');
        }
    }
    return 1;
}

int UpdateMemoryText(HWND window)
{
    WCHAR text[MEMORY_TEXT_CHARS];
    WCHAR storage[STORAGE_TEXT_CHARS];

    ULONGLONG totalPhys = 0;
    ULONGLONG availPhys = 0;
    DeviceGetMemoryFigures(&totalPhys, &availPhys);
    WriteDecimal(text, InUse(totalPhys, availPhys));
    GroupDigits(text);

    // Zeroed first: a failed query shows 0 bytes rather than whatever the
    // stack held.
    ULARGE_INTEGER freeToCaller, totalBytes, totalFree;
    freeToCaller.QuadPart = 0;
    totalBytes.QuadPart = 0;
    totalFree.QuadPart = 0;
    if (!GetDiskFreeSpaceExW(TEXT("\\"), &freeToCaller, &totalBytes, &totalFree)) {
        totalBytes.QuadPart = 0;
        totalFree.QuadPart = 0;
    }
    WriteDecimal(storage, InUse(totalBytes.QuadPart, totalFree.QuadPart));
    GroupDigits(storage);

    wcscat(text, TEXT("\r\n"));
    wcscat(text, storage);
    SetDlgItemTextW(window, IDC_MEMORY_TEXT, text);
    UpdateWindow(window);
    return 1;
}
