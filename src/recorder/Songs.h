// The song store: 128 slots of up to 4000 note events, kept for the whole run,
// loaded from and saved to one "song.%03d" file per slot that holds a song.
#pragma once

#include <cstdint>

namespace clavora {

constexpr int kSongSlots = 128;
constexpr int kSongEvents = 4000;
constexpr int16_t SONG_END = -100;

// One recorded key press (velocity 100) or release (velocity 0), stamped with the
// recorder clock in frames. Both fields SONG_END make an end marker.
struct SongEvent {
    int16_t nKey;
    int16_t nVelocity;
    int32_t nTick;

    bool operator==(const SongEvent&) const = default;
};
static_assert(sizeof(SongEvent) == 8);

// Event e of slot s is g_aSongs[e][s].
extern SongEvent g_aSongs[kSongEvents][kSongSlots];

inline bool IsEndMarker(const SongEvent& e) { return e.nKey == SONG_END && e.nVelocity == SONG_END; }

// The sustain pedal going down or up, kept among the notes: key number PEDAL_KEY (the
// pedal's controller number, 64, negated) with velocity PEDAL_DOWN or PEDAL_UP. Being
// negative, the velocity makes any player that knows no pedal play nothing for it.
constexpr int16_t PEDAL_KEY = -64;
constexpr int16_t PEDAL_DOWN = -1;
constexpr int16_t PEDAL_UP = -2;
inline bool IsPedalEvent(const SongEvent& e) {
    return e.nKey == PEDAL_KEY && (e.nVelocity == PEDAL_DOWN || e.nVelocity == PEDAL_UP);
}
// The slot light's test: event 0 is an end marker.
inline bool SlotIsEmpty(int slot) { return IsEndMarker(g_aSongs[0][slot]); }
// The test of saving and of the start-up playback: neither field of event 0 is SONG_END.
inline bool SlotHoldsSong(int slot) {
    return g_aSongs[0][slot].nKey != SONG_END && g_aSongs[0][slot].nVelocity != SONG_END;
}

// Empties one slot: all events zero, event 0 an end marker.
void ClearSlot(int slot);
struct SongImage;
// Copies a song into a slot, all 4000 events, and back out of one.
void PutSong(int slot, const SongImage& song);
void TakeSong(int slot, SongImage& song);
// Empties every slot.
void ClearSongs();

}  // namespace clavora
