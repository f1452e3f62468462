// The device's graphics as its other areas and tests see them
// (platform/host/gdi*.cpp, font*.cpp): paint contexts, the pixel-read count
// and the dialog font.
#pragma once

#include "../platform.h"

namespace dev {

// BeginPaint's device context: the window's client DC clipped to clip
// (client coordinates).
HDC GetPaintDC(HWND window, const RECT *clip);
// GetPixel calls made since device start (every call counts, inside a bitmap
// or not), so tests can prove which pixels a routine reads, or that it reads
// none. Lives beside GetPixel. Tests built before it exists skip.
long PixelReads();

// The dialog font ("MS Sans Serif" 8 point stands in as a real TrueType face
// from the distribution) and its dialog base units.
HFONT DialogFont();
void DialogBaseUnits(int *x, int *y);

} // namespace dev
