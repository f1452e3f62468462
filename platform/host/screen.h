// The device's screen and its presenting, as the emulator and tests see them
// (platform/host/gdi.cpp keeps the pixels, png.cpp writes them out,
// presenter.cpp shows them).
#pragma once

#include <cstdint>

namespace dev {

// The screen: 32-bit pixels 0x00RRGGBB, row-major, top row first.
uint32_t *ScreenPixels();
int ScreenWidth();
int ScreenHeight();
bool WriteScreenPng(const char *path);
// Called whenever pixels of the screen change, so the presenter can show them.
extern volatile uint64_t screenGeneration;

// The presenter: an SDL window showing the screen, scaled, with the mouse as
// the stylus. Runs on the host's main thread, never on a device thread.
bool DisplayAvailable();
bool PresenterOpen();
// Shows a changed screen and forwards input; sets *closeRequested when the
// user closes the window.
void PresenterPump(bool *closeRequested);
void PresenterShut();

} // namespace dev
