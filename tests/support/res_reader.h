// Dialog templates read independently of the device's dialog manager, and
// device text made printable for comparisons.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The monitor's compiled resource script, embedded by the build.
extern const uint8_t perfmonResources[];
extern const size_t perfmonResourcesSize;

namespace support {

struct DialogItemInfo {
    DWORD style, exStyle;
    int x, y, cx, cy;
    int id;        // as the 16-bit word reads (65535 for -1)
    int classAtom; // 0x80 Button, 0x82 Static ...; 0 when given by name
    std::u16string className, text;
    int creationBytes;
};

struct DialogInfo {
    DWORD style, exStyle;
    int x, y, cx, cy;
    std::u16string menu;      // empty: none
    std::u16string className; // empty: the default dialog class
    std::u16string title;
    int pointSize; // font only with DS_SETFONT
    std::u16string font;
    std::vector<DialogItemInfo> items;
};

// Standard (not extended) dialog template; false when malformed.
bool ParseDialogTemplate(const uint8_t *data, size_t size, DialogInfo *dialog);

std::string Narrow(const std::u16string &text);
std::string Narrow(const WCHAR *text);

} // namespace support
