// The song store and its files.
#include "recorder/Songs.h"

#include <cstring>

#include "app/PianoDlg.h"

namespace clavora {

SongEvent g_aSongs[kSongEvents][kSongSlots];

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

// TODO(recorder): song files.
void CPianoDlg::LoadSongs() {}
void CPianoDlg::SaveSongs() {}

}  // namespace clavora
