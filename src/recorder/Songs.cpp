// The song store and its files: one "song.%03d" file per slot that holds a song,
// headerless 8-byte little-endian records, read at start and written at close.
#include "recorder/Songs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/FileIo.h"
#include "app/PianoDlg.h"
#include "songfile/SongImage.h"

namespace clavora {

SongEvent g_aSongs[kSongEvents][kSongSlots];

namespace {

// One file's bytes on their way in or out, and the song they hold. Loading and saving
// run on the window's thread only, one file at a time, so one buffer serves both.
uint8_t g_fileBuffer[kSongFileMaxSize];
SongImage g_image;

void SongFileName(char (&name)[16], int slot) { std::snprintf(name, sizeof name, "song.%03d", slot); }

// Reads at most one full slot's worth of the named file into g_fileBuffer.
// Returns the number of bytes read, or -1 when the file is missing or unreadable.
long ReadSongFile(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return -1;
    const size_t n = std::fread(g_fileBuffer, 1, kSongFileMaxSize, f);
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

}  // namespace

void ClearSlot(int slot) {
    for (auto& row : g_aSongs) row[slot] = SongEvent{0, 0, 0};
    g_aSongs[0][slot].nKey = SONG_END;
    g_aSongs[0][slot].nVelocity = SONG_END;
}

void PutSong(int slot, const SongImage& song) {
    for (int e = 0; e < kSongEvents; ++e) g_aSongs[e][slot] = song.events[e];
}

void TakeSong(int slot, SongImage& song) {
    for (int e = 0; e < kSongEvents; ++e) song.events[e] = g_aSongs[e][slot];
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
        if (size < 0) continue;
        DecodeSongFile(g_fileBuffer, static_cast<size_t>(size), g_image);
        PutSong(slot, g_image);
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
        TakeSong(slot, g_image);
        WriteFileAtomic(name, g_fileBuffer, EncodeSongFile(g_image, g_fileBuffer));
    }
}

}  // namespace clavora
