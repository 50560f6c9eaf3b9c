// The program reports nothing: the libraries under it are told to keep their
// diagnostics to themselves.
#pragma once

namespace clavora {

// Silences the ALSA and JACK libraries (when they are loaded). SDL and FluidSynth are
// silenced where they are started, by the window and the synthesizer.
void SilenceLibraries();

}  // namespace clavora
