// The MIDI sources this build has, in order of preference: the ALSA sequencer, where
// the machine has one (it also carries JACK's and PipeWire's MIDI ports where they
// bridge it), then a JACK server. CLAVORA_MIDI=alsa|jack tries that one alone.
#pragma once

#include <memory>

#include "platform/midi/MidiSource.h"

namespace clavora {

std::unique_ptr<MidiSource> MakeAlsaMidiSource();
#ifdef CLAVORA_MIDI_JACK
std::unique_ptr<MidiSource> MakeJackMidiSource();
#endif

inline constexpr MidiSourceKind kMidiSources[] = {
    {"alsa", &MakeAlsaMidiSource},
#ifdef CLAVORA_MIDI_JACK
    {"jack", &MakeJackMidiSource},
#endif
};

}  // namespace clavora
