#include "res_reader.h"

namespace support {

namespace {

uint16_t Word(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
uint32_t Dword(const uint8_t *p) { return (uint32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24); }

// A name-or-ordinal field: 0xFFFF then an ordinal, or a NUL-terminated
// string. Returns the position after it; ordinal -1 for a string.
size_t ReadNameOrOrdinal(const uint8_t *data, size_t at, size_t size, int *ordinal, std::u16string *text)
{
    *ordinal = -1;
    text->clear();
    if (at + 2 > size)
        return size + 1;
    if (Word(data + at) == 0xFFFF) {
        *ordinal = at + 4 <= size ? Word(data + at + 2) : 0;
        return at + 4;
    }
    while (at + 2 <= size) {
        uint16_t c = Word(data + at);
        at += 2;
        if (c == 0)
            return at;
        text->push_back((char16_t)c);
    }
    return size + 1;
}

std::vector<ResourceEntry> ReadResources(const uint8_t *bytes, size_t size)
{
    std::vector<ResourceEntry> entries;
    size_t at = 0;
    while (at + 32 <= size) {
        uint32_t dataSize = Dword(bytes + at);
        uint32_t headerSize = Dword(bytes + at + 4);
        int type, name;
        std::u16string text;
        size_t p = ReadNameOrOrdinal(bytes, at + 8, size, &type, &text);
        p = ReadNameOrOrdinal(bytes, p, size, &name, &text);
        p = (p + 3) & ~(size_t)3;
        int language = p + 16 <= size ? Word(bytes + p + 6) : 0;
        if (at + headerSize + dataSize > size)
            break;
        if (dataSize > 0) // the leading empty entry marks a 32-bit .res
            entries.push_back(ResourceEntry{type, name, language, bytes + at + headerSize, dataSize});
        at = (at + headerSize + dataSize + 3) & ~(size_t)3;
    }
    return entries;
}

} // namespace

const std::vector<ResourceEntry> &MonitorResources()
{
    static const std::vector<ResourceEntry> entries = ReadResources(perfmonResources, perfmonResourcesSize);
    return entries;
}

const ResourceEntry *FindMonitorResource(int type, int name)
{
    for (const ResourceEntry &entry : MonitorResources())
        if (entry.type == type && entry.name == name)
            return &entry;
    return nullptr;
}

bool ParseDialogTemplate(const uint8_t *data, size_t size, DialogInfo *dialog)
{
    if (size < 18)
        return false;
    dialog->style = Dword(data);
    dialog->exStyle = Dword(data + 4);
    int count = Word(data + 8);
    dialog->x = (int16_t)Word(data + 10);
    dialog->y = (int16_t)Word(data + 12);
    dialog->cx = (int16_t)Word(data + 14);
    dialog->cy = (int16_t)Word(data + 16);
    int ordinal;
    size_t at = ReadNameOrOrdinal(data, 18, size, &ordinal, &dialog->menu);
    at = ReadNameOrOrdinal(data, at, size, &ordinal, &dialog->className);
    at = ReadNameOrOrdinal(data, at, size, &ordinal, &dialog->title);
    dialog->pointSize = 0;
    dialog->font.clear();
    if (dialog->style & DS_SETFONT) {
        if (at + 2 > size)
            return false;
        dialog->pointSize = Word(data + at);
        at = ReadNameOrOrdinal(data, at + 2, size, &ordinal, &dialog->font);
    }
    dialog->items.clear();
    for (int i = 0; i < count; i++) {
        at = (at + 3) & ~(size_t)3;
        if (at + 18 > size)
            return false;
        DialogItemInfo item;
        item.style = Dword(data + at);
        item.exStyle = Dword(data + at + 4);
        item.x = (int16_t)Word(data + at + 8);
        item.y = (int16_t)Word(data + at + 10);
        item.cx = (int16_t)Word(data + at + 12);
        item.cy = (int16_t)Word(data + at + 14);
        item.id = Word(data + at + 16);
        at = ReadNameOrOrdinal(data, at + 18, size, &ordinal, &item.className);
        item.classAtom = ordinal < 0 ? 0 : ordinal;
        at = ReadNameOrOrdinal(data, at, size, &ordinal, &item.text);
        if (at + 2 > size)
            return false;
        item.creationBytes = Word(data + at);
        at += 2 + item.creationBytes;
        dialog->items.push_back(item);
    }
    return at <= size;
}

std::string Narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c < 128 ? (char)c : '?';
    }
    return out;
}

std::string Narrow(const WCHAR *text)
{
    return Narrow(std::u16string(text ? text : u""));
}

} // namespace support
