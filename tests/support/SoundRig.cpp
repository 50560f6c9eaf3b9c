#include "support/SoundRig.h"

#include <algorithm>

#include "game/Game.h"

namespace clavora::bench {

int FirstSoundingFrame(const int16_t* samples, int frames) {
    for (int i = 0; i < frames; ++i)
        if (samples[2 * i] != 0 || samples[2 * i + 1] != 0) return i;
    return -1;
}

Spread SpreadOf(std::vector<double>& values) {
    Spread s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.worst = values.back();
    return s;
}

SoundRig::SoundRig() {
    ready_ = audio_.LoadWithoutDevice();
    LoadBestRecords();
    dlg_ = std::make_unique<CPianoDlg>(platform_);
    g_pMainDlg = dlg_.get();
    // As the window starts: frame clock, MIDI input and the synthesizer opened.
    dlg_->OnInitDialog();
    ready_ = ready_ && RenderUntilSilent(8);
}

SoundRig::~SoundRig() {
    g_pMainDlg = nullptr;
    dlg_.reset();
}

bool SoundRig::RenderUntilSilent(int quiet) {
    int16_t buf[2 * AudioOut::kBufferFrames];
    constexpr int kLimit = 20 * kAudioRate / AudioOut::kBufferFrames;
    for (int n = 0, run = 0; n < kLimit; ++n) {
        RenderBuffer(buf);
        run = FirstSoundingFrame(buf, AudioOut::kBufferFrames) < 0 ? run + 1 : 0;
        if (run >= quiet) return true;
    }
    return false;
}

}  // namespace clavora::bench
