// The time to compose and show one frame in the middle of a game, at 1x and at 2x (a
// 1600 x 1040 back buffer from the 2x art), beside the time of one plain copy of the
// back buffer at each scale: copies are made only where they change something, so a
// frame should cost well under one plain copy at either scale.
//
//   cmake --build build --target clavora_bench && build/clavora_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "support/SyntheticArt.h"
#include "game/Game.h"
#include "raster/DeviceScale.h"

namespace clavora::test {
namespace {

// A piano-mode game asking its fourth note with three more on the staff, ten keys held
// (neighbours joined, black keys among them), and the instrument marker flashing.
class Scene {
public:
    Scene() {
        LoadBestRecords();
        platform_.presentChangesOnly = true;
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

    // whole: the back buffer is taken as unknown, so that the frame is made and shown in
    // full, as the first one and one after the window system lost the picture are.
    void Frame(bool whole = false) {
        if (whole && !dlg_->m_bmpBack.IsNull()) dlg_->m_bmpBack.SetPixel(0, 0, 0);
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

// Bitmaps made while it lives are at scale device pixels a window pixel.
class AtScale {
public:
    explicit AtScale(int scale) { SetDeviceScale(scale); }
    ~AtScale() {
        SetDeviceScale(1);
        ForgetArtScales();
    }
    AtScale(const AtScale&) = delete;
    AtScale& operator=(const AtScale&) = delete;
};

void BM_ComposeFrame(benchmark::State& state) {
    const AtScale scale(static_cast<int>(state.range(0)));
    Scene scene;
    state.SetLabel(scene.RealArt() ? "real art" : "synthetic art");
    const bool whole = state.range(1) != 0;
    for (auto _ : state) {
        scene.Frame(whole);
        benchmark::DoNotOptimize(scene.Shown());
        benchmark::ClobberMemory();
    }
}

void BM_PlainCopyOfTheBackBuffer(benchmark::State& state) {
    const auto scale = static_cast<size_t>(state.range(0));
    const size_t pixels = static_cast<size_t>(kFrameWidth) * kFrameHeight * scale * scale;
    std::vector<uint32_t> from(pixels, 0x00204060), to(pixels);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), pixels * sizeof(uint32_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_ComposeFrame)->ArgsProduct({{1, 2}, {0, 1}})->ArgNames({"scale", "whole"})->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainCopyOfTheBackBuffer)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace clavora::test

BENCHMARK_MAIN();
