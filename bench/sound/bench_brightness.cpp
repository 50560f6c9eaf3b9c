// How bright the piano sounds: the share of a key's energy above 4 kHz in its first
// 400 ms, in dB, for C3, C4, C5 and C6 at the program's velocity (112), rendered
//
// - through the program's own synthesizer and audio callback (its settings, gain and
//   limiter) on the SoundFont it chose, and on TimGM6mb, the SoundFont it played before;
// - through FluidSynth with nothing but its default settings, on each of the two: what
//   the SoundFont itself gives.
//
// Goals: the program's figure within 6 dB of the SoundFont's own at every note (nothing
// in the program dulls it) and at least 20 dB above TimGM6mb's.
//
//   build/clavora_bench_sound --benchmark_filter=Brightness
#include <benchmark/benchmark.h>
#include <fluidsynth.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "piano/Keys.h"
#include "platform/audio/fluidsynth/AudioOut.h"

namespace clavora::bench {
namespace {

constexpr const char* kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int kNotes[4] = {48, 60, 72, 84};
constexpr const char* kNames[4] = {"C3", "C4", "C5", "C6"};
constexpr int kVelocity = 112;
constexpr int kFrames = kAudioRate * 400 / 1000;
constexpr size_t kFftSize = 32768;  // the 400 ms, padded with silence

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Energy above 4 kHz over all of it, in dB, of the mono sum of left and right.
double ShareAbove4kHz(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<std::complex<double>> a(kFftSize);
    for (size_t i = 0; i < left.size() && i < kFftSize; ++i) a[i] = 0.5 * (left[i] + right[i]);
    Fft(a);
    double high = 0, all = 0;
    for (size_t i = 1; i < kFftSize / 2; ++i) {
        const double e = std::norm(a[i]);
        all += e;
        if (static_cast<double>(i) * kAudioRate / kFftSize > 4000) high += e;
    }
    return all > 0 && high > 0 ? 10 * std::log10(high / all) : -200;
}

// Through the program's synthesizer, callback and limiter, buffer by buffer.
bool ThroughProgram(AudioOut& audio, double* out) {
    int16_t buf[2 * AudioOut::kBufferFrames];
    for (int k = 0; k < 4; ++k) {
        audio.ShortMessage(PackShortMsg(0x90, static_cast<uint32_t>(kNotes[k]), kVelocity));
        std::vector<float> left, right;
        while (static_cast<int>(left.size()) < kFrames) {
            audio.RenderByHand(buf, AudioOut::kBufferFrames);
            for (int i = 0; i < AudioOut::kBufferFrames; ++i) {
                left.push_back(buf[2 * i] / 32768.0f);
                right.push_back(buf[2 * i + 1] / 32768.0f);
            }
        }
        left.resize(kFrames);
        right.resize(kFrames);
        audio.ShortMessage(PackShortMsg(0x90, static_cast<uint32_t>(kNotes[k]), 0));
        for (int i = 0; i < 3 * kAudioRate / AudioOut::kBufferFrames; ++i)
            audio.RenderByHand(buf, AudioOut::kBufferFrames);
        out[k] = ShareAbove4kHz(left, right);
    }
    return true;
}

// Through FluidSynth at its defaults; false when the SoundFont does not load.
bool PlainFluidSynth(const std::string& path, double* out) {
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kAudioRate);
    fluid_synth_t* synth = new_fluid_synth(settings);
    const bool loaded = fluid_synth_sfload(synth, path.c_str(), 1) != FLUID_FAILED;
    for (int k = 0; loaded && k < 4; ++k) {
        std::vector<float> left(kFrames), right(kFrames), tail(3 * kAudioRate);
        fluid_synth_noteon(synth, 0, kNotes[k], kVelocity);
        fluid_synth_write_float(synth, kFrames, left.data(), 0, 1, right.data(), 0, 1);
        fluid_synth_noteoff(synth, 0, kNotes[k]);
        fluid_synth_write_float(synth, 3 * kAudioRate, tail.data(), 0, 1, tail.data(), 0, 1);
        out[k] = ShareAbove4kHz(left, right);
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return loaded;
}

void Print(const char* what, const double* v) {
    std::printf("%-46s", what);
    for (int k = 0; k < 4; ++k) std::printf("  %s %6.1f", kNames[k], v[k]);
    std::printf("  dB\n");
}

void BM_Brightness(benchmark::State& state) {
    for (int level = 0; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    AudioOut audio;
    if (!audio.LoadWithoutDevice()) {
        state.SkipWithError("no General MIDI SoundFont: install fluid-soundfont-gm");
        return;
    }
    audio.OpenMidi();
    const std::string chosen = audio.SoundFontPlaying();
    double program[4], own[4], oldProgram[4], oldOwn[4];
    bool haveOld = false;
    for (auto _ : state) {
        ThroughProgram(audio, program);
        PlainFluidSynth(chosen, own);
        haveOld = PlainFluidSynth(kTimGM6mb, oldOwn) && audio.ReplaceSoundFont(kTimGM6mb) &&
                  ThroughProgram(audio, oldProgram);
    }
    std::printf("energy above 4 kHz in the first 0.4 s, velocity %d:\n", kVelocity);
    Print(("the program, " + chosen).c_str(), program);
    Print("  FluidSynth's defaults, same SoundFont", own);
    double worstOwn = 0, leastAbove = 1e9;
    for (int k = 0; k < 4; ++k) worstOwn = std::max(worstOwn, std::fabs(program[k] - own[k]));
    if (haveOld) {
        Print("the program, TimGM6mb", oldProgram);
        Print("  FluidSynth's defaults, TimGM6mb", oldOwn);
        for (int k = 0; k < 4; ++k) leastAbove = std::min(leastAbove, program[k] - oldProgram[k]);
    }
    std::printf("furthest from the SoundFont's own %.1f dB (goal at most 6); least above "
                "TimGM6mb %.1f dB (goal at least 20)\n", worstOwn, haveOld ? leastAbove : 0.0);
    state.counters["from_own_db"] = worstOwn;
    if (haveOld) state.counters["above_timgm6mb_db"] = leastAbove;
    audio.CloseMidi();
}

BENCHMARK(BM_Brightness)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace clavora::bench
