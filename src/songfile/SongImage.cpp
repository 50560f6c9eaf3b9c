#include "songfile/SongImage.h"

namespace clavora {

namespace {

SongEvent DecodeEvent(const uint8_t* p) {
    SongEvent e;
    e.nKey = static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    e.nVelocity = static_cast<int16_t>(static_cast<uint16_t>(p[2] | p[3] << 8));
    e.nTick = static_cast<int32_t>(static_cast<uint32_t>(p[4]) | static_cast<uint32_t>(p[5]) << 8 |
                                   static_cast<uint32_t>(p[6]) << 16 |
                                   static_cast<uint32_t>(p[7]) << 24);
    return e;
}

void EncodeEvent(uint8_t* p, const SongEvent& e) {
    const auto key = static_cast<uint16_t>(e.nKey);
    const auto velocity = static_cast<uint16_t>(e.nVelocity);
    const auto tick = static_cast<uint32_t>(e.nTick);
    p[0] = static_cast<uint8_t>(key);
    p[1] = static_cast<uint8_t>(key >> 8);
    p[2] = static_cast<uint8_t>(velocity);
    p[3] = static_cast<uint8_t>(velocity >> 8);
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(tick >> (8 * i));
}

}  // namespace

void ClearImage(SongImage& song) {
    for (auto& e : song.events) e = SongEvent{0, 0, 0};
    song.events[0] = SongEvent{SONG_END, SONG_END, 0};
}

int SongLength(const SongImage& song) {
    for (int e = 0; e < kSongEvents; ++e)
        if (IsEndMarker(song.events[e])) return e;
    return kSongEvents;
}

int32_t SongEndTick(const SongImage& song) {
    const int n = SongLength(song);
    const int32_t last = n > 0 ? song.events[n - 1].nTick : 0;
    if (n == kSongEvents) return last;
    return song.events[n].nTick > last ? song.events[n].nTick : last;
}

int SongNotes(const SongImage& song) {
    const int n = SongLength(song);
    int notes = 0;
    for (int e = 0; e < n; ++e)
        if (song.events[e].nVelocity > 0) ++notes;
    return notes;
}

void DecodeSongFile(const uint8_t* bytes, size_t size, SongImage& song) {
    ClearImage(song);
    const size_t records = size / kSongRecordSize < static_cast<size_t>(kSongEvents)
                               ? size / kSongRecordSize
                               : static_cast<size_t>(kSongEvents);
    if (records == 0) return;
    for (size_t e = 0; e < records; ++e) {
        song.events[e] = DecodeEvent(bytes + e * kSongRecordSize);
        if (IsEndMarker(song.events[e])) return;
    }
    if (records == static_cast<size_t>(kSongEvents)) return;  // a full slot has no end marker
    song.events[records] = SongEvent{SONG_END, SONG_END, song.events[records - 1].nTick};
}

size_t EncodeSongFile(const SongImage& song, uint8_t* bytes) {
    size_t size = 0;
    for (int e = 0; e < kSongEvents; ++e) {
        EncodeEvent(bytes + size, song.events[e]);
        size += kSongRecordSize;
        if (IsEndMarker(song.events[e])) break;
    }
    return size;
}

}  // namespace clavora
