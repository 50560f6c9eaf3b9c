#include "platform/audio/fluidsynth/SoundFontLoad.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/audio/Pcm.h"
#include "platform/audio/SoundFontChoice.h"

namespace clavora {

namespace {

// One piano key at the program's velocity (112) on middle C: RMS over its first 400 ms,
// in dBFS. The game sounds are made as loud as this (bench/sound/bench_level.cpp), as a
// key of TimGM6mb sounded at the gain of 2.2 it was tuned for; other SoundFonts differ
// by several dB (FluidR3_GM's grand is 4 dB louder), so each is brought to it.
constexpr double kKeyLevelDb = -18.8;
constexpr double kBaseGain = 2.2;
constexpr int kMeasureFrames = kAudioRate * 400 / 1000;

bool HasPresets(fluid_sfont_t* sfont) {
    fluid_sfont_iteration_start(sfont);
    return fluid_sfont_iteration_next(sfont) != nullptr;
}

// The level of middle C on the default program at the gain set now; -200 when silent.
double KeyLevelDb(fluid_synth_t* synth) {
    std::vector<float> left(kMeasureFrames), right(kMeasureFrames);
    fluid_synth_noteon(synth, 0, 60, 112);
    fluid_synth_write_float(synth, kMeasureFrames, left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_noteoff(synth, 0, 60);
    double sum = 0;
    for (int i = 0; i < kMeasureFrames; ++i) sum += left[i] * left[i] + right[i] * right[i];
    // What is left of the reverberation dies away before anyone hears it.
    fluid_synth_all_sounds_off(synth, -1);
    fluid_synth_write_float(synth, kMeasureFrames, left.data(), 0, 1, right.data(), 0, 1);
    return sum > 0 ? 10 * std::log10(sum / (2.0 * kMeasureFrames)) : -200;
}

}  // namespace

fluid_settings_t* NewSynthSettings() {
    for (int level = 0; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return nullptr;
    fluid_settings_setnum(settings, "synth.sample-rate", kAudioRate);
    fluid_settings_setnum(settings, "synth.gain", kBaseGain);
    // The window's and the MIDI input's threads call the synthesizer; FluidSynth's lock
    // keeps them apart. Its rendering, on the audio thread, takes no lock: the voices
    // reach it through a queue of its own, so a thread that holds the lock while it reads
    // an instrument's samples never makes the sound wait.
    fluid_settings_setint(settings, "synth.threadsafe-api", 1);
    // A sampled General MIDI set is 140 MB; only the programs in use are read.
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    return settings;
}

fluid_synth_t* NewSynth(fluid_settings_t* settings, const std::string& path,
                        const std::atomic<bool>& abandon, std::string& why) {
    why.clear();
    // A broken file is told apart before FluidSynth's loaders try it (and write their
    // own complaints to standard error).
    if (!FileHoldsSoundFont(path.c_str(), why)) return nullptr;
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) {
        why = "the synthesizer could not be made";
        return nullptr;
    }
    // Reading the file selects the default program on every channel, which reads its
    // samples (and the drum kit's on channel 10).
    const int id = fluid_synth_sfload(synth, path.c_str(), 1);
    fluid_sfont_t* sfont = id == FLUID_FAILED ? nullptr : fluid_synth_get_sfont_by_id(synth, id);
    if (!sfont || !HasPresets(sfont)) {
        why = sfont ? "it holds no instrument" : "not a SoundFont the synthesizer can read";
        delete_fluid_synth(synth);
        return nullptr;
    }
    // The presets stay in memory for the whole run, so that choosing one reads nothing.
    for (int program : kPreloadPrograms) {
        if (abandon.load()) break;
        fluid_synth_pin_preset(synth, id, 0, program);
    }
    if (abandon.load()) {
        delete_fluid_synth(synth);
        return nullptr;
    }
    const double level = KeyLevelDb(synth);
    if (level > -80) {
        const double gain = kBaseGain * std::pow(10.0, (kKeyLevelDb - level) / 20.0);
        fluid_synth_set_gain(synth, static_cast<float>(std::clamp(gain, 0.1, 10.0)));
    }
    return synth;
}

}  // namespace clavora
