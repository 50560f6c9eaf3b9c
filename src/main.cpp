// Clavora: makes the real platform and runs the application on it.
#include "app/PianoApp.h"
#include "platform/sdl/SdlPlatform.h"

int main() {
    clavora::SdlPlatform platform;
    return clavora::theApp.InitInstance(platform);
}
