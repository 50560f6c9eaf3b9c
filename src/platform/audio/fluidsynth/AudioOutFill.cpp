// The sound's side of the outputs: which outputs to try, the fill they call, which rests
// while nothing sounds, and the wake-up that ends a rest.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fluidsynth.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/audio/AudioChoice.h"
#include "platform/audio/fluidsynth/AudioOut.h"
#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"

namespace clavora {

void AudioOut::Start() {
    if (m_loader.joinable()) return;
    const std::span<const AudioBackendEntry> table = AudioBackendTable();
    std::vector<std::string> names;
    for (const AudioBackendEntry& entry : table) names.emplace_back(entry.name);
    const AudioChoice choice =
        ChooseAudioOutputs(names, [](const char* name) { return std::getenv(name); });
    if (!choice.complaint.empty()) std::fprintf(stderr, "%s\n", choice.complaint.c_str());
    std::vector<std::unique_ptr<AudioBackend>> outputs;
    for (int i : choice.order) outputs.push_back(table[static_cast<size_t>(i)].make());
    m_keeper.Start(std::move(outputs));
    EnsureSettings();
    m_loader = std::thread(&AudioOut::LoadInBackground, this);
}

AudioOut::~AudioOut() {
    m_abandon.store(true);
    Wake();
    EndRest();
    if (m_loader.joinable()) m_loader.join();
    if (m_dropLoader.joinable()) m_dropLoader.join();
    // Closing the output waits for a running fill; after it none runs again.
    m_keeper.Stop();
    if (fluid_synth_t* synth = m_synth.exchange(nullptr)) delete_fluid_synth(synth);
    if (m_settings) delete_fluid_settings(m_settings);
}

void AudioOut::LoadInBackground() {
    // The SoundFont loads at a lower priority than the window: on a busy machine the
    // window's first frame comes first, and the sound a moment later. It loads with no
    // output open too: a server or card that comes later plays at once.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
    LoadSynth();
}

void AudioOut::Wake() {
    // Sequentially consistent: either the fill sees the new count before it rests (or
    // its stream pauses), or this sees it resting and wakes it.
    m_wakeups.fetch_add(1);
    if (m_resting.load()) m_wakeups.notify_all();
    if (m_paused.exchange(false)) m_keeper.Resume();
}

void AudioOut::EndRest() {
    if (!m_resting.load()) return;
    // For a moment the fill does not rest again, so that the output's loop gets round
    // to what its server said meanwhile.
    m_noRestUntilNs.store(SteadyNs() + kLookAroundNs);
    m_wakeups.fetch_add(1);
    m_wakeups.notify_all();
}

bool AudioOut::MayPause() {
    // As RestUntilWoken: paused first, then the count, so that a sender either finds
    // it paused (and resumes the stream) or has moved the count on (no pause).
    m_paused.store(true);
    if (m_wakeups.load() == m_idleSeen.load() && !m_abandon.load()) return true;
    m_paused.store(false);
    return false;
}

void AudioOut::RestUntilWoken(uint32_t seen) {
    m_resting.store(true);
    while (m_wakeups.load() == seen && !m_abandon.load()) m_wakeups.wait(seen);
    m_resting.store(false);
}

bool AudioOut::Fill(uint8_t* stream, int length, bool mayRest) {
    // Asleep with no sound playing and none asked for: everything rendered so far has
    // left as silence, so the device may starve until the next message or sound. The
    // callback then renders at once, and that message's onset comes out in this buffer.
    // The count is read first: a sender bumps it after its message or sound is posted.
    const uint32_t wakeups = m_wakeups.load();
    const bool idle = m_silentFrames >= SilenceBeforeIdle() && !m_playing &&
                      m_playRequest.load(std::memory_order_acquire) == m_playTaken &&
                      m_messages.load(std::memory_order_acquire) == m_messagesSeen;
    if (idle && mayRest && SteadyNs() >= m_noRestUntilNs.load()) RestUntilWoken(wakeups);
    // A caller that may not wait pauses its stream instead, unless woken since.
    if (idle && !mayRest) m_idleSeen.store(wakeups);
    auto* out = reinterpret_cast<int16_t*>(stream);
    const auto frames = static_cast<size_t>(length) / 4;
    Render(out, frames);
    m_callbacks.fetch_add(1, std::memory_order_relaxed);
    if (std::any_of(out, out + 2 * frames, [](int16_t v) { return v != 0; }))
        m_audibleCallbacks.fetch_add(1, std::memory_order_relaxed);
    return idle;
}

}  // namespace clavora
