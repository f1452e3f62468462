// The run-time text functions for 16-bit WCHAR text. On Linux wchar_t is 32
// bits, so the device supplies these for WCHAR; they format and compare
// exactly as the platform's run-time library does for the formats in use
// (%d, %u, %x, %ls, %s, %c and %f with width and precision).
#pragma once

#include <stdarg.h>
#include <stdlib.h>

size_t wcslen(const WCHAR *text);
WCHAR *wcscpy(WCHAR *dest, const WCHAR *source);
WCHAR *wcsncpy(WCHAR *dest, const WCHAR *source, size_t count);
WCHAR *wcscat(WCHAR *dest, const WCHAR *source);
WCHAR *wcschr(WCHAR *text, WCHAR c);
const WCHAR *wcschr(const WCHAR *text, WCHAR c);
WCHAR *wcsrchr(WCHAR *text, WCHAR c);
const WCHAR *wcsrchr(const WCHAR *text, WCHAR c);
int wcscmp(const WCHAR *a, const WCHAR *b);
int wcsncmp(const WCHAR *a, const WCHAR *b, size_t count);
int _wcsicmp(const WCHAR *a, const WCHAR *b);
// Bounded: writes at most count characters including the terminator and
// returns the length written, or -1 when the text did not fit.
int swprintf(WCHAR *buffer, size_t count, const WCHAR *format, ...);
int vswprintf(WCHAR *buffer, size_t count, const WCHAR *format, va_list args);
