// CPianoApp: starts the program, runs the main window, saves the records at the end.
#pragma once

#include "platform/Platform.h"

namespace clavora {

class CPianoApp {
public:
    // Runs the whole program on this platform; returns the process's exit status.
    int InitInstance(Platform& platform);
};

extern CPianoApp theApp;

}  // namespace clavora
