// Clavora: makes the real platform and runs the application on it. A window that could
// not be opened is a failure, even though the records were still written.
#include "app/PianoApp.h"
#include "platform/window/sdl/SdlPlatform.h"

int main() {
    clavora::SdlPlatform platform;
    const int status = clavora::theApp.InitInstance(platform);
    return platform.WindowFailed() ? 1 : status;
}
