// The window at the desktop's scale: made hidden, measured, sized, then shown.
#pragma once

struct SDL_Window;

namespace clavora {

// Makes the program's window, hidden, at the scale the desktop asks for (ChooseScale):
// 800s x 520s device pixels. On X11 from Xft.dpi and GDK_SCALE, on Wayland from the
// output's scale through SDL's high-density drawable; CLAVORA_SCALE overrides both.
// Sets the device scale new bitmaps are made at, and pixelsPerUnit to the device pixels
// of the window's picture a window unit (the output's scale on Wayland where the window
// is drawn at it, else 1). nullptr when no window can be made.
SDL_Window* CreateScaledWindow(const char* title, int& scale, int& pixelsPerUnit);

// Tells the window manager, once the window shows, that its size is fixed: its smallest
// and largest size are the size it has. SDL says so itself on X11; on Wayland only when
// asked, and a tiling compositor then floats the window at its size instead of tiling it.
void HoldWindowSize(SDL_Window* window);

}  // namespace clavora
