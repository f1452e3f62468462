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
#endif

namespace dev {

bool DisplayAvailable() {
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

struct Presenter {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
    uint64_t shownGeneration = ~0ull;
    int width = 0, height = 0;
    bool stylusDown = false;
};
Presenter presenter;

void ShowScreen() {
    uint64_t generation = screenGeneration;
    if (generation == presenter.shownGeneration)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(BigLock());
        presenter.shownGeneration = screenGeneration;
        SDL_UpdateTexture(presenter.texture, nullptr, ScreenPixels(), ScreenWidth() * 4);
    }
    SDL_RenderClear(presenter.renderer);
    SDL_RenderCopy(presenter.renderer, presenter.texture, nullptr, nullptr);
    SDL_RenderPresent(presenter.renderer);
}

// A release outside the window still lifts the stylus, at the nearest edge.
void Stylus(int x, int y, bool down) {
    x = x < 0 ? 0 : x >= presenter.width ? presenter.width - 1 : x;
    y = y < 0 ? 0 : y >= presenter.height ? presenter.height - 1 : y;
    std::lock_guard<std::recursive_mutex> lock(BigLock());
    Tap(x, y, down);
}

} // namespace

bool PresenterOpen() {
    // The emulator handles SIGINT and SIGTERM itself (close the monitor normally).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "perfmon: no display (%s); running headless\n", SDL_GetError());
        return false;
    }
    presenter = Presenter();
    presenter.width = ScreenWidth();
    presenter.height = ScreenHeight();
    presenter.window = SDL_CreateWindow("Performance Monitor - handheld device", SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, presenter.width * scale,
                                        presenter.height * scale, 0);
    if (presenter.window)
        presenter.renderer = SDL_CreateRenderer(presenter.window, -1, 0);
    if (presenter.renderer) {
        SDL_RenderSetLogicalSize(presenter.renderer, presenter.width, presenter.height);
        presenter.texture = SDL_CreateTexture(presenter.renderer, SDL_PIXELFORMAT_RGB888,
                                              SDL_TEXTUREACCESS_STREAMING, presenter.width, presenter.height);
    }
    if (!presenter.texture) {
        std::fprintf(stderr, "perfmon: cannot open a window (%s); running headless\n", SDL_GetError());
        PresenterShut();
        return false;
    }
    ShowScreen();
    return true;
}

void PresenterPump(bool *closeRequested) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
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
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED)
                presenter.shownGeneration = ~0ull;
            break;
        }
    }
    ShowScreen();
}

void PresenterShut() {
    if (presenter.texture)
        SDL_DestroyTexture(presenter.texture);
    if (presenter.renderer)
        SDL_DestroyRenderer(presenter.renderer);
    if (presenter.window)
        SDL_DestroyWindow(presenter.window);
    presenter = Presenter();
    SDL_Quit();
}

#else

bool PresenterOpen() { return false; }
void PresenterPump(bool *) {}
void PresenterShut() {}

#endif

} // namespace dev
