// Makes a synthesizer ready to sound on one SoundFont, wholly off the audio thread: the
// file is opened with FluidSynth's dynamic sample loading (only the samples of programs
// in use are read), the default program and the presets are read at once, and the gain
// is set so that a piano key sounds as loud whatever the SoundFont.
#pragma once

#include <atomic>
#include <string>

struct _fluid_synth_t;
struct _fluid_hashtable_t;

namespace clavora {

// The settings every synthesizer of the program shares; owned by the caller.
_fluid_hashtable_t* NewSynthSettings();

// A synthesizer playing the SoundFont at path, or nullptr with the reason in why.
// Gives up early (nullptr, why empty) once abandon is set.
_fluid_synth_t* NewSynth(_fluid_hashtable_t* settings, const std::string& path,
                         const std::atomic<bool>& abandon, std::string& why);

}  // namespace clavora
