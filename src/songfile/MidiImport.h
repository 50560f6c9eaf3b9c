// A MIDI file as a song: every note of a key on the piano, on any channel but the
// drums', at its time rounded to the nearest frame, in a form the recorder plays as if
// it had been recorded.
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
    int notes = 0;       // notes of the piece that have a key (kept or not)
    int kept = 0;        // notes in the song
    int drums = 0;       // notes on channel 10, left out
    int keyless = 0;     // notes outside A0..C8, left out
    bool cut = false;    // the piece did not fit in a slot: its first whole notes were kept
};

// Converts the file into song. A file without an error but without a single note that
// has a key gives notes == 0 and an empty song; the callers refuse it. On an error the
// song is empty.
ImportResult ImportMidi(const uint8_t* data, size_t size, SongImage& song);

}  // namespace clavora
