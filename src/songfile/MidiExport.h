// A song as a Standard MIDI File: one track (format 0) named after its slot, every
// press a Note On of velocity 112, every release a Note Off and the sustain pedal's
// every move controller 64 (127 down, 0 up), at exactly tick x 30 ms, the end of the
// track at the song's end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "songfile/SongImage.h"

namespace clavora {

// The file's time line: 50 ticks a quarter note at 120 quarter notes a minute, so a
// tick lasts 10 ms and a frame of the recorder 3 ticks.
constexpr int kExportDivision = 50;
constexpr uint32_t kExportTempo = 500000;
constexpr int kExportTicksPerFrame = 3;
constexpr uint8_t kExportVelocity = 112;

// Room for the largest file a song can give.
constexpr size_t kExportMaxSize = 32 * 1024;

struct ExportResult {
    size_t size = 0;   // bytes written
    int events = 0;    // presses, releases and pedal moves written
    int leftOut = 0;   // events without a MIDI note, and events playback never reaches
};

// Writes the song of slot (named in the track) into bytes, which hold kExportMaxSize.
ExportResult ExportMidi(const SongImage& song, int slot, uint8_t* bytes);

}  // namespace clavora
