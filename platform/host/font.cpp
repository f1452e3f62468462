// Fonts and text of the emulated device, drawn with FreeType from the
// DejaVu faces of the distribution.
//
// The dialog font "MS Sans Serif" 8 point (11 pixels at 96 dpi) is stood in
// for by DejaVu Sans Condensed at 11 pixels: its text height is 13 and the
// average of "A..Za..z" rounds to 6, the platform's dialog base units for that
// font, so dialog templates come out the size they were designed at. Where
// the condensed face is missing, DejaVu Sans at the same size (7 by 13).
//
// Glyphs are antialiased and blended over the destination; on a monochrome
// bitmap a pixel is set where coverage reaches half. Advances are the hinted
// whole-pixel advances, so extents and drawing agree exactly.
//
// Not implemented: kerning, italic, underline and strike-out attributes,
// escapement, text alignment other than top-left, DT_EXTERNALLEADING.

#include "gdi_internal.h"
#include "kernel.h"
#include "gdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>

#ifndef DEVICE_FONT_DIR
#define DEVICE_FONT_DIR "/usr/share/fonts/truetype/dejavu"
#endif

namespace dev {
namespace gdi {

struct Glyph {
    int advance = 0;
    int left = 0, top = 0; // bitmap origin relative to the pen on the baseline
    int width = 0, height = 0;
    std::vector<uint8_t> coverage;
};

struct FontFace {
    FT_Face face = nullptr;
    int pixelSize = 0;
    int ascent = 0, descent = 0, height = 0;
    int averageWidth = 0, maxWidth = 0;
    int weight = FW_NORMAL;
    std::unordered_map<uint32_t, Glyph> glyphs;
};

namespace {

FT_Library library = nullptr;
std::map<std::pair<std::string, int>, std::unique_ptr<FontFace>> faces;
HFONT dialogFont = nullptr;

const int kDialogPixels = 11; // 8 point at 96 dpi

bool Exists(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f) fclose(f);
    return f != nullptr;
}

std::string FileFor(const LOGFONTW &lf)
{
    std::u16string name(lf.lfFaceName, std::find(lf.lfFaceName, lf.lfFaceName + LF_FACESIZE, u'\0'));
    std::string lower;
    for (char16_t c : name)
        lower += (char)std::tolower(c < 128 ? (int)c : '?');
    bool bold = lf.lfWeight >= 600;
    std::string dir = DEVICE_FONT_DIR "/";
    std::string base;
    if (lower.find("courier") != std::string::npos || lower.find("mono") != std::string::npos)
        base = bold ? "DejaVuSansMono-Bold" : "DejaVuSansMono";
    else if (lower.find("times") != std::string::npos ||
             (lower.find("serif") != std::string::npos && lower.find("sans") == std::string::npos))
        base = bold ? "DejaVuSerif-Bold" : "DejaVuSerif";
    else
        base = bold ? "DejaVuSansCondensed-Bold" : "DejaVuSansCondensed";
    if (Exists(dir + base + ".ttf")) return dir + base + ".ttf";
    std::string fallback = bold ? "DejaVuSans-Bold" : "DejaVuSans";
    return dir + fallback + ".ttf";
}

int Scaled(int units, int pixels, int unitsPerEm)
{
    return (int)std::lround((double)units * pixels / unitsPerEm);
}

const Glyph &GlyphOf(FontFace *f, uint32_t code)
{
    auto it = f->glyphs.find(code);
    if (it != f->glyphs.end()) return it->second;
    Glyph &g = f->glyphs[code];
    if (FT_Load_Char(f->face, code, FT_LOAD_RENDER) != 0) return g;
    FT_GlyphSlot slot = f->face->glyph;
    g.advance = (int)((slot->advance.x + 32) >> 6);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = (int)slot->bitmap.width;
    g.height = (int)slot->bitmap.rows;
    g.coverage.resize((size_t)g.width * g.height);
    for (int y = 0; y < g.height; y++) {
        const uint8_t *row = slot->bitmap.buffer + (ptrdiff_t)y * slot->bitmap.pitch;
        if (slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int x = 0; x < g.width; x++)
                g.coverage[(size_t)y * g.width + x] = (row[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0;
        } else {
            memcpy(&g.coverage[(size_t)y * g.width], row, g.width);
        }
    }
    return g;
}

// UTF-16 to code points, one at a time.
uint32_t Next(const WCHAR *text, int count, int *i)
{
    uint32_t c = text[(*i)++];
    if (c >= 0xD800 && c < 0xDC00 && *i < count && text[*i] >= 0xDC00 && text[*i] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
    return c;
}

int Measure(FontFace *f, const WCHAR *text, int count)
{
    int width = 0;
    for (int i = 0; i < count;)
        width += GlyphOf(f, Next(text, count, &i)).advance;
    return width;
}

FontFace *FaceOfDC(DC *dc)
{
    Font *font = Get<Font>(dc->st.font, Type::Font);
    if (!font) font = Get<Font>(DialogFont(), Type::Font);
    return font ? font->face : nullptr;
}

void FillSurfaceRect(const Target &t, RECT r, COLORREF color)
{
    FillRectRop(t, RECT{r.left + t.originX, r.top + t.originY, r.right + t.originX, r.bottom + t.originY},
                ToTarget(t, PixelOf(color)), 0xF0);
}

// Draws glyphs with the pen starting at logical (x, y), the top of the cell.
// dx gives per-character advances when not null.
void DrawGlyphs(const Target &t, FontFace *f, int x, int y, const WCHAR *text, int count, const int *dx)
{
    uint32_t pixel = PixelOf(t.dc->st.textColor);
    int penX = x + t.originX, baseline = y + t.originY + f->ascent;
    for (int i = 0; i < count;) {
        int before = i;
        const Glyph &g = GlyphOf(f, Next(text, count, &i));
        if (g.width && g.height)
            BlendCoverage(t, penX + g.left, baseline - g.top, g.width, g.height, g.coverage.data(), g.width, pixel);
        penX += dx ? dx[before] : g.advance;
    }
}

} // namespace

FontFace *FaceFor(const LOGFONTW &lf)
{
    if (!library && FT_Init_FreeType(&library) != 0) return nullptr;
    std::string file = FileFor(lf);
    int pixels = kDialogPixels;
    if (lf.lfHeight < 0) pixels = -lf.lfHeight;
    int weight = lf.lfWeight >= 600 ? FW_BOLD : FW_NORMAL;
    auto key = std::make_pair(file, lf.lfHeight);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second.get();
    auto f = std::make_unique<FontFace>();
    if (FT_New_Face(library, file.c_str(), 0, &f->face) != 0) return nullptr;
    int upem = f->face->units_per_EM;
    TT_OS2 *os2 = (TT_OS2 *)FT_Get_Sfnt_Table(f->face, FT_SFNT_OS2);
    int ascentUnits = os2 ? os2->usWinAscent : f->face->ascender;
    int descentUnits = os2 ? os2->usWinDescent : -f->face->descender;
    if (lf.lfHeight > 0) // a cell height: ascent plus descent
        pixels = std::max(1, (int)std::lround((double)lf.lfHeight * upem / (ascentUnits + descentUnits)));
    FT_Set_Pixel_Sizes(f->face, 0, pixels);
    f->pixelSize = pixels;
    f->ascent = Scaled(ascentUnits, pixels, upem);
    f->descent = Scaled(descentUnits, pixels, upem);
    f->height = f->ascent + f->descent;
    f->averageWidth = os2 ? Scaled(os2->xAvgCharWidth, pixels, upem) : pixels / 2;
    f->maxWidth = (int)((f->face->size->metrics.max_advance + 63) >> 6);
    f->weight = weight;
    FontFace *raw = f.get();
    faces[key] = std::move(f);
    return raw;
}

} // namespace gdi

HFONT DialogFont()
{
    gdi::Lock lock(BigLock());
    if (gdi::Find(gdi::dialogFont, gdi::Type::Font)) return gdi::dialogFont;
    auto font = std::make_unique<gdi::Font>();
    font->type = gdi::Type::Font;
    font->stock = true;
    font->logFont.lfHeight = -gdi::kDialogPixels;
    font->logFont.lfWeight = FW_NORMAL;
    const char16_t name[] = u"MS Sans Serif";
    std::copy(name, name + sizeof name / sizeof name[0], font->logFont.lfFaceName);
    font->face = gdi::FaceFor(font->logFont);
    gdi::dialogFont = (HFONT)gdi::AddObject(std::move(font));
    return gdi::dialogFont;
}

void DialogBaseUnits(int *x, int *y)
{
    gdi::Lock lock(BigLock());
    gdi::Font *font = gdi::Get<gdi::Font>(DialogFont(), gdi::Type::Font);
    int bx = 0, by = 0;
    if (font && font->face) {
        static const WCHAR letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        // The platform's rounding of the average letter width.
        bx = (gdi::Measure(font->face, letters, 52) / 26 + 1) / 2;
        by = font->face->height;
    }
    if (x) *x = bx;
    if (y) *y = by;
}

} // namespace dev

using namespace dev;
using namespace dev::gdi;

namespace {

int Length(LPCWSTR text, int count)
{
    if (!text) return 0;
    if (count >= 0) return count;
    int n = 0;
    while (text[n])
        n++;
    return n;
}

} // namespace

HFONT CreateFontIndirectW(const LOGFONTW *logFont)
{
    Lock lock(BigLock());
    if (!logFont) return nullptr;
    FontFace *face = FaceFor(*logFont);
    if (!face) return nullptr;
    auto font = std::make_unique<Font>();
    font->type = Type::Font;
    font->logFont = *logFont;
    font->face = face;
    return (HFONT)AddObject(std::move(font));
}

BOOL GetTextMetricsW(HDC dc, LPTEXTMETRICW tm)
{
    Lock lock(BigLock());
    DC *d = GetDC_(dc);
    if (!d || !tm) return FALSE;
    FontFace *f = FaceOfDC(d);
    if (!f) return FALSE;
    memset(tm, 0, sizeof *tm);
    tm->tmHeight = f->height;
    tm->tmAscent = f->ascent;
    tm->tmDescent = f->descent;
    tm->tmInternalLeading = f->height - f->pixelSize;
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = f->averageWidth;
    tm->tmMaxCharWidth = f->maxWidth;
    tm->tmWeight = f->weight;
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFC;
    tm->tmDefaultChar = u'?';
    tm->tmBreakChar = u' ';
    tm->tmPitchAndFamily = 0x26; // variable pitch, TrueType, swiss
    tm->tmCharSet = 0;
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size)
{
    Lock lock(BigLock());
    DC *d = GetDC_(dc);
    if (!d || !size || count < 0 || (!text && count > 0)) return FALSE;
    FontFace *f = FaceOfDC(d);
    if (!f) return FALSE;
    size->cx = Measure(f, text, count);
    size->cy = f->height;
    return TRUE;
}

BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT *rect, LPCWSTR text, UINT count, const int *dx)
{
    Lock lock(BigLock());
    Target t;
    if (!ResolveTarget(dc, &t)) return FALSE;
    if (!text) count = 0;
    FontFace *f = FaceOfDC(t.dc);
    if (!f) return FALSE;
    if (rect && (options & ETO_OPAQUE)) FillSurfaceRect(t, *rect, t.dc->st.bkColor);
    Target drawn = t;
    if (rect && (options & ETO_CLIPPED)) {
        RECT clip{rect->left + t.originX, rect->top + t.originY, rect->right + t.originX, rect->bottom + t.originY};
        if (!ClipToTarget(t, &clip)) return TRUE;
        drawn.clip = clip;
    }
    if (t.dc->st.bkMode == OPAQUE && count) {
        int width = 0;
        if (dx) {
            for (int i = 0; i < (int)count; i++)
                width += dx[i];
        } else {
            width = Measure(f, text, (int)count);
        }
        FillSurfaceRect(drawn, RECT{x, y, x + width, y + f->height}, t.dc->st.bkColor);
    }
    DrawGlyphs(drawn, f, x, y, text, (int)count, dx);
    return TRUE;
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count)
{
    if (count < 0) return FALSE;
    return ExtTextOutW(dc, x, y, 0, nullptr, text, (UINT)count, nullptr);
}

// ------------------------------------------------------------------ DrawTextW

namespace {

struct Line {
    std::u16string text;
    int underline = -1; // index of the character marked with '&', or -1
    int width = 0;
};

// Takes the prefix marks out: "&x" underlines x, "&&" is one '&'.
std::u16string StripPrefix(const std::u16string &in, int *underline)
{
    std::u16string out;
    *underline = -1;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] == u'&' && i + 1 < in.size()) {
            i++;
            if (in[i] != u'&') *underline = (int)out.size();
        } else if (in[i] == u'&') {
            continue;
        }
        out += in[i];
    }
    return out;
}

int MeasureText(FontFace *f, const std::u16string &s)
{
    return Measure(f, (const WCHAR *)s.data(), (int)s.size());
}

// Breaks one paragraph into lines no wider than width, at spaces. A word
// wider than the line stands alone and overflows, as on the platform; the
// spaces where a line breaks are dropped.
void WrapParagraph(FontFace *f, const std::u16string &text, int width, std::vector<std::u16string> *lines)
{
    size_t n = text.size();
    std::vector<int> before(n + 1, 0); // width of text[0, i)
    for (size_t i = 0; i < n; i++)
        before[i + 1] = before[i] + GlyphOf(f, text[i]).advance;
    size_t pos = 0;
    do {
        // The furthest break (a space, or the end) that still fits; at least the first.
        size_t best = std::u16string::npos;
        for (size_t b = pos + 1; b <= n; b++) {
            if (b < n && text[b] != u' ') continue;
            if (best != std::u16string::npos && before[b] - before[pos] > width) break;
            best = b;
        }
        if (best == std::u16string::npos) best = n;
        size_t end = best;
        while (end > pos && text[end - 1] == u' ')
            end--;
        lines->push_back(text.substr(pos, end - pos));
        pos = best;
        while (pos < n && text[pos] == u' ')
            pos++;
    } while (pos < n);
}

std::u16string Ellipsize(FontFace *f, std::u16string text, int width)
{
    if (MeasureText(f, text) <= width) return text;
    const std::u16string dots = u"...";
    while (!text.empty() && MeasureText(f, text + dots) > width)
        text.pop_back();
    return text + dots;
}

} // namespace

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format)
{
    Lock lock(BigLock());
    Target t;
    if (!rect || !ResolveTarget(dc, &t)) return 0;
    FontFace *f = FaceOfDC(t.dc);
    if (!f) return 0;
    count = Length(text, count);
    std::u16string all(text ? (const char16_t *)text : u"", count);
    if (format & DT_EXPANDTABS) {
        std::u16string expanded;
        for (char16_t c : all) {
            if (c == u'\t')
                expanded += u"        ";
            else
                expanded += c;
        }
        all = expanded;
    }
    int rectWidth = rect->right - rect->left;

    // Paragraphs at line breaks (a single line keeps everything on one).
    std::vector<std::u16string> paragraphs;
    if (format & DT_SINGLELINE) {
        std::u16string one;
        for (char16_t c : all)
            if (c != u'\r' && c != u'\n') one += c;
        paragraphs.push_back(one);
    } else {
        std::u16string current;
        for (size_t i = 0; i < all.size(); i++) {
            if (all[i] == u'\r' || all[i] == u'\n') {
                paragraphs.push_back(current);
                current.clear();
                if (all[i] == u'\r' && i + 1 < all.size() && all[i + 1] == u'\n') i++;
            } else {
                current += all[i];
            }
        }
        paragraphs.push_back(current);
    }

    std::vector<Line> lines;
    for (const std::u16string &p : paragraphs) {
        int underline = -1;
        std::u16string plain = (format & DT_NOPREFIX) ? p : StripPrefix(p, &underline);
        std::vector<std::u16string> pieces;
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE))
            WrapParagraph(f, plain, rectWidth, &pieces);
        else
            pieces.push_back(plain);
        size_t offset = 0;
        for (std::u16string &piece : pieces) {
            Line line;
            size_t at = plain.find(piece, offset);
            if (underline >= 0 && at != std::u16string::npos && underline >= (int)at &&
                underline < (int)(at + piece.size()))
                line.underline = underline - (int)at;
            if (at != std::u16string::npos) offset = at + piece.size();
            line.text = (format & DT_END_ELLIPSIS) ? Ellipsize(f, piece, rectWidth) : piece;
            if (line.text != piece) line.underline = -1;
            line.width = MeasureText(f, line.text);
            lines.push_back(line);
        }
    }

    int lineHeight = f->height;
    int textHeight = lineHeight * (int)lines.size();
    int maxWidth = 0;
    for (const Line &line : lines)
        maxWidth = std::max(maxWidth, line.width);

    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    if (format & DT_CALCRECT) {
        rect->right = rect->left + maxWidth;
        rect->bottom = rect->top + textHeight;
        return textHeight;
    }

    Target drawn = t;
    if (!(format & DT_NOCLIP)) {
        RECT clip{rect->left + t.originX, rect->top + t.originY, rect->right + t.originX, rect->bottom + t.originY};
        if (!ClipToTarget(t, &clip)) clip = RECT{0, 0, 0, 0};
        drawn.clip = clip;
    }
    uint32_t textPixel = ToTarget(t, PixelOf(t.dc->st.textColor));
    int y = top;
    for (const Line &line : lines) {
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rectWidth - line.width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - line.width;
        const WCHAR *s = (const WCHAR *)line.text.data();
        int n = (int)line.text.size();
        if (t.dc->st.bkMode == OPAQUE && n)
            FillSurfaceRect(drawn, RECT{x, y, x + line.width, y + lineHeight}, t.dc->st.bkColor);
        DrawGlyphs(drawn, f, x, y, s, n, nullptr);
        if (line.underline >= 0 && line.underline < n) {
            int ux = x + Measure(f, s, line.underline);
            int uw = Measure(f, s + line.underline, 1);
            int uy = y + f->ascent + 1;
            FillRectRop(drawn, RECT{ux + t.originX, uy + t.originY, ux + uw + t.originX, uy + 1 + t.originY}, textPixel,
                        0xF0);
        }
        y += lineHeight;
    }
    if (format & (DT_VCENTER | DT_BOTTOM)) return top - rect->top + textHeight;
    return textHeight;
}
