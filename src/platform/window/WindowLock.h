// The one lock that keeps MIDI input from interleaving with the window's work.
// The window's thread holds it while it handles an event or composes a frame; MIDI
// input takes it around the handling of each message, so messages are handled whole,
// in arrival order, and never in the middle of a frame or a command.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/Platform.h"

namespace clavora {

std::mutex& WindowLock();

// Hands one packed MIDI message to the input callback under the window lock.
void DeliverMidiIn(MidiInCallback callback, uintptr_t instance, uint32_t msg);

}  // namespace clavora
