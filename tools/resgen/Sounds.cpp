// The six game sounds, synthesized: soft bell and mallet tones, never clipping.
#include "Sounds.h"

#include <algorithm>
#include <cmath>

namespace resgen {

namespace {

constexpr double kRate = 44100;

struct Partial {
    double ratio;  // of the note's frequency
    double amp;
    double decay;  // seconds for the partial to fall to 1/e
};

// A bell-like tone: a few partials, each fading at its own pace.
const std::vector<Partial> kBell = {{1, 1.0, 0.5}, {2.0, 0.35, 0.22}, {3.01, 0.18, 0.12}, {4.2, 0.08, 0.06}};
// A soft mallet: mostly the fundamental, a woody second partial.
const std::vector<Partial> kMallet = {{1, 1.0, 0.18}, {2.0, 0.3, 0.07}, {3.0, 0.1, 0.04}};
// A rounded brass-like tone for the fanfare.
const std::vector<Partial> kHorn = {{1, 1.0, 1.2}, {2, 0.5, 1.0}, {3, 0.3, 0.8}, {4, 0.16, 0.6}, {5, 0.08, 0.5}};

double NoteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Adds one note to channel ch (or to every channel for -1) of an interleaved buffer.
void AddNote(std::vector<float>& buf, int channels, int ch, double start, double length, int midi,
             double amp, const std::vector<Partial>& timbre, double attack = 0.004, double pan = 0) {
    const double f = NoteHz(midi);
    const size_t frames = buf.size() / channels;
    const size_t first = size_t(start * kRate);
    const size_t count = std::min(frames - std::min(frames, first), size_t(length * kRate));
    for (size_t i = 0; i < count; ++i) {
        const double t = i / kRate;
        double v = 0;
        for (const Partial& p : timbre)
            v += p.amp * std::exp(-t / p.decay) * std::sin(2 * M_PI * f * p.ratio * t);
        v *= amp * std::min(1.0, t / attack);
        // Every note ends with a short fade so that it never clicks.
        const double left = length - t;
        if (left < 0.012) v *= left / 0.012;
        for (int c = 0; c < channels; ++c) {
            if (ch >= 0 && c != ch) continue;
            const double gain = channels == 2 ? (c == 0 ? 1 - pan : 1 + pan) * 0.5 + 0.25 : 1;
            buf[(first + i) * channels + c] += float(v * gain);
        }
    }
}

// Every sound is as loud as one piano key of the synthesizer: its RMS over its first
// 400 ms (silence after a shorter sound included) is -19 dBFS, as a key's is.
constexpr double kLevelDb = -19.0;
constexpr double kLevelSeconds = 0.4;

// Scales the sound to the common level and fades its last milliseconds out.
std::vector<float> Finish(std::vector<float> buf, int channels) {
    const size_t window = size_t(kLevelSeconds * kRate) * channels;
    double sum = 0;
    for (size_t i = 0; i < std::min(window, buf.size()); ++i) sum += double(buf[i]) * buf[i];
    const double rms = std::sqrt(sum / double(window));
    const double k = rms > 0 ? std::pow(10.0, kLevelDb / 20) / rms : 0;
    const size_t frames = buf.size() / channels, fade = size_t(0.006 * kRate);
    for (size_t i = 0; i < frames; ++i) {
        const double g = i + fade > frames ? double(frames - i - 1) / fade : 1;
        for (int c = 0; c < channels; ++c) buf[i * channels + c] = float(buf[i * channels + c] * k * g);
    }
    return buf;
}

std::vector<float> Silence(double seconds, int channels) {
    return std::vector<float>(size_t(std::lround(seconds * kRate)) * channels, 0.f);
}

}  // namespace

std::vector<Sound> Sounds() {
    std::vector<Sound> out;
    {   // A right answer: one quick bright ding.
        auto b = Silence(0.115, 1);
        AddNote(b, 1, -1, 0, 0.115, 88, 1, kBell, 0.002);
        out.push_back({170, 1, Finish(b, 1)});
    }
    {   // The game is done: a rising arpeggio that rings into a major chord.
        auto b = Silence(2.0, 1);
        const int notes[] = {72, 76, 79, 84};
        for (int i = 0; i < 4; ++i) AddNote(b, 1, -1, 0.12 * i, 2.0 - 0.12 * i, notes[i], 0.6, kBell);
        AddNote(b, 1, -1, 0.48, 1.52, 88, 0.35, kBell);
        out.push_back({171, 1, Finish(b, 1)});
    }
    {   // A wrong answer: two soft low mallet notes falling a tritone, left then right.
        auto b = Silence(0.435, 2);
        AddNote(b, 2, -1, 0, 0.22, 58, 1, kMallet, 0.006, -0.5);
        AddNote(b, 2, -1, 0.17, 0.265, 52, 1, kMallet, 0.006, 0.5);
        out.push_back({172, 2, Finish(b, 2)});
    }
    {   // A right answer, now and then: a quick sparkle up a major chord.
        auto b = Silence(1.0, 1);
        const int notes[] = {79, 83, 86, 91, 95};
        for (int i = 0; i < 5; ++i) AddNote(b, 1, -1, 0.055 * i, 1.0 - 0.055 * i, notes[i], 0.5, kBell, 0.002);
        out.push_back({173, 1, Finish(b, 1)});
    }
    {   // A new record: a little fanfare of horns over bells.
        auto b = Silence(1.74, 1);
        const int notes[] = {67, 72, 76};
        for (int i = 0; i < 3; ++i) AddNote(b, 1, -1, 0.14 * i, 0.16, notes[i], 0.5, kHorn, 0.015);
        for (int n : {72, 76, 79, 84}) AddNote(b, 1, -1, 0.42, 1.32, n, 0.4, kHorn, 0.02);
        for (int n : {84, 88, 91, 96}) AddNote(b, 1, -1, 0.42, 1.32, n, 0.2, kBell, 0.002);
        out.push_back({179, 1, Finish(b, 1)});
    }
    {   // A new game: two rising chimes, ready to go.
        auto b = Silence(0.374, 1);
        AddNote(b, 1, -1, 0, 0.374, 79, 0.8, kBell, 0.002);
        AddNote(b, 1, -1, 0.13, 0.244, 86, 0.8, kBell, 0.002);
        out.push_back({207, 1, Finish(b, 1)});
    }
    return out;
}

}  // namespace resgen
