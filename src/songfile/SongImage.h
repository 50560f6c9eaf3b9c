// One slot's song outside the store: its 4000 events in order, as the store holds a
// slot, and the bytes of its "song.%03d" file. The store, the drop of a MIDI file and
// the clavora-midi tool all read and write song files through these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recorder/Songs.h"

namespace clavora {

constexpr size_t kSongRecordSize = 8;
constexpr size_t kSongFileMaxSize = kSongRecordSize * kSongEvents;  // a full slot: 32,000 bytes

struct SongImage {
    SongEvent events[kSongEvents];
};

// Empties the image as clearing empties a slot: zero events, event 0 an end marker.
void ClearImage(SongImage& song);

// The number of events of the song: those before the first end marker, or all 4000.
int SongLength(const SongImage& song);

// The tick at which the song ends: its end marker's, or its last event's when the slot
// is full; never before its last event.
int32_t SongEndTick(const SongImage& song);

// The number of presses (events of a positive velocity) in the song.
int SongNotes(const SongImage& song);

// Neither field of event 0 is SONG_END: the test by which a slot is saved and played.
inline bool ImageHoldsSong(const SongImage& song) {
    return song.events[0].nKey != SONG_END && song.events[0].nVelocity != SONG_END;
}

// Fills the image from a song file's bytes. Reading stops after an end marker or the
// 4000th record. A file that stops short of both (cut off, perhaps in the middle of a
// record) gives a song of its whole records, closed with an end marker at the tick of
// its last event; without a single whole record the song is empty.
void DecodeSongFile(const uint8_t* bytes, size_t size, SongImage& song);

// Encodes the song as its file: the events up to and including the end marker, or all
// 4000 of a full slot. bytes holds kSongFileMaxSize. Returns the number of bytes.
size_t EncodeSongFile(const SongImage& song, uint8_t* bytes);

}  // namespace clavora
