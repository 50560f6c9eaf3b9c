// Any bytes as a MIDI file to import. A file is refused with an empty song, or gives a
// song the recorder plays as if it had been recorded: presses and releases of the keys
// MIDI notes give (those outside the piano's too) and the sustain pedal going down or
// up, in time order, no key pressed that is down nor released that is up, none left down, an end marker no
// earlier than the last event within the slot. Exported and imported again, the song
// comes back event for event.
#include <cstdint>
#include <cstdio>

#include "fuzz/FuzzDir.h"
#include "fuzz/Session.h"
#include "songfile/MidiExport.h"
#include "songfile/MidiImport.h"

using namespace clavora;
using fuzz::Broken;

namespace {

SongImage g_song, g_again;
uint8_t g_bytes[kExportMaxSize];

void CheckShape(const SongImage& song, const ImportResult& r) {
    static char why[200];
    const int n = SongLength(song);
    if (n > kImportEvents) Broken("an imported song has no end marker");
    bool down[128] = {};
    bool pedal = false;
    int presses = 0;
    for (int e = 0; e < n; ++e) {
        const SongEvent& ev = song.events[e];
        if (IsPedalEvent(ev)) {
            if (pedal == (ev.nVelocity == PEDAL_DOWN)) Broken("the pedal goes where it already is");
            pedal = !pedal;
            continue;
        }
        if (ev.nKey < -20 || ev.nKey > 107 || (ev.nVelocity != 0 && ev.nVelocity != 100)) {
            std::snprintf(why, sizeof why, "event %d is {%d, %d, %d}", e, ev.nKey, ev.nVelocity, ev.nTick);
            Broken(why);
        }
        bool& isDown = down[ev.nKey + 20];
        // A key struck again while down is released and pressed in one frame.
        if (isDown == (ev.nVelocity > 0)) {
            std::snprintf(why, sizeof why, "event %d %s key %d that is %s", e, ev.nVelocity ? "presses" : "releases",
                          ev.nKey, isDown ? "down" : "up");
            Broken(why);
        }
        isDown = ev.nVelocity > 0;
        if (isDown) ++presses;
    }
    for (bool d : down)
        if (d) Broken("an imported song leaves a key down");
    if (presses != r.kept || r.kept > r.notes) Broken("the notes kept are not the presses of the song");
    if (r.cut != (r.kept < r.notes)) Broken("a piece cut short is not told, or one told is whole");
    // The recorder's own rules of a slot: time order, the end no earlier than the last event.
    for (int e = 0; e < kSongEvents; ++e) g_aSongs[e][0] = song.events[e];
    static char slotWhy[200];
    if (const char* bad = session::CheckSlot(0, false, 0, slotWhy, sizeof slotWhy)) Broken(bad);
    for (int e = n + 1; e < kSongEvents; ++e)
        if (!(song.events[e] == SongEvent{0, 0, 0})) Broken("an imported song holds events after its end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ImportResult r = ImportMidi(data, size, g_song);
    if (r.error) {
        if (!(SongLength(g_song) == 0 && g_song.events[0].nTick == 0) || r.kept != 0)
            Broken("a refused file left a song");
        return 0;
    }
    if (r.kept == 0) {
        if (SongLength(g_song) != 0) Broken("a file without notes gave a song");
        return 0;
    }
    CheckShape(g_song, r);

    const ExportResult out = ExportMidi(g_song, 0, g_bytes);
    if (out.size > kExportMaxSize || out.leftOut != 0) Broken("an imported song does not export whole");
    const ImportResult again = ImportMidi(g_bytes, out.size, g_again);
    if (again.error || again.cut || again.kept != r.kept) Broken("an exported song does not import again");
    for (int e = 0; e < kSongEvents; ++e)
        if (!(g_again.events[e] == g_song.events[e])) Broken("a song exported and imported again is not the same");
    return 0;
}
