// Songs as MIDI files: exporting and importing a full slot (4000 records), and
// importing a piece far longer than a slot (every note read, the first whole ones kept),
// which is what a drop on the window costs on the window's thread.
//
//   cmake --build build --target clavora_bench && build/clavora_bench --benchmark_filter=Midi
#include <benchmark/benchmark.h>

#include <vector>

#include "support/SmfBuilder.h"
#include "songfile/MidiExport.h"
#include "songfile/MidiImport.h"

namespace clavora::test {
namespace {

SongImage g_full, g_song;
uint8_t g_bytes[kExportMaxSize];

// 4000 events over all 88 keys, two a frame: a full slot, as recording leaves it.
void MakeFullSlot() {
    for (int e = 0; e < kSongEvents; ++e)
        g_full.events[e] = SongEvent{static_cast<int16_t>(1 + (e / 2) % 88), static_cast<int16_t>(e % 2 ? 0 : 100), e};
}

void BM_MidiExportFullSlot(benchmark::State& state) {
    MakeFullSlot();
    for (auto _ : state) {
        const ExportResult r = ExportMidi(g_full, 0, g_bytes);
        benchmark::DoNotOptimize(r.size);
    }
}
BENCHMARK(BM_MidiExportFullSlot)->Unit(benchmark::kMicrosecond);

void BM_MidiImportFullSlot(benchmark::State& state) {
    MakeFullSlot();
    const ExportResult out = ExportMidi(g_full, 0, g_bytes);
    for (auto _ : state) {
        const ImportResult r = ImportMidi(g_bytes, out.size, g_song);
        benchmark::DoNotOptimize(r.kept);
    }
    state.counters["bytes"] = static_cast<double>(out.size);
}
BENCHMARK(BM_MidiImportFullSlot)->Unit(benchmark::kMicrosecond);

// A format 1 file of range(1) tracks of notes, range(0) bytes in all: merging many
// tracks must cost no more than reading their bytes.
void BM_MidiImportLargeFile(benchmark::State& state) {
    const size_t target = static_cast<size_t>(state.range(0));
    std::vector<Bytes> tracks(static_cast<size_t>(state.range(1)));
    for (size_t i = 0; i < tracks.size(); ++i) {
        TrackBuilder t;
        const auto channel = static_cast<uint8_t>(i % 16);
        while (t.body.size() < target / tracks.size())
            t.Ev(7, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(30 + (t.body.size() % 60)), 64})
                .Ev(5, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(30 + (t.body.size() % 60)), 0});
        tracks[i] = t.End(0).body;
    }
    Bytes file = Smf(1, 96, {});
    file[10] = static_cast<uint8_t>(tracks.size() >> 8);
    file[11] = static_cast<uint8_t>(tracks.size());
    for (const Bytes& t : tracks) {
        const Bytes c = Chunk("MTrk", t);
        file.insert(file.end(), c.begin(), c.end());
    }
    int notes = 0;
    for (auto _ : state) {
        const ImportResult r = ImportMidi(file.data(), file.size(), g_song);
        if (r.error) state.SkipWithError("the file does not import");
        notes = r.notes;
    }
    state.counters["bytes"] = static_cast<double>(file.size());
    state.counters["notes"] = notes;
}
BENCHMARK(BM_MidiImportLargeFile)
    ->Args({1 << 20, 16})
    ->Args({16 << 20, 2})
    ->Args({16 << 20, 16})
    ->Args({16 << 20, 1024})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace clavora::test
