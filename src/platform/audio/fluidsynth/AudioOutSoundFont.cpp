// Which SoundFont AudioOut plays, and the hand-over from one synthesizer to the next:
// at start the machine's choice, loaded by the loading thread; later a SoundFont
// dropped on the window, loaded on a thread of its own while the old one plays on.
#include <fluidsynth.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/audio/SoundFontChoice.h"
#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/audio/fluidsynth/SoundFontLoad.h"
#include "platform/common/Timing.h"

namespace clavora {

void AudioOut::EnsureSettings() {
    if (!m_settings) m_settings = NewSynthSettings();
}

bool AudioOut::LoadWithoutDevice() {
    if (m_synth.load()) return true;
    EnsureSettings();
    return !m_loader.joinable() && LoadSynth();
}

bool AudioOut::LoadSynth() {
    std::string path;
    fluid_synth_t* synth = CreateSynth(path);
    if (!synth) return false;
    Publish(synth, path, true);
    return true;
}

fluid_synth_t* AudioOut::CreateSynth(std::string& path) {
    if (!m_settings) return nullptr;
    const SoundFontFacts facts = FindSoundFonts();
    for (const std::string& candidate : SoundFontOrder(facts)) {
        if (m_abandon.load()) break;
        std::string why;
        if (fluid_synth_t* synth = NewSynth(m_settings, candidate, m_abandon, why)) {
            path = candidate;
            return synth;
        }
        // The user named this one: say why another plays.
        if (!why.empty() && candidate == facts.fromUser)
            std::fprintf(stderr, "clavora: CLAVORA_SOUNDFONT=%s: %s; playing the next SoundFont\n",
                         candidate.c_str(), why.c_str());
    }
    return nullptr;
}

void AudioOut::Publish(fluid_synth_t* synth, const std::string& path, bool onlyFirst) {
    fluid_synth_t* old = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_queue.Senders());
        if (onlyFirst && m_synth.load()) {
            delete_fluid_synth(synth);
            return;
        }
        // Whatever was played so far: the programs chosen, the pedal, the notes held.
        m_backlog.Replay([&](const SynthEvent& e) { Apply(synth, e); });
        m_queue.Discard();
        old = m_synth.exchange(synth);
        m_soundFont = path;
        m_ready.store(true, std::memory_order_release);
    }
    Sent();
    if (!old) {
        static std::atomic<bool> marked{false};
        TimingLog().MarkOnce("synth-ready", marked);
        return;
    }
    // The callback may still be rendering the old one, for a buffer at the most.
    while (m_rendering.load() == old) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    delete_fluid_synth(old);
}

void AudioOut::LoadSoundFont(const char* path) {
    if (m_dropBusy.exchange(true)) {
        std::fprintf(stderr, "clavora: %s: another SoundFont is still loading; try again\n", path);
        return;
    }
    if (m_dropLoader.joinable()) m_dropLoader.join();
    EnsureSettings();
    m_dropLoader = std::thread([this, file = std::string(path)] {
        // As the first SoundFont: below the window, which goes on meanwhile.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
        ReplaceSoundFont(file);
        m_dropBusy.store(false);
    });
}

bool AudioOut::ReplaceSoundFont(const std::string& path) {
    EnsureSettings();
    std::string why = "the synthesizer could not be made";
    fluid_synth_t* synth = m_settings ? NewSynth(m_settings, path, m_abandon, why) : nullptr;
    if (!synth) {
        if (!why.empty())
            std::fprintf(stderr, "clavora: %s: not used as the SoundFont: %s; the sound stays as it was\n",
                         path.c_str(), why.c_str());
        return false;
    }
    Publish(synth, path, false);
    std::fprintf(stderr, "clavora: playing the SoundFont %s\n", path.c_str());
    return true;
}

std::string AudioOut::SoundFontPlaying() const {
    std::lock_guard<std::mutex> hold(m_queue.Senders());
    return m_soundFont;
}

}  // namespace clavora
