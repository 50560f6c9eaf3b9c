#include "platform/window/x11/XResources.h"

#include <X11/Xlib.h>

#include "platform/window/ScaleRule.h"

namespace clavora {

int ServerXftDpi(void* xDisplay) {
    if (!xDisplay) return 0;
    return XftDpiOf(XResourceManagerString(static_cast<Display*>(xDisplay)));
}

}  // namespace clavora
