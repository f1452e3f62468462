// The screen as a PNG file (the emulator's --png option and test artifacts).

#include "gdi_internal.h"
#include "kernel.h"
#include "screen.h"

#include <png.h>

#include <cstdio>
#include <vector>

bool dev::WriteScreenPng(const char *path)
{
    std::vector<uint32_t> pixels;
    int width, height;
    {
        gdi::Lock lock(BigLock());
        width = ScreenWidth();
        height = ScreenHeight();
        const uint32_t *screen = ScreenPixels();
        pixels.assign(screen, screen + (size_t)width * height);
    }
    FILE *file = fopen(path, "wb");
    if (!file) return false;
    std::vector<png_byte> row((size_t)width * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        const uint32_t *in = &pixels[(size_t)y * width];
        for (int x = 0; x < width; x++) {
            row[3 * x] = in[x] >> 16 & 0xFF;
            row[3 * x + 1] = in[x] >> 8 & 0xFF;
            row[3 * x + 2] = in[x] & 0xFF;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0;
}
