#include "platform/audio/pipewire/PipeWireOut.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/common/SteadyNs.h"
#include "platform/audio/dbus/RealtimeKit.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

const pw_stream_events* Events() {
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = [](void* self, pw_stream_state old, pw_stream_state state,
                             const char* error) {
            PipeWireOut::OnStateChangedThunk(self, old, state, error);
        };
        e.process = [](void* self) { PipeWireOut::OnProcessThunk(self); };
        return e;
    }();
    return &events;
}

const pw_core_events* CoreEvents() {
    static const pw_core_events events = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = [](void* self, uint32_t id, int, int res, const char*) {
            PipeWireOut::OnCoreErrorThunk(self, id, res);
        };
        return e;
    }();
    return &events;
}

}  // namespace

PipeWireOut::PipeWireOut() = default;

PipeWireOut::~PipeWireOut() { Close(); }

bool PipeWireOut::Open(int rate, AudioSource& source) {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    std::unique_lock<std::mutex> life(m_life);
    if (m_loop) return false;
    m_loop = pw_thread_loop_new("clavora-sound", nullptr);
    if (!m_loop) return false;
    m_source = &source;
    m_raised = false;
    m_paused = false;
    m_pausing.store(false);
    m_fresh.store(true);
    m_lastTicks = 0;
    m_lastFrames = 0;
    m_rate = rate;
    m_fixedLatency = std::getenv("PIPEWIRE_LATENCY") != nullptr;
    m_latency.Start(SteadyNs(), PipeWireOut::kStartFrames);
    m_asked = PipeWireOut::kStartFrames;
    char latency[32];
    std::snprintf(latency, sizeof latency, "%d/%d", PipeWireOut::kStartFrames, rate);
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
        "Music", PW_KEY_NODE_LATENCY, latency, PW_KEY_APP_NAME, "Clavora", nullptr);
    pw_thread_loop_lock(m_loop);
    // Fails at once where no PipeWire server runs: the caller then tries the next.
    m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), "Piano", props, Events(),
                                    this);
    bool ok = m_stream != nullptr;
    if (ok) {
        m_resumeEvent =
            pw_loop_add_event(pw_thread_loop_get_loop(m_loop), &PipeWireOut::OnResumeEvent, this);
        // The server's going away comes as an error of the connection.
        if (pw_core* core = pw_stream_get_core(m_stream)) {
            m_coreHook = new spa_hook{};
            pw_core_add_listener(core, m_coreHook, CoreEvents(), this);
        }
        ok = m_resumeEvent != nullptr && pw_thread_loop_start(m_loop) == 0;
    }
    if (ok) {
        uint8_t buffer[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_audio_info_raw info{};
        info.format = SPA_AUDIO_FORMAT_S16;
        info.rate = static_cast<uint32_t>(rate);
        info.channels = 2;
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
        const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat,
                                                               &info)};
        const auto flags = static_cast<pw_stream_flags>(
            PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
        ok = pw_stream_connect(m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) == 0;
    }
    // Connected once the server has taken the format; an error, or 3 s without a
    // change, ends the wait too.
    for (int timeouts = 0; ok;) {
        const pw_stream_state state = pw_stream_get_state(m_stream, nullptr);
        if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) break;
        if (state == PW_STREAM_STATE_ERROR || timeouts == 3) ok = false;
        else if (pw_thread_loop_timed_wait(m_loop, 1) != 0) ++timeouts;
    }
    m_playing = ok;
    pw_thread_loop_unlock(m_loop);
    life.unlock();
    if (!ok) {
        Close();
        return false;
    }
    TimingLog().Mark("audio-output-pipewire");
    return true;
}

void PipeWireOut::Close() {
    std::lock_guard<std::mutex> life(m_life);
    if (!m_loop) return;
    pw_thread_loop_stop(m_loop);
    m_playing = false;
    // How far ahead of the sink the sound was filled, for the key-to-ear benchmark.
    if (m_aheadCount > 0) {
        char name[64];
        std::snprintf(name, sizeof name, "audio-ahead-mean-us-%lld-max-us-%lld",
                      static_cast<long long>(m_aheadSumNs / m_aheadCount / 1000),
                      static_cast<long long>(m_aheadMaxNs / 1000));
        TimingLog().Mark(name);
    }
    if (m_coreHook) {
        spa_hook_remove(m_coreHook);
        delete m_coreHook;
        m_coreHook = nullptr;
    }
    if (m_resumeEvent) pw_loop_destroy_source(pw_thread_loop_get_loop(m_loop), m_resumeEvent);
    m_resumeEvent = nullptr;
    if (m_stream) pw_stream_destroy(m_stream);
    m_stream = nullptr;
    pw_thread_loop_destroy(m_loop);
    m_loop = nullptr;
}

void PipeWireOut::Resume() {
    std::unique_lock<std::mutex> life(m_life, std::try_to_lock);
    if (!life.owns_lock() || !m_loop || !m_resumeEvent) return;
    // An eventfd's write: the main loop wakes and resumes the stream there.
    pw_loop_signal_event(pw_thread_loop_get_loop(m_loop), m_resumeEvent);
}

void PipeWireOut::OnResumeEvent(void* self, uint64_t) {
    auto* out = static_cast<PipeWireOut*>(self);
    // The loop's lock is held here, as in DoPause.
    if (out->m_paused && out->m_stream) {
        // The graph moved on while the stream was paused: that is no missed cycle.
        out->m_fresh.store(true);
        pw_stream_set_active(out->m_stream, true);
        TimingLog().Mark("audio-resume");
    }
    out->m_paused = false;
}

void PipeWireOut::OnStateChangedThunk(void* self, int, int state, const char* error) {
    auto* out = static_cast<PipeWireOut*>(self);
    if (TimingLog().Enabled()) {
        char name[96];
        std::snprintf(name, sizeof name, "audio-pipewire-%s%s%s",
                      pw_stream_state_as_string(static_cast<pw_stream_state>(state)),
                      error ? "-" : "", error ? error : "");
        TimingLog().Mark(name);
    }
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) out->Gone();
    pw_thread_loop_signal(out->m_loop, false);
}

void PipeWireOut::OnCoreErrorThunk(void* self, uint32_t id, int res) {
    auto* out = static_cast<PipeWireOut*>(self);
    // An error of the core object itself with a broken pipe: the connection has gone.
    if (id == PW_ID_CORE && res == -EPIPE) out->Gone();
    pw_thread_loop_signal(out->m_loop, false);
}

void PipeWireOut::Gone() {
    // Said once: the keeper closes this output and looks for another.
    if (!m_playing) return;
    m_playing = false;
    TimingLog().Mark("audio-pipewire-gone");
    m_source->Lost();
}

void PipeWireOut::OnProcessThunk(void* self) {
    auto* out = static_cast<PipeWireOut*>(self);
    if (!out->m_raised) {
        out->m_raised = true;
        // PipeWire's data thread is real-time where its module could make it so. Else it
        // is raised from the main loop: asking RealtimeKit takes a round trip on the
        // system bus, which this thread, due in the graph's cycle, cannot wait for.
        if (sched_getscheduler(0) == SCHED_OTHER) {
            out->m_dataThread = static_cast<int64_t>(syscall(SYS_gettid));
            pw_loop_invoke(pw_thread_loop_get_loop(out->m_loop), &PipeWireOut::DoRaise, 0,
                           nullptr, 0, false, out);
        } else {
            TimingLog().Mark("audio-realtime-pipewire");
        }
    }
    pw_buffer* b = pw_stream_dequeue_buffer(out->m_stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    if (!d.data) {
        pw_stream_queue_buffer(out->m_stream, b);
        return;
    }
    uint32_t frames = d.maxsize / PipeWireOut::kFrameBytes;
    if (b->requested > 0 && b->requested < frames) frames = static_cast<uint32_t>(b->requested);
    const bool idle = out->m_source->Fill(static_cast<uint8_t*>(d.data),
                                          static_cast<int>(frames * PipeWireOut::kFrameBytes), false);
    d.chunk->offset = 0;
    d.chunk->stride = PipeWireOut::kFrameBytes;
    d.chunk->size = frames * PipeWireOut::kFrameBytes;
    pw_stream_queue_buffer(out->m_stream, b);
    out->WatchCycles(idle, frames);
    // Pausing is the main loop's work, never the data thread's.
    if (idle && !out->m_pausing.exchange(true))
        pw_loop_invoke(pw_thread_loop_get_loop(out->m_loop), &PipeWireOut::DoPause, 0, nullptr, 0,
                       false, out);
}

int PipeWireOut::DoRaise(spa_loop*, bool, uint32_t, const void*, size_t, void* self) {
    const RealtimeGrant grant = MakeThreadRealtime(static_cast<PipeWireOut*>(self)->m_dataThread);
    TimingLog().Mark(RealtimeGrantName(grant));
    return 0;
}

int PipeWireOut::DoPause(spa_loop*, bool, uint32_t, const void*, size_t, void* self) {
    auto* out = static_cast<PipeWireOut*>(self);
    // The loop's lock is held here, as in Resume.
    if (!out->m_paused && out->m_source->MayPause()) {
        pw_stream_set_active(out->m_stream, false);
        out->m_paused = true;
        TimingLog().Mark("audio-pause");
    }
    out->m_pausing.store(false);
    return 0;
}

}  // namespace clavora
