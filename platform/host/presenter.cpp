// The presenter: shows the device's screen in an SDL window, scaled up with
// nearest-neighbour pixels, and turns the mouse into the stylus. It runs on
// the host's main thread and only reads the screen under the device lock.
#include "kernel.h"
#include "user.h"
#include "screen.h"

#include <cstdlib>
#include <cstdio>

#ifdef DEVICE_HAVE_SDL
#include <SDL.h>
#include <dlfcn.h>
#endif

namespace dev {

bool DisplayAvailable()
{
#ifdef DEVICE_HAVE_SDL
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
#else
    return false;
#endif
}

#ifdef DEVICE_HAVE_SDL

namespace {

const int scale = 2;

// SDL and the fifty libraries behind it are loaded only when a window is
// really opened: a headless run, the resident case, does not pay for
// mapping and relocating them at every start.
struct Sdl {
    decltype(&::SDL_CreateRenderer) SDL_CreateRenderer;
    decltype(&::SDL_CreateTexture) SDL_CreateTexture;
    decltype(&::SDL_CreateWindow) SDL_CreateWindow;
    decltype(&::SDL_DestroyRenderer) SDL_DestroyRenderer;
    decltype(&::SDL_DestroyTexture) SDL_DestroyTexture;
    decltype(&::SDL_DestroyWindow) SDL_DestroyWindow;
    decltype(&::SDL_GetError) SDL_GetError;
    decltype(&::SDL_Init) SDL_Init;
    decltype(&::SDL_PollEvent) SDL_PollEvent;
    decltype(&::SDL_Quit) SDL_Quit;
    decltype(&::SDL_RenderClear) SDL_RenderClear;
    decltype(&::SDL_RenderCopy) SDL_RenderCopy;
    decltype(&::SDL_RenderPresent) SDL_RenderPresent;
    decltype(&::SDL_RenderSetLogicalSize) SDL_RenderSetLogicalSize;
    decltype(&::SDL_SetHint) SDL_SetHint;
    decltype(&::SDL_UpdateTexture) SDL_UpdateTexture;
};
Sdl sdl;

template <typename F> bool Load(F *slot, const char *name, void *library)
{
    *slot = reinterpret_cast<F>(dlsym(library, name));
    return *slot != nullptr;
}

bool LoadSdl()
{
    static void *library = nullptr;
    if (library) return true;
    void *opened = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!opened) {
        std::fprintf(stderr, "perfmon: no display (cannot load SDL: %s); running headless\n", dlerror());
        return false;
    }
    if (!(Load(&sdl.SDL_CreateRenderer, "SDL_CreateRenderer", opened) &&
          Load(&sdl.SDL_CreateTexture, "SDL_CreateTexture", opened) &&
          Load(&sdl.SDL_CreateWindow, "SDL_CreateWindow", opened) &&
          Load(&sdl.SDL_DestroyRenderer, "SDL_DestroyRenderer", opened) &&
          Load(&sdl.SDL_DestroyTexture, "SDL_DestroyTexture", opened) &&
          Load(&sdl.SDL_DestroyWindow, "SDL_DestroyWindow", opened) &&
          Load(&sdl.SDL_GetError, "SDL_GetError", opened) && Load(&sdl.SDL_Init, "SDL_Init", opened) &&
          Load(&sdl.SDL_PollEvent, "SDL_PollEvent", opened) && Load(&sdl.SDL_Quit, "SDL_Quit", opened) &&
          Load(&sdl.SDL_RenderClear, "SDL_RenderClear", opened) &&
          Load(&sdl.SDL_RenderCopy, "SDL_RenderCopy", opened) &&
          Load(&sdl.SDL_RenderPresent, "SDL_RenderPresent", opened) &&
          Load(&sdl.SDL_RenderSetLogicalSize, "SDL_RenderSetLogicalSize", opened) &&
          Load(&sdl.SDL_SetHint, "SDL_SetHint", opened) && Load(&sdl.SDL_UpdateTexture, "SDL_UpdateTexture", opened))) {
        std::fprintf(stderr, "perfmon: no display (SDL lacks a function it should have); running headless\n");
        dlclose(opened);
        return false;
    }
    library = opened;
    return true;
}

struct Presenter {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
    uint64_t shownGeneration = ~0ull;
    int width = 0, height = 0;
    bool stylusDown = false;
};
Presenter presenter;

void ShowScreen()
{
    uint64_t generation = screenGeneration;
    if (generation == presenter.shownGeneration) return;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        presenter.shownGeneration = screenGeneration;
        sdl.SDL_UpdateTexture(presenter.texture, nullptr, ScreenPixels(), ScreenWidth() * 4);
    }
    sdl.SDL_RenderClear(presenter.renderer);
    sdl.SDL_RenderCopy(presenter.renderer, presenter.texture, nullptr, nullptr);
    sdl.SDL_RenderPresent(presenter.renderer);
}

// A release outside the window still lifts the stylus, at the nearest edge.
void Stylus(int x, int y, bool down)
{
    x = x < 0 ? 0 : x >= presenter.width ? presenter.width - 1 : x;
    y = y < 0 ? 0 : y >= presenter.height ? presenter.height - 1 : y;
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Tap(x, y, down);
}

} // namespace

bool PresenterOpen()
{
    if (!LoadSdl()) return false;
    // The emulator handles SIGINT and SIGTERM itself (close the monitor normally).
    sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl.SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    if (sdl.SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "perfmon: no display (%s); running headless\n", sdl.SDL_GetError());
        return false;
    }
    presenter = Presenter();
    presenter.width = ScreenWidth();
    presenter.height = ScreenHeight();
    presenter.window =
        sdl.SDL_CreateWindow("Performance Monitor - handheld device", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             presenter.width * scale, presenter.height * scale, 0);
    if (presenter.window) presenter.renderer = sdl.SDL_CreateRenderer(presenter.window, -1, 0);
    if (presenter.renderer) {
        sdl.SDL_RenderSetLogicalSize(presenter.renderer, presenter.width, presenter.height);
        presenter.texture = sdl.SDL_CreateTexture(presenter.renderer, SDL_PIXELFORMAT_RGB888,
                                                  SDL_TEXTUREACCESS_STREAMING, presenter.width, presenter.height);
    }
    if (!presenter.texture) {
        std::fprintf(stderr, "perfmon: cannot open a window (%s); running headless\n", sdl.SDL_GetError());
        PresenterShut();
        return false;
    }
    ShowScreen();
    return true;
}

void PresenterPump(bool *closeRequested)
{
    SDL_Event event;
    while (sdl.SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT:
            *closeRequested = true;
            break;
        case SDL_MOUSEBUTTONDOWN:
            // The logical size makes SDL report positions in screen pixels.
            if (event.button.button == SDL_BUTTON_LEFT) {
                presenter.stylusDown = true;
                Stylus(event.button.x, event.button.y, true);
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT && presenter.stylusDown) {
                presenter.stylusDown = false;
                Stylus(event.button.x, event.button.y, false);
            }
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED) presenter.shownGeneration = ~0ull;
            break;
        }
    }
    ShowScreen();
}

void PresenterShut()
{
    if (presenter.texture) sdl.SDL_DestroyTexture(presenter.texture);
    if (presenter.renderer) sdl.SDL_DestroyRenderer(presenter.renderer);
    if (presenter.window) sdl.SDL_DestroyWindow(presenter.window);
    presenter = Presenter();
    sdl.SDL_Quit();
}

#else

bool PresenterOpen()
{
    return false;
}
void PresenterPump(bool *) {}
void PresenterShut() {}

#endif

} // namespace dev
