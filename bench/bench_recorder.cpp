// The recorder's heaviest moments: the playback step of a frame in which a whole slot
// of 4000 events falls due at once (it must fit well inside a 30 ms frame), one
// recorded event, and saving and loading all 128 slots full (32,000 bytes each),
// which the program does once at close and once at start.
//
//   cmake --build build --target clavora_bench && build/clavora_bench --benchmark_filter=Recorder
#include <benchmark/benchmark.h>

#include <memory>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "recorder/Songs.h"

namespace clavora::test {
namespace {

class Session {
public:
    Session() {
        dlg_ = std::make_unique<CPianoDlg>(platform_);
        g_pMainDlg = dlg_.get();
        platform_.midi.reserve(8192);
    }
    ~Session() { g_pMainDlg = nullptr; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CPianoDlg& Dlg() { return *dlg_; }
    FakePlatform& Platform() { return platform_; }

    // Every slot full: presses and releases of all keys, all at tick 0.
    static void FillAllSlots() {
        for (int s = 0; s < kSongSlots; ++s)
            for (int e = 0; e < kSongEvents; ++e)
                g_aSongs[e][s] = SongEvent{static_cast<int16_t>(1 + (e / 2) % 88),
                                           static_cast<int16_t>(e % 2 ? 0 : 100), 0};
    }

private:
    TempDir dir_;
    FakePlatform platform_;
    std::unique_ptr<CPianoDlg> dlg_;
};

void BM_RecorderPlaysAFullSlotInOneFrame(benchmark::State& state) {
    Session session;
    Session::FillAllSlots();
    CPianoDlg& d = session.Dlg();
    for (auto _ : state) {
        session.Platform().midi.clear();
        d.StartPlayback();
        d.StepRecorder();
        benchmark::DoNotOptimize(d.m_nEvent);
    }
    if (d.m_nEvent != kSongEvents) state.SkipWithError("the slot was not played whole");
}
BENCHMARK(BM_RecorderPlaysAFullSlotInOneFrame)->Unit(benchmark::kMicrosecond);

void BM_RecorderRecordsOneEvent(benchmark::State& state) {
    Session session;
    CPianoDlg& d = session.Dlg();
    d.StartRecording();
    for (auto _ : state) {
        d.RecordEvent(40, 100);
        if (d.m_bRecording != 1) d.StartRecording();
    }
}
BENCHMARK(BM_RecorderRecordsOneEvent);

void BM_RecorderSavesAllSlotsFull(benchmark::State& state) {
    Session session;
    Session::FillAllSlots();
    for (auto _ : state) session.Dlg().SaveSongs();
}
BENCHMARK(BM_RecorderSavesAllSlotsFull)->Unit(benchmark::kMillisecond);

void BM_RecorderLoadsAllSlotsFull(benchmark::State& state) {
    Session session;
    Session::FillAllSlots();
    session.Dlg().SaveSongs();
    for (auto _ : state) session.Dlg().LoadSongs();
    if (!SlotHoldsSong(kSongSlots - 1)) state.SkipWithError("the songs did not load");
}
BENCHMARK(BM_RecorderLoadsAllSlotsFull)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace clavora::test
