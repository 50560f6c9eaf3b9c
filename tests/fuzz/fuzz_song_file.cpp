// Any bytes as song files: the input is slot 0's file, and its second half slot 127's.
// Loading leaves every slot empty, ended by an end marker, or full, holding exactly the
// file's whole records up to its first end marker; saving then writes files that load
// back into the same slots, and leaves nothing else behind.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <optional>

#include "fuzz/FuzzDir.h"
#include "fuzz/Session.h"

using namespace clavora;
using fuzz::Broken;

namespace {

std::optional<session::Session> g_session;

SongEvent Decode(const uint8_t* p) {
    return SongEvent{static_cast<int16_t>(p[0] | p[1] << 8), static_cast<int16_t>(p[2] | p[3] << 8),
                     static_cast<int32_t>(static_cast<uint32_t>(p[4]) | static_cast<uint32_t>(p[5]) << 8 |
                                          static_cast<uint32_t>(p[6]) << 16 |
                                          static_cast<uint32_t>(p[7]) << 24)};
}

// The slot as loaded from a file of these bytes: its whole records up to and including
// the first end marker, at most 4000; a file that stops short of both is closed by an
// end marker at its last event's tick; one without a whole record leaves the slot empty.
void CheckLoaded(int slot, const uint8_t* data, size_t size) {
    static char why[200];
    const size_t records = size / 8 < kSongEvents ? size / 8 : kSongEvents;
    if (records == 0) {
        if (!SlotIsEmpty(slot)) Broken("a file without a whole record did not leave its slot empty");
        for (int e = 1; e < kSongEvents; ++e)
            if (!(g_aSongs[e][slot] == SongEvent{0, 0, 0})) Broken("an empty slot holds events");
        return;
    }
    size_t e = 0;
    for (; e < records; ++e) {
        const SongEvent want = Decode(data + 8 * e);
        if (!(g_aSongs[e][slot] == want)) {
            std::snprintf(why, sizeof why, "slot %d event %zu is not record %zu of its file", slot, e, e);
            Broken(why);
        }
        if (IsEndMarker(want)) break;
    }
    if (e == records && records < kSongEvents) {
        // Cut off: an end marker of its own after the last whole record.
        const SongEvent end{SONG_END, SONG_END, Decode(data + 8 * (records - 1)).nTick};
        if (!(g_aSongs[e][slot] == end)) Broken("a cut-off song does not end after its last whole record");
    }
    for (size_t z = e + 1; z < kSongEvents; ++z) {
        if (!(g_aSongs[z][slot] == SongEvent{0, 0, 0})) {
            std::snprintf(why, sizeof why, "slot %d holds event %zu after its end", slot, z);
            Broken(why);
        }
    }
}

SongEvent g_saved[2][kSongEvents];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MakeWorkDir();
    const fuzz::InWorkDir here;
    g_session.emplace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InWorkDir here;
    CPianoDlg& d = g_session->Window();
    fuzz::EmptyWorkDir();
    fuzz::PutFile("song.000", data, size);
    fuzz::PutFile("song.127", data + size / 2, size - size / 2);

    // As at start-up, over an empty store. Only slots 0 and 127 are ever filled, so
    // only they need emptying.
    ClearSlot(0);
    ClearSlot(127);
    d.LoadSongs();
    for (int s = 1; s < kSongSlots - 1; ++s)
        if (!SlotIsEmpty(s)) Broken("a slot without a file holds a song");
    CheckLoaded(0, data, size);
    CheckLoaded(127, data + size / 2, size - size / 2);

    // Saved and loaded again: the same slots, the same bytes after the end, no leftovers.
    for (int e = 0; e < kSongEvents; ++e) {
        g_saved[0][e] = g_aSongs[e][0];
        g_saved[1][e] = g_aSongs[e][127];
    }
    const bool songs[2] = {SlotHoldsSong(0), SlotHoldsSong(127)};
    d.SaveSongs();
    std::string bytes;
    for (int i = 0; i < 2; ++i) {
        const char* name = i == 0 ? "song.000" : "song.127";
        if (!fuzz::GetFile(name, bytes)) Broken("a song file is gone after saving");
        if (songs[i] && (bytes.size() % 8 != 0 || bytes.size() < 8 || bytes.size() > 8 * kSongEvents))
            Broken("a saved song file is not a whole number of records, one to 4000");
    }
    if (fuzz::TemporaryFileLeft()) Broken("a temporary file is left");
    ClearSlot(0);
    ClearSlot(127);
    d.LoadSongs();
    for (int e = 0; e < kSongEvents; ++e) {
        if (!(g_aSongs[e][0] == g_saved[0][e]) || !(g_aSongs[e][127] == g_saved[1][e]))
            Broken("a song saved and loaded again is not the same");
    }
    return 0;
}
