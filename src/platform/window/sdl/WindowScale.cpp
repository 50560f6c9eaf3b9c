#include "platform/window/sdl/WindowScale.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Platform.h"
#include "platform/window/ScaleRule.h"
#include "platform/window/x11/XResources.h"
#include "raster/DeviceScale.h"

namespace clavora {

namespace {

std::string Env(const char* name) {
    const char* value = SDL_getenv(name);
    return value ? value : "";
}

// Xft.dpi from the root window's resources, as the X server held them when SDL
// connected (what xrdb loaded, and what the desktop publishes its scale in).
int XftDpi(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return ServerXftDpi(info.info.x11.display);
}

SDL_Window* Make(const char* title, int width, int height, Uint32 flags) {
    return SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                            flags | SDL_WINDOW_HIDDEN);
}

}  // namespace

SDL_Window* CreateScaledWindow(const char* title, int& scale, int& pixelsPerUnit) {
    pixelsPerUnit = 1;
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool wayland = driver && std::strcmp(driver, "wayland") == 0;
    // On Wayland the window is asked for in the compositor's units, its drawable in the
    // output's pixels: their ratio is the output's scale.
    SDL_Window* window =
        Make(title, kFrameWidth, kFrameHeight, wayland ? SDL_WINDOW_ALLOW_HIGHDPI : 0);
    if (!window) return nullptr;

    ScaleClues clues;
    clues.clavoraScale = Env("CLAVORA_SCALE");
    clues.gdkScale = Env("GDK_SCALE");
    if (wayland) {
        int pw = 0, ph = 0, ww = 0, wh = 0;
        SDL_GetWindowSizeInPixels(window, &pw, &ph);
        SDL_GetWindowSize(window, &ww, &wh);
        if (ww > 0 && pw > 0) {
            clues.outputScale = static_cast<double>(pw) / ww;
            clues.unitsPerPixel = static_cast<double>(ww) / pw;
        }
    } else {
        clues.xftDpi = XftDpi(window);
    }
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(display, &usable) == 0) {
        clues.usableWidth = usable.w;
        clues.usableHeight = usable.h;
    }
    scale = ChooseScale(clues);

    if (wayland) {
        // The drawable comes at the output's scale: the window is drawn at that scale, a
        // buffer of 800s x 520s pixels for 800 x 520 units. Another scale asked for gets a
        // plain window of 800s x 520s units, which the compositor resizes as any other.
        if (clues.outputScale != scale) {
            SDL_DestroyWindow(window);
            window = Make(title, kFrameWidth * scale, kFrameHeight * scale, 0);
        } else {
            pixelsPerUnit = scale;
        }
    } else if (scale != 1) {
        SDL_SetWindowSize(window, kFrameWidth * scale, kFrameHeight * scale);
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    }
    SetDeviceScale(scale);
    return window;
}

void HoldWindowSize(SDL_Window* window) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    if (w <= 0 || h <= 0) return;
    SDL_SetWindowMinimumSize(window, w, h);
    SDL_SetWindowMaximumSize(window, w, h);
}

}  // namespace clavora
