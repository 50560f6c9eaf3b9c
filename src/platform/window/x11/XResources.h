// What the X server's resources say of the desktop's scale.
#pragma once

namespace clavora {

// Xft.dpi from the root window's resources of the open connection xDisplay (an Xlib
// Display), as the server held them when it connected: what xrdb loaded, and what the
// desktop publishes its scale in. 0 when absent.
int ServerXftDpi(void* xDisplay);

}  // namespace clavora
