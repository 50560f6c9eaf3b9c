// The program reports nothing: the libraries under it are told to keep their
// diagnostics to themselves.
#pragma once

namespace clavora {

// Silences FluidSynth, SDL and the ALSA and JACK libraries (when they are loaded).
void SilenceLibraries();

// True when a JACK server is running, found without starting one and without a word
// on the terminal when there is none.
bool JackServerRunning();

}  // namespace clavora
