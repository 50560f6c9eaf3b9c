// How fast a key sounds, measured on the real synthesizer with the real SoundFont and
// the audio callback's own rendering, driven buffer by buffer without a sound card:
//
// - KeyToSound: from MidiInProc receiving a Note On, or from OnLButtonDown on a key,
//   to the note's first sample leaving the audio callback, for keys across the piano
//   played at 16 moments spread over a buffer period, with the synthesizer awake or
//   asleep (skipped after 2 s of silence). In stream frames (the wait for the next
//   callback plus the synthesizer's onset inside the buffer) and in milliseconds (those
//   frames, plus the handler's time until the synthesizer had the note, plus the time
//   the callback took to render). Beside the buffer length: the floor any key pays.
// - MidiInToSynth: a message handed in by the MIDI system's thread until the
//   synthesizer has it (queue, delivery thread, window lock, MidiInProc), beside one
//   uncontended lock and unlock of the window lock; also with frames composed at 33 per
//   second on another thread, as the window does.
// - RenderBuffer: what one audio callback costs, as a share of its period.
//
//   cmake --build build --target clavora_bench_sound && build/clavora_bench_sound
#include <benchmark/benchmark.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "support/SoundRig.h"
#include "input/Commands.h"
#include "piano/Keys.h"
#include "platform/window/WindowLock.h"

namespace clavora::bench {
namespace {

constexpr int kPeriodFrames = AudioOut::kBufferFrames;
constexpr double kFrameMs = 1000.0 / kAudioRate;
constexpr int kPositionStep = 16;
constexpr int kNotes[] = {21, 45, 60, 75, 84, 108};  // A0 .. C8, one black key
// More than the 2 s of silence after which the callback stops rendering the synthesizer.
constexpr int kAsleepBuffers = 5 * kAudioRate / (2 * kPeriodFrames);

struct Point {
    int x = -1, y = -1;
};

// A point of the keyboard that a click turns into this key: the middle of the key's
// run of pixels on the row of the lower half (white keys) or upper half (black keys).
Point ClickPointOf(int key) {
    for (int y : {490, 440}) {
        int first = -1, last = -1;
        for (int x = kKeyboardRect.x0; x < kKeyboardRect.x1; ++x) {
            if (KeyAtPoint(x, y) != key) continue;
            if (first < 0) first = x;
            last = x;
        }
        if (first >= 0) return {(first + last) / 2, y};
    }
    return {};
}

struct Figures {
    std::vector<double> frames, ms, onset, handlerUs, renderUs;
};

// One key played `position` frames into a buffer period; false when it never sounded.
bool PlayOnce(SoundRig& rig, bool click, int note, int position, Figures& f) {
    SynthPlatform& platform = rig.Platform();
    const uint32_t before = platform.reached.load(std::memory_order_acquire);
    const int64_t start = NowNs();
    if (click) {
        const Point p = ClickPointOf(note - 21);
        if (p.x < 0) return false;
        std::lock_guard<std::mutex> hold(WindowLock());
        rig.Dlg().OnLButtonDown(p.x, p.y);
    } else {
        DeliverMidiIn(&MidiInProc, 0, PackShortMsg(0x90, static_cast<uint32_t>(note), 100));
    }
    if (platform.reached.load(std::memory_order_acquire) == before) return false;
    const double handlerNs = static_cast<double>(platform.reachedNs.load() - start);

    int16_t buf[2 * kPeriodFrames];
    for (int silent = 0; silent < 100; ++silent) {
        const int64_t r0 = NowNs();
        rig.RenderBuffer(buf);
        const double renderNs = static_cast<double>(NowNs() - r0);
        const int onset = FirstSoundingFrame(buf, kPeriodFrames);
        if (onset < 0) continue;
        const int frames = KeyToSoundFrames(position, silent, onset);
        f.frames.push_back(frames);
        f.ms.push_back(frames * kFrameMs + (handlerNs + renderNs) / 1e6);
        f.onset.push_back(onset);
        f.handlerUs.push_back(handlerNs / 1e3);
        f.renderUs.push_back(renderNs / 1e3);
        return true;
    }
    return false;
}

void BM_KeyToSound(benchmark::State& state) {
    const bool click = state.range(0) != 0;
    const bool asleep = state.range(1) != 0;
    SoundRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no General MIDI SoundFont: install timgm6mb-soundfont");
        return;
    }
    Figures f;
    int16_t buf[2 * kPeriodFrames];
    for (auto _ : state) {
        for (int note : kNotes) {
            for (int position = 0; position < kPeriodFrames; position += kPositionStep) {
                if (asleep)
                    for (int i = 0; i < kAsleepBuffers; ++i) rig.RenderBuffer(buf);
                if (!PlayOnce(rig, click, note, position, f)) {
                    state.SkipWithError("a key did not sound within 100 buffers");
                    return;
                }
                DeliverMidiIn(&MidiInProc, 0, PackShortMsg(0x90, static_cast<uint32_t>(note), 0));
                if (!rig.RenderUntilSilent(8)) {
                    state.SkipWithError("a released key did not fall silent");
                    return;
                }
            }
        }
    }
    const Spread frames = SpreadOf(f.frames), ms = SpreadOf(f.ms), onset = SpreadOf(f.onset);
    const Spread handler = SpreadOf(f.handlerUs), render = SpreadOf(f.renderUs);
    state.counters["buffer_frames"] = kPeriodFrames;
    state.counters["buffer_ms"] = kPeriodFrames * kFrameMs;
    state.counters["median_frames"] = frames.median;
    state.counters["worst_frames"] = frames.worst;
    state.counters["median_ms"] = ms.median;
    state.counters["worst_ms"] = ms.worst;
    state.counters["onset_max_frames"] = onset.worst;
    state.counters["handler_max_us"] = handler.worst;
    state.counters["render_max_us"] = render.worst;
    state.SetLabel(std::string(click ? "OnLButtonDown" : "MidiInProc") +
                   (asleep ? ", synthesizer asleep" : ", synthesizer awake"));
}

BENCHMARK(BM_KeyToSound)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"click", "asleep"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Composes frames at the window's pace under the window lock until stopped.
class WindowThread {
public:
    explicit WindowThread(CPianoDlg& dlg)
        : thread_([this, &dlg] {
              while (!stop_.load()) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(30));
                  std::lock_guard<std::mutex> hold(WindowLock());
                  dlg.OnTimer();
              }
          }) {}
    ~WindowThread() {
        stop_.store(true);
        thread_.join();
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_MidiInToSynth(benchmark::State& state) {
    SoundRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no General MIDI SoundFont: install timgm6mb-soundfont");
        return;
    }
    MidiInput input;
    input.OpenWithoutPorts(&MidiInProc, 0);
    std::unique_ptr<WindowThread> window;
    if (state.range(0) != 0) window = std::make_unique<WindowThread>(rig.Dlg());
    SynthPlatform& platform = rig.Platform();
    std::vector<unsigned char> bytes{0x90, 60, 100};
    std::vector<double> us;
    us.reserve(1 << 16);
    int16_t buf[2 * kPeriodFrames];
    bool on = true;
    for (auto _ : state) {
        bytes[2] = on ? 100 : 0;
        const uint32_t before = platform.reached.load(std::memory_order_acquire);
        const int64_t start = NowNs();
        input.Inject(bytes);
        while (platform.reached.load(std::memory_order_acquire) == before) {
            if (NowNs() - start > 1'000'000'000) {
                state.SkipWithError("a message did not reach the synthesizer within 1 s");
                return;
            }
            // On a machine of two cores the delivery thread may need this one.
            std::this_thread::yield();
        }
        const double ns = static_cast<double>(platform.reachedNs.load() - start);
        state.SetIterationTime(ns / 1e9);
        us.push_back(ns / 1e3);
        // The synthesizer's voices end only as it renders, as between real messages.
        if (!on) rig.RenderBuffer(buf);
        on = !on;
    }
    const Spread s = SpreadOf(us);
    state.counters["median_us"] = s.median;
    state.counters["p99_us"] = us[us.size() * 99 / 100];
    state.counters["worst_us"] = s.worst;
    state.SetLabel(window ? "frames composed meanwhile" : "window idle");
}

BENCHMARK(BM_MidiInToSynth)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("frames")
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

void BM_UncontendedWindowLock(benchmark::State& state) {
    std::mutex& lock = WindowLock();
    for (auto _ : state) {
        lock.lock();
        benchmark::ClobberMemory();
        lock.unlock();
    }
}

BENCHMARK(BM_UncontendedWindowLock)->Unit(benchmark::kNanosecond);

// One audio callback: 0 synthesizer asleep, 1 awake and silent, 2 one key sounding,
// 3 ten keys sounding. Keys are struck again every 0.75 s so that they keep sounding.
void BM_RenderBuffer(benchmark::State& state) {
    const int what = static_cast<int>(state.range(0));
    SoundRig rig;
    if (!rig.Ready()) {
        state.SkipWithError("no General MIDI SoundFont: install timgm6mb-soundfont");
        return;
    }
    int16_t buf[2 * kPeriodFrames];
    if (what == 0)
        for (int i = 0; i < kAsleepBuffers; ++i) rig.RenderBuffer(buf);
    const int keys = what == 2 ? 1 : what == 3 ? 10 : 0;
    AudioOut& audio = rig.Audio();
    int n = 0;
    int64_t spent = 0;
    for (auto _ : state) {
        if (n++ % 128 == 0) {
            // A controller that changes nothing keeps an idle synthesizer awake.
            if (what == 1) audio.ShortMessage(PackShortMsg(0xB0, 7, 100));
            for (int k = 0; k < keys; ++k) {
                const auto note = static_cast<uint32_t>(48 + 3 * k);
                audio.ShortMessage(PackShortMsg(0x90, note, 0));
                audio.ShortMessage(PackShortMsg(0x90, note, kNoteVelocity));
            }
        }
        const int64_t r0 = NowNs();
        rig.RenderBuffer(buf);
        spent += NowNs() - r0;
        benchmark::DoNotOptimize(buf);
    }
    const double periodNs = kPeriodFrames * kFrameMs * 1e6;
    state.counters["period_pct"] = 100.0 * static_cast<double>(spent) /
                                   static_cast<double>(state.iterations()) / periodNs;
    static const char* const kLabels[] = {"synthesizer asleep", "awake, silent", "one key",
                                          "ten keys"};
    state.SetLabel(kLabels[what]);
}

BENCHMARK(BM_RenderBuffer)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace clavora::bench

BENCHMARK_MAIN();
