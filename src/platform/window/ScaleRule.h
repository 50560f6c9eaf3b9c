// Which whole device scale the window is drawn at, from what the desktop says.
#pragma once

#include <string>

namespace clavora {

struct ScaleClues {
    std::string clavoraScale;   // CLAVORA_SCALE: the user's own choice; "" when unset
    std::string gdkScale;       // GDK_SCALE, as GTK programs read it; "" when unset
    int xftDpi = 0;             // Xft.dpi of the root window's resources; 0 when unset
    double outputScale = 0;     // the Wayland output's scale (high-density drawable); 0: none
    int usableWidth = 0;        // the display's work area, in the units the window is
    int usableHeight = 0;       // sized in; 0 when unknown
    double unitsPerPixel = 1;   // window units per device pixel (1 on X11)
};

// CLAVORA_SCALE first, then the Wayland output's scale, then GDK_SCALE, then Xft.dpi at
// 96 a 1x; 1 when none says anything usable. Fractions round to the nearest whole scale
// (halves up), within 1..3, and the scale is lowered while an 800s x 520s window would
// not fit the work area.
int ChooseScale(const ScaleClues& clues);

// The Xft.dpi value of a resource manager string ("Xft.dpi:\t192\n..."); 0 when absent.
int XftDpiOf(const char* resources);

}  // namespace clavora
