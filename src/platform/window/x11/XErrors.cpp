#include "platform/window/x11/XErrors.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace clavora {

namespace {

XErrorHandler g_previous = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
    if (IsMessageToGoneWindow(error->error_code, error->request_code)) return 0;
    return g_previous ? g_previous(display, error) : 0;
}

}  // namespace

bool IsMessageToGoneWindow(int errorCode, int requestCode) {
    return errorCode == BadWindow && requestCode == X_SendEvent;
}

void TolerateMessagesToGoneWindows() {
    // Xlib hands back its default handler when none was set before.
    XErrorHandler before = XSetErrorHandler(&OnXError);
    if (before != &OnXError) g_previous = before;
}

}  // namespace clavora
