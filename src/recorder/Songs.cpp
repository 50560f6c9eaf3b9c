// The song store and its files: one "song.%03d" file per slot that holds a song,
// headerless 8-byte little-endian records, read at start and written at close.
#include "recorder/Songs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/FileIo.h"
#include "app/PianoDlg.h"

namespace clavora {

SongEvent g_aSongs[kSongEvents][kSongSlots];

namespace {

constexpr size_t kRecordSize = 8;
constexpr size_t kMaxFileSize = kRecordSize * kSongEvents;  // a full slot: 32,000 bytes

// One file's bytes on their way in or out. Loading and saving run on the window's
// thread only, one file at a time, so one buffer serves both.
unsigned char g_fileBuffer[kMaxFileSize];

void SongFileName(char (&name)[16], int slot) { std::snprintf(name, sizeof name, "song.%03d", slot); }

SongEvent DecodeEvent(const unsigned char* p) {
    SongEvent e;
    e.nKey = static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    e.nVelocity = static_cast<int16_t>(static_cast<uint16_t>(p[2] | p[3] << 8));
    e.nTick = static_cast<int32_t>(static_cast<uint32_t>(p[4]) | static_cast<uint32_t>(p[5]) << 8 |
                                   static_cast<uint32_t>(p[6]) << 16 |
                                   static_cast<uint32_t>(p[7]) << 24);
    return e;
}

void EncodeEvent(unsigned char* p, const SongEvent& e) {
    const auto key = static_cast<uint16_t>(e.nKey);
    const auto velocity = static_cast<uint16_t>(e.nVelocity);
    const auto tick = static_cast<uint32_t>(e.nTick);
    p[0] = static_cast<unsigned char>(key);
    p[1] = static_cast<unsigned char>(key >> 8);
    p[2] = static_cast<unsigned char>(velocity);
    p[3] = static_cast<unsigned char>(velocity >> 8);
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<unsigned char>(tick >> (8 * i));
}

// Reads at most one full slot's worth of the named file into g_fileBuffer.
// Returns the number of bytes read, or -1 when the file is missing or unreadable.
long ReadSongFile(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return -1;
    const size_t n = std::fread(g_fileBuffer, 1, kMaxFileSize, f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        // Part of a song is not taken for the whole of it: the slot stays empty, so the
        // file is left alone at close.
        std::fprintf(stderr, "clavora: cannot read %s: %s\n", name, std::strerror(err));
        return -1;
    }
    return static_cast<long>(n);
}

// Fills one slot from the bytes of its file. Reading stops after an end marker or
// the 4000th record. A file that stops short of both (cut off, perhaps in the middle
// of a record) gives a song of its whole records, closed with an end marker at the
// tick of its last event; without a single whole record the slot stays empty.
void FillSlot(int slot, const unsigned char* bytes, size_t size) {
    ClearSlot(slot);
    const size_t records = size / kRecordSize < static_cast<size_t>(kSongEvents)
                               ? size / kRecordSize
                               : static_cast<size_t>(kSongEvents);
    if (records == 0) return;
    for (size_t e = 0; e < records; ++e) {
        g_aSongs[e][slot] = DecodeEvent(bytes + e * kRecordSize);
        if (IsEndMarker(g_aSongs[e][slot])) return;
    }
    if (records == static_cast<size_t>(kSongEvents)) return;  // a full slot has no end marker
    g_aSongs[records][slot] = SongEvent{SONG_END, SONG_END, g_aSongs[records - 1][slot].nTick};
}

// Encodes the song of one slot as its file: the events up to and including the end
// marker, or all 4000 of a full slot. Returns the number of bytes.
size_t EncodeSlot(int slot, unsigned char* bytes) {
    size_t size = 0;
    for (int e = 0; e < kSongEvents; ++e) {
        EncodeEvent(bytes + size, g_aSongs[e][slot]);
        size += kRecordSize;
        if (IsEndMarker(g_aSongs[e][slot])) break;
    }
    return size;
}

}  // namespace

void ClearSlot(int slot) {
    for (auto& row : g_aSongs) row[slot] = SongEvent{0, 0, 0};
    g_aSongs[0][slot].nKey = SONG_END;
    g_aSongs[0][slot].nVelocity = SONG_END;
}

void ClearSongs() {
    std::memset(g_aSongs, 0, sizeof g_aSongs);
    for (int s = 0; s < kSongSlots; ++s) {
        g_aSongs[0][s].nKey = SONG_END;
        g_aSongs[0][s].nVelocity = SONG_END;
    }
}

void CPianoDlg::LoadSongs() {
    char name[16];
    for (int slot = 0; slot < kSongSlots; ++slot) {
        SongFileName(name, slot);
        const long size = ReadSongFile(name);
        // A missing or unreadable file leaves the slot as it is: empty at start.
        if (size >= 0) FillSlot(slot, g_fileBuffer, static_cast<size_t>(size));
    }
}

void CPianoDlg::SaveSongs() {
    // A recording still running is closed as the stop command closes it, so that the
    // file ends where the recording did.
    if (m_bRecording == 1) StopTransport();
    char name[16];
    for (int slot = 0; slot < kSongSlots; ++slot) {
        // Only a slot whose event 0 is a real event is saved; the file of any other
        // slot stays on disk as it is.
        if (!SlotHoldsSong(slot)) continue;
        SongFileName(name, slot);
        // A file that cannot be written keeps its old contents and is reported by
        // WriteFileAtomic; the other slots are saved all the same.
        WriteFileAtomic(name, g_fileBuffer, EncodeSlot(slot, g_fileBuffer));
    }
}

}  // namespace clavora
