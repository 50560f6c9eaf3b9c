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

constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo
// The quantum asked of the graph at first: one callback buffer, 5.8 ms, which a
// desktop graph at 48000 Hz runs as 256 frames (5.3 ms).
constexpr int kStartFrames = 256;

// What the data thread asks of the main loop after a missed cycle or a long calm.
struct LatencyChange {
    int frames;   // the quantum to ask for, or 0 to leave it
    int missing;  // frames a missed cycle lacked, or -1: none was missed
    int cycle;    // frames the graph now asks for each cycle, where that changed; or 0
};

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
    m_latency.Start(SteadyNs(), kStartFrames);
    m_asked = kStartFrames;
    char latency[32];
    std::snprintf(latency, sizeof latency, "%d/%d", kStartFrames, rate);
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
    uint32_t frames = d.maxsize / kFrameBytes;
    if (b->requested > 0 && b->requested < frames) frames = static_cast<uint32_t>(b->requested);
    const bool idle = out->m_source->Fill(static_cast<uint8_t*>(d.data),
                                          static_cast<int>(frames * kFrameBytes), false);
    d.chunk->offset = 0;
    d.chunk->stride = kFrameBytes;
    d.chunk->size = frames * kFrameBytes;
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

void PipeWireOut::WatchCycles(bool idle, uint32_t frames) {
    pw_time time{};
    if (pw_stream_get_time_n(m_stream, &time, sizeof time) < 0 || time.ticks == 0 ||
        time.rate.denom == 0)
        return;
    // For the timing log: what waits before the sink plays this fill's first frame, the
    // graph's delay to the device, the buffers queued in the stream (this one among
    // them) and what the resampler holds.
    if (TimingLog().Enabled()) {
        const int64_t ahead = time.delay * 1'000'000'000 * time.rate.num / time.rate.denom +
                              static_cast<int64_t>(time.queued / kFrameBytes + time.buffered) *
                                  1'000'000'000 / m_rate;
        m_aheadSumNs += ahead;
        m_aheadCount += 1;
        if (ahead > m_aheadMaxNs) m_aheadMaxNs = ahead;
    }
    const bool fresh = m_fresh.exchange(false) || m_lastTicks == 0 || time.ticks < m_lastTicks;
    const uint64_t step = time.ticks - m_lastTicks;
    // From the last fill to this one the graph ran one cycle, as long as the last fill:
    // half as long again means a cycle went by without a fill. The quantum's own
    // changes do not count, since the cycle gone by is always the last one filled.
    const bool missed = !fresh && m_lastFrames > 0 &&
                        2 * step * time.rate.num * static_cast<uint64_t>(m_rate) >
                            3 * uint64_t{m_lastFrames} * time.rate.denom;
    // What the missed cycles lacked: the graph's way since the last fill beyond that
    // fill, in our frames.
    const int missing =
        missed ? static_cast<int>(step * time.rate.num * static_cast<uint64_t>(m_rate) /
                                  time.rate.denom) - static_cast<int>(m_lastFrames)
               : 0;
    // The resampler's cycles differ by a frame or two; a change of the quantum is more.
    const int cycle = TimingLog().Enabled() && (frames > m_cycleFrames + 8 || frames + 8 < m_cycleFrames)
                          ? static_cast<int>(frames)
                          : 0;
    if (cycle != 0) m_cycleFrames = frames;
    m_lastTicks = time.ticks;
    m_lastFrames = frames;
    if (missed) m_missed.fetch_add(1, std::memory_order_relaxed);
    LatencyChange change{0, missed ? missing : -1, cycle};
    if (!m_fixedLatency) {
        const int64_t now = SteadyNs();
        if (missed ? m_latency.Underflow(now, missing) : !idle && m_latency.Calm(now))
            change.frames = m_latency.Frames();
    }
    // The graph runs in quanta of powers of two, rounding a latency asked down to one:
    // a step is asked as the power of two that holds it, and only when that changes.
    if (change.frames != 0) {
        int asked = kStartFrames;
        while (asked < change.frames) asked *= 2;
        change.frames = asked == m_asked ? 0 : asked;
        if (change.frames != 0) m_asked = asked;
    }
    if (change.missing >= 0 || change.frames != 0 || change.cycle != 0)
        pw_loop_invoke(pw_thread_loop_get_loop(m_loop), &PipeWireOut::DoSetLatency, 0, &change,
                       sizeof change, false, this);
}

int PipeWireOut::DoSetLatency(spa_loop*, bool, uint32_t, const void* data, size_t size,
                              void* self) {
    auto* out = static_cast<PipeWireOut*>(self);
    LatencyChange change{};
    if (size != sizeof change || !out->m_stream) return 0;
    std::memcpy(&change, data, sizeof change);
    if (change.missing >= 0) {
        TimingLog().Mark("audio-underflow");
        if (TimingLog().Enabled()) {
            char name[48];
            std::snprintf(name, sizeof name, "audio-missing-frames-%d", change.missing);
            TimingLog().Mark(name);
        }
    }
    if (change.cycle != 0 && TimingLog().Enabled()) {
        char name[48];
        std::snprintf(name, sizeof name, "audio-cycle-frames-%d", change.cycle);
        TimingLog().Mark(name);
    }
    if (change.frames == 0) return 0;
    char value[32];
    std::snprintf(value, sizeof value, "%d/%d", change.frames, out->m_rate);
    const spa_dict_item items[] = {SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, value)};
    const spa_dict dict = SPA_DICT_INIT(items, 1);
    pw_stream_update_properties(out->m_stream, &dict);
    if (TimingLog().Enabled()) {
        char name[48];
        std::snprintf(name, sizeof name, "audio-latency-frames-%d", change.frames);
        TimingLog().Mark(name);
    }
    return 0;
}

}  // namespace clavora
