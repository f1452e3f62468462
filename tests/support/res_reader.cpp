#include "res_reader.h"

namespace support {

namespace {

uint16_t Word(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}
uint32_t Dword(const uint8_t *p)
{
    return (uint32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
}

// A name-or-ordinal field: 0xFFFF then an ordinal, or a NUL-terminated
// string. Returns the position after it; ordinal -1 for a string.
size_t ReadNameOrOrdinal(const uint8_t *data, size_t at, size_t size, int *ordinal, std::u16string *text)
{
    *ordinal = -1;
    text->clear();
    if (at + 2 > size) return size + 1;
    if (Word(data + at) == 0xFFFF) {
        *ordinal = at + 4 <= size ? Word(data + at + 2) : 0;
        return at + 4;
    }
    for (; at + 2 <= size; at += 2) {
        if (uint16_t c = Word(data + at))
            text->push_back((char16_t)c);
        else
            return at + 2;
    }
    return size + 1;
}

void ReadRect(const uint8_t *p, int *x, int *y, int *cx, int *cy)
{
    *x = (int16_t)Word(p), *y = (int16_t)Word(p + 2), *cx = (int16_t)Word(p + 4), *cy = (int16_t)Word(p + 6);
}

} // namespace

bool ParseDialogTemplate(const uint8_t *data, size_t size, DialogInfo *dialog)
{
    if (size < 18) return false;
    dialog->style = Dword(data), dialog->exStyle = Dword(data + 4);
    int count = Word(data + 8), ordinal;
    ReadRect(data + 10, &dialog->x, &dialog->y, &dialog->cx, &dialog->cy);
    size_t at = ReadNameOrOrdinal(data, 18, size, &ordinal, &dialog->menu);
    at = ReadNameOrOrdinal(data, at, size, &ordinal, &dialog->className);
    at = ReadNameOrOrdinal(data, at, size, &ordinal, &dialog->title);
    dialog->pointSize = 0, dialog->font.clear();
    if (dialog->style & DS_SETFONT) {
        if (at + 2 > size) return false;
        dialog->pointSize = Word(data + at);
        at = ReadNameOrOrdinal(data, at + 2, size, &ordinal, &dialog->font);
    }
    dialog->items.clear();
    for (int i = 0; i < count; i++) {
        at = (at + 3) & ~(size_t)3;
        if (at + 18 > size) return false;
        DialogItemInfo item;
        item.style = Dword(data + at), item.exStyle = Dword(data + at + 4);
        ReadRect(data + at + 8, &item.x, &item.y, &item.cx, &item.cy);
        item.id = Word(data + at + 16);
        at = ReadNameOrOrdinal(data, at + 18, size, &ordinal, &item.className);
        item.classAtom = ordinal < 0 ? 0 : ordinal;
        at = ReadNameOrOrdinal(data, at, size, &ordinal, &item.text);
        if (at + 2 > size) return false;
        item.creationBytes = Word(data + at);
        at += 2 + item.creationBytes;
        dialog->items.push_back(item);
    }
    return at <= size;
}

std::string Narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text)
        out += c == '\r'   ? std::string("\\r")
               : c == '\n' ? std::string("\\n")
                           : std::string(1, c < 128 ? (char)c : '?');
    return out;
}

std::string Narrow(const WCHAR *text)
{
    return Narrow(std::u16string(text ? text : u""));
}

} // namespace support
