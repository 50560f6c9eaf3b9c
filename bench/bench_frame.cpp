// The time to compose and show one frame in the middle of a game, beside the time of
// one plain copy of the 800 x 520 back buffer: a frame should cost under three copies
// (it makes two full-size ones itself, the background and the picture shown).
//
//   cmake --build build --target clavora_bench && build/clavora_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/PianoDlg.h"
#include "fake/FakePlatform.h"
#include "fake/SyntheticArt.h"
#include "game/Game.h"

namespace clavora::test {
namespace {

// A piano-mode game asking its fourth note with three more on the staff, ten keys held
// (neighbours joined, black keys among them), and the instrument marker flashing.
class Scene {
public:
    Scene() {
        LoadBestRecords();
        dlg_ = std::make_unique<CPianoDlg>(platform_);
        g_pMainDlg = dlg_.get();
        realArt_ = AllBitmapsLoaded(*dlg_);
        if (!realArt_) InstallSyntheticArt(*dlg_);
        CPianoDlg& d = *dlg_;
        d.m_nMode = MODE_PIANO;
        for (int i = 0; i < QUIZ_NOTES; ++i) d.m_nQuizKeys[i] = static_cast<int16_t>(15 + 2 * (i % 25));
        d.m_nQuestion = 3;
        d.m_tStart = platform_.now - 42;
        for (int key : {27, 28, 29, 30, 31, 39, 40, 41, 60, 87}) d.m_nKeyState[key] = KEY_HELD;
        d.m_nFlashMarker = 5;
        d.OnPaint();
    }
    ~Scene() { g_pMainDlg = nullptr; }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    void Frame() {
        // Keep the staff sliding and the marker flashing, as during play.
        if (dlg_->m_nScroll == 0) dlg_->m_nScroll = 75;
        if (dlg_->m_nFlashMarker == 0) dlg_->m_nFlashMarker = 5;
        dlg_->OnPaint();
    }
    bool RealArt() const { return realArt_; }
    const uint32_t* Shown() const { return platform_.frame.data(); }

private:
    TempDir dir_;
    FakePlatform platform_;
    std::unique_ptr<CPianoDlg> dlg_;
    bool realArt_ = false;
};

void BM_ComposeFrame(benchmark::State& state) {
    Scene scene;
    state.SetLabel(scene.RealArt() ? "real art" : "synthetic art");
    for (auto _ : state) {
        scene.Frame();
        benchmark::DoNotOptimize(scene.Shown());
        benchmark::ClobberMemory();
    }
}

void BM_PlainCopyOfTheBackBuffer(benchmark::State& state) {
    const size_t pixels = static_cast<size_t>(kFrameWidth) * kFrameHeight;
    std::vector<uint32_t> from(pixels, 0x00204060), to(pixels);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), pixels * sizeof(uint32_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_ComposeFrame)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainCopyOfTheBackBuffer)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace clavora::test

BENCHMARK_MAIN();
