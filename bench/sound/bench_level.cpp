// How loud the program sounds, measured on the real synthesizer with the real SoundFont
// and the real game sounds, rendered by the audio callback's own code buffer by buffer:
//
// - one piano key at the program's velocity on the default program, and each of the six
//   game sounds: RMS over their first 400 ms, which should lie within 3 dB of each
//   other, and the key's peak, which should lie between -12 and -6 dBFS;
// - ten keys held together on every program: the peak, which must stay below full
//   scale; the presets (with one key's level) and the five loudest programs are listed.
//
//   build/clavora_bench_sound --benchmark_filter=Loudness
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/SoundRig.h"
#include "app/PianoDlg.h"
#include "piano/Keys.h"
#include "platform/resources/Resources.h"

namespace clavora::bench {
namespace {

constexpr int kWindowBuffers = (kAudioRate * 400 / 1000) / AudioOut::kBufferFrames;
constexpr int kChord[10] = {48, 52, 55, 59, 60, 64, 67, 71, 72, 76};
constexpr int kGameSounds[6] = {IDW_CORRECT, IDW_FINISHED, IDW_WRONG, IDW_CORRECT_ALT,
                                IDW_NEW_RECORD, IDW_NEW_GAME};

struct Level {
    double rmsDb = -200, peakDb = -200;
    bool fullScale = false;  // a sample at either end of the 16-bit range
};

double Db(double v) { return v > 0 ? 20 * std::log10(v) : -200; }

// Renders `buffers` buffers and measures them.
Level Measure(SoundRig& rig, int buffers) {
    int16_t buf[2 * AudioOut::kBufferFrames];
    double sum = 0;
    int peak = 0;
    Level level;
    for (int b = 0; b < buffers; ++b) {
        rig.RenderBuffer(buf);
        for (int16_t v : buf) {
            sum += static_cast<double>(v) * v;
            peak = std::max(peak, std::abs(static_cast<int>(v)));
            if (v == INT16_MAX || v == INT16_MIN) level.fullScale = true;
        }
    }
    const double n = 2.0 * buffers * AudioOut::kBufferFrames;
    level.rmsDb = Db(std::sqrt(sum / n) / 32768.0);
    level.peakDb = Db(peak / 32768.0);
    return level;
}

void Keys(AudioOut& audio, const int* keys, int count, uint32_t velocity) {
    for (int i = 0; i < count; ++i)
        audio.ShortMessage(PackShortMsg(0x90, static_cast<uint32_t>(keys[i]), velocity));
}

void BM_Loudness(benchmark::State& state) {
    SoundRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no General MIDI SoundFont: install timgm6mb-soundfont");
        return;
    }
    AudioOut& audio = rig.Audio();
    std::vector<double> rms;
    Level key;
    bool clipped = false;
    double worstChord = -200;
    for (auto _ : state) {
        // One key at the program's velocity on the default program.
        const int middleC = 60;
        Keys(audio, &middleC, 1, kNoteVelocity);
        key = Measure(rig, kWindowBuffers);
        Keys(audio, &middleC, 1, 0);
        rig.RenderUntilSilent(8);
        rms.push_back(key.rmsDb);
        std::printf("%-28s RMS %6.1f dBFS  peak %6.1f dBFS\n", "piano key, velocity 112",
                    key.rmsDb, key.peakDb);
        for (int id : kGameSounds) {
            const ResourceBytes bytes = FindEmbeddedResource(id);
            audio.Play(audio.SoundSlot(id, bytes.data, bytes.size));
            const Level s = Measure(rig, kWindowBuffers);
            rig.RenderUntilSilent(8);
            rms.push_back(s.rmsDb);
            clipped = clipped || s.fullScale;
            std::printf("game sound %-17d RMS %6.1f dBFS  peak %6.1f dBFS\n", id, s.rmsDb,
                        s.peakDb);
        }
        // Ten keys held for two seconds on every program.
        std::vector<std::pair<double, int>> chords;
        for (int program = 0; program < 128; ++program) {
            audio.ShortMessage(PackShortMsg(0xC0, static_cast<uint32_t>(program), 0));
            Keys(audio, kChord, 10, kNoteVelocity);
            const Level c = Measure(rig, 2 * kAudioRate / AudioOut::kBufferFrames);
            Keys(audio, kChord, 10, 0);
            rig.RenderUntilSilent(8);
            clipped = clipped || c.fullScale;
            worstChord = std::max(worstChord, c.peakDb);
            chords.emplace_back(c.peakDb, program);
            const bool preset =
                std::find(std::begin(kPresetPrograms), std::end(kPresetPrograms), program) !=
                std::end(kPresetPrograms);
            if (!preset) continue;
            Keys(audio, &middleC, 1, kNoteVelocity);
            const Level one = Measure(rig, kWindowBuffers);
            Keys(audio, &middleC, 1, 0);
            rig.RenderUntilSilent(8);
            clipped = clipped || one.fullScale;
            std::printf("preset program %-3d one key RMS %6.1f peak %6.1f; ten keys peak %6.1f dBFS%s\n",
                        program, one.rmsDb, one.peakDb, c.peakDb,
                        c.fullScale ? "  AT FULL SCALE" : "");
        }
        std::sort(chords.rbegin(), chords.rend());
        for (int i = 0; i < 5; ++i)
            std::printf("ten keys, loudest program %-3d peak %6.1f dBFS\n", chords[i].second,
                        chords[i].first);
        audio.ShortMessage(PackShortMsg(0xC0, 0, 0));
    }
    const auto [lo, hi] = std::minmax_element(rms.begin(), rms.end());
    std::printf("RMS spread %.1f dB (goal at most 3), key peak %.1f dBFS (goal -12 to -6), "
                "loudest chord %.1f dBFS, %s\n",
                *hi - *lo, key.peakDb, worstChord,
                clipped ? "a sample AT FULL SCALE" : "no sample at full scale");
    state.counters["rms_spread_db"] = *hi - *lo;
    state.counters["key_peak_dbfs"] = key.peakDb;
    state.counters["chord_peak_dbfs"] = worstChord;
    state.counters["full_scale"] = clipped ? 1 : 0;
}

BENCHMARK(BM_Loudness)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace clavora::bench
