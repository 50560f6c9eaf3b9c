// A MIDI file as a song: every note on any channel but the drums', those outside the
// piano's keys included (the program records them too, and sounds those it can), and the
// sustain pedal, at their times rounded to the nearest frame, in a form the recorder
// plays as if it had been recorded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "songfile/SmfReader.h"
#include "songfile/SongImage.h"

namespace clavora {

// One frame of the recorder's clock.
constexpr int64_t kFrameNanoseconds = 30000000;

// The most events an imported song holds: the rest of the slot is its end marker.
constexpr int kImportEvents = kSongEvents - 1;

struct ImportResult {
    SmfError error;
    int notes = 0;       // notes of the piece but the drums' (kept or not)
    int kept = 0;        // notes in the song
    int drums = 0;       // notes on channel 10, left out
    int keyless = 0;     // notes outside A0..C8 (kept or not): they sound without a key
    int pedals = 0;      // the sustain pedal going down or up, in the song
    bool cut = false;    // the piece did not fit in a slot: its first whole notes were kept
};

// Converts the file into song. A file without an error but without a single note gives
// kept == 0 and a song of at most pedal events; the callers refuse it. On an error the
// song is empty.
ImportResult ImportMidi(const uint8_t* data, size_t size, SongImage& song);

}  // namespace clavora
