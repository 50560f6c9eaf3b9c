#include "platform/sdl/PipeWireOut.h"

#include <sched.h>

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <mutex>

#include "platform/sdl/Realtime.h"
#include "platform/sdl/Timing.h"

namespace clavora {

namespace {

constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo
// The quantum asked of the graph: one callback buffer, 5.8 ms, which a desktop graph
// at 48000 Hz runs as 256 frames (5.3 ms).
constexpr const char* kNodeLatency = "256/44100";

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

}  // namespace

PipeWireOut::PipeWireOut(Fill fill, MayPause mayPause, void* user, Timing* timing)
    : m_fill(fill), m_mayPause(mayPause), m_user(user), m_timing(timing) {}

PipeWireOut::~PipeWireOut() { Close(); }

bool PipeWireOut::Open(int rate) {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    m_loop = pw_thread_loop_new("clavora-sound", nullptr);
    if (!m_loop) return false;
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
        "Music", PW_KEY_NODE_LATENCY, kNodeLatency, PW_KEY_APP_NAME, "Clavora", nullptr);
    pw_thread_loop_lock(m_loop);
    // Fails at once where no PipeWire server runs: the caller then tries the next.
    m_stream = pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), "Piano", props, Events(),
                                    this);
    bool ok = m_stream != nullptr && pw_thread_loop_start(m_loop) == 0;
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
    pw_thread_loop_unlock(m_loop);
    if (!ok) {
        Close();
        return false;
    }
    if (m_timing) m_timing->Mark("audio-output-pipewire");
    return true;
}

void PipeWireOut::Close() {
    if (!m_loop) return;
    pw_thread_loop_stop(m_loop);
    if (m_stream) pw_stream_destroy(m_stream);
    m_stream = nullptr;
    pw_thread_loop_destroy(m_loop);
    m_loop = nullptr;
}

void PipeWireOut::Resume() {
    if (!m_loop) return;
    pw_thread_loop_lock(m_loop);
    if (m_paused && m_stream) pw_stream_set_active(m_stream, true);
    m_paused = false;
    pw_thread_loop_unlock(m_loop);
}

void PipeWireOut::OnStateChangedThunk(void* self, int, int, const char*) {
    auto* out = static_cast<PipeWireOut*>(self);
    pw_thread_loop_signal(out->m_loop, false);
}

void PipeWireOut::OnProcessThunk(void* self) {
    auto* out = static_cast<PipeWireOut*>(self);
    if (!out->m_raised) {
        out->m_raised = true;
        // PipeWire's data thread is real-time where its module could make it so.
        if (sched_getscheduler(0) == SCHED_OTHER) {
            const RealtimeGrant grant = MakeThisThreadRealtime();
            if (out->m_timing) out->m_timing->Mark(RealtimeGrantName(grant));
        } else if (out->m_timing) {
            out->m_timing->Mark("audio-realtime-pipewire");
        }
    }
    pw_buffer* b = pw_stream_dequeue_buffer(out->m_stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    if (!d.data) {
        pw_stream_queue_buffer(out->m_stream, b);
        return;
    }
    uint32_t frames = d.maxsize / kFrameBytes;
    if (b->requested > 0 && b->requested < frames) frames = static_cast<uint32_t>(b->requested);
    const bool idle = out->m_fill(out->m_user, static_cast<uint8_t*>(d.data),
                                  static_cast<int>(frames * kFrameBytes));
    d.chunk->offset = 0;
    d.chunk->stride = kFrameBytes;
    d.chunk->size = frames * kFrameBytes;
    pw_stream_queue_buffer(out->m_stream, b);
    // Pausing is the main loop's work, never the data thread's.
    if (idle && !out->m_pausing.exchange(true))
        pw_loop_invoke(pw_thread_loop_get_loop(out->m_loop), &PipeWireOut::DoPause, 0, nullptr, 0,
                       false, out);
}

int PipeWireOut::DoPause(spa_loop*, bool, uint32_t, const void*, size_t, void* self) {
    auto* out = static_cast<PipeWireOut*>(self);
    // The loop's lock is held here, as in Resume.
    if (!out->m_paused && out->m_mayPause(out->m_user)) {
        pw_stream_set_active(out->m_stream, false);
        out->m_paused = true;
    }
    out->m_pausing.store(false);
    return 0;
}

}  // namespace clavora
