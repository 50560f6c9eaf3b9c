#include "platform/audio/pulse/PulseOut.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/common/SteadyNs.h"
#include "platform/audio/dbus/RealtimeKit.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

constexpr size_t kFrameBytes = 4;      // 16-bit stereo
constexpr size_t kChunkFrames = 256;   // rendered at a time, as one callback buffer
// How long the server has to take the connection and the stream, in microseconds.
constexpr pa_usec_t kAnswerUs = 3'000'000;
// An underflow reported this soon after the fill rested was caused by the rest.
constexpr int64_t kRestEchoNs = 200'000'000;
// A queue that ran out longer ago than this before an underflow's notice is another story.
constexpr int64_t kRunOutNs = 200'000'000;
// Written this much longer ago than the queue is long, sound has left the server.
constexpr int64_t kPlayedOutNs = 100'000'000;

// The server keeps frames queued in all; it asks for more a quarter of that at a
// time, but no more than 4.4 ms (a key waits for the next request before it is rendered,
// so a long queue would delay it twice), and starts playing (again) as soon as one such
// piece is in.
constexpr AudioRefill kRefill{4, 64, 192};

pa_buffer_attr Attr(int frames) {
    const auto request = static_cast<uint32_t>(AudioLatency::Piece(kRefill, frames) * kFrameBytes);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(frames * kFrameBytes);
    attr.prebuf = request;
    attr.minreq = request;
    attr.fragsize = static_cast<uint32_t>(-1);
    return attr;
}

}  // namespace

PulseOut::~PulseOut() { Close(); }

bool PulseOut::Open(int rate, AudioSource& source) {
    if (m_loop) return false;
    m_source = &source;
    m_rate = rate;
    m_raised = false;
    m_lateAnswer = false;
    m_restedAtNs = 0;
    m_silentFromNs = 0;
    m_fixedLatency = std::getenv("PULSE_LATENCY_MSEC") != nullptr;
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) return false;
    pa_threaded_mainloop_set_name(m_loop, "clavora-sound");
    if (!Connect()) {
        Close();
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    const bool started = StartStream(rate);
    m_playing = started;
    pa_threaded_mainloop_unlock(m_loop);
    if (!started) Close();
    return started;
}

bool PulseOut::Connect() {
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Clavora");
    if (!m_context) return false;
    pa_context_set_state_callback(m_context, &PulseOut::OnContextState, this);
    // Without a running server the sound goes straight to the sound card instead.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    pa_threaded_mainloop_lock(m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_unlock(m_loop);
        return false;
    }
    // A server that does not answer within a few seconds is given up for the next way.
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timeval at{};
    pa_gettimeofday(&at);
    pa_timeval_add(&at, kAnswerUs);
    m_deadline = api->time_new(api, &at, &PulseOut::OnDeadline, this);
    pa_context_state_t state;
    while ((state = pa_context_get_state(m_context)) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(state) && !m_lateAnswer)
        pa_threaded_mainloop_wait(m_loop);
    pa_threaded_mainloop_unlock(m_loop);
    return state == PA_CONTEXT_READY;
}

bool PulseOut::StartStream(int rate) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = static_cast<uint32_t>(rate);
    spec.channels = 2;
    m_stream = pa_stream_new(m_context, "Piano", &spec, nullptr);
    if (!m_stream) return false;
    pa_stream_set_state_callback(m_stream, &PulseOut::OnStreamState, this);
    pa_stream_set_write_callback(m_stream, &PulseOut::OnWrite, this);
    pa_stream_set_underflow_callback(m_stream, &PulseOut::OnUnderflow, this);
    pa_stream_set_started_callback(m_stream, &PulseOut::OnStarted, this);
    m_latency.Start(SteadyNs(), AudioLatency::kStartFrames, kRefill);
    const int frames = m_latency.Frames();
    m_latencyFrames.store(frames);
    // The queue is the whole way to the speaker: the server shortens its own buffer to
    // fit. A PULSE_LATENCY_MSEC of the user's replaces it (libpulse applies it).
    const pa_buffer_attr attr = Attr(frames);
    if (pa_stream_connect_playback(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0)
        return false;
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(m_stream)) != PA_STREAM_READY &&
           PA_STREAM_IS_GOOD(state) && !m_lateAnswer)
        pa_threaded_mainloop_wait(m_loop);
    if (m_deadline) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_deadline);
        m_deadline = nullptr;
    }
    if (state != PA_STREAM_READY) return false;
    TimingLog().Mark("audio-output-pulse");
    return true;
}

void PulseOut::Close() {
    if (!m_loop) return;
    pa_threaded_mainloop_lock(m_loop);
    m_playing = false;
    if (m_deadline) {
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_deadline);
        m_deadline = nullptr;
    }
    if (m_stream) {
        // No more fills: the callbacks go before the stream does.
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
        pa_stream_set_started_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (TimingLog().Enabled() && m_silenceDropped > 0) {
        char name[48];
        std::snprintf(name, sizeof name, "audio-pulse-silence-dropped-%d", m_silenceDropped);
        TimingLog().Mark(name);
    }
    m_silenceDropped = 0;
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

void PulseOut::OnDeadline(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    out->m_lateAnswer = true;
    api->time_free(event);
    out->m_deadline = nullptr;
    pa_threaded_mainloop_signal(out->m_loop, 0);
}

void PulseOut::OnContextState(pa_context* context, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    out->Watch(!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)));
    pa_threaded_mainloop_signal(out->m_loop, 0);
}

void PulseOut::OnStreamState(pa_stream* stream, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    out->Watch(!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)));
    pa_threaded_mainloop_signal(out->m_loop, 0);
}

void PulseOut::Watch(bool gone) {
    // Said once: the keeper closes this output and looks for another.
    if (!gone || !m_playing) return;
    m_playing = false;
    TimingLog().Mark("audio-pulse-gone");
    m_source->Lost();
}

void PulseOut::OnWrite(pa_stream* stream, size_t bytes, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    // A request answered after the queue written last ran out: the sink fell silent
    // then (the underflow's notice may come only after this fill).
    const int64_t ranOut = out->m_writtenAtNs + out->QueueNs();
    if (out->m_writtenAtNs > 0 && SteadyNs() > ranOut) out->m_ranOutNs = ranOut;
    if (!out->m_raised) {
        out->m_raised = true;
        const RealtimeGrant grant = MakeThisThreadRealtime();
        TimingLog().Mark(RealtimeGrantName(grant));
    }
    while (bytes >= kFrameBytes) {
        const size_t want = std::min(bytes, kChunkFrames * kFrameBytes) / kFrameBytes * kFrameBytes;
        void* data = nullptr;
        size_t size = want;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || !data) return;
        size = std::min(size, want) / kFrameBytes * kFrameBytes;
        if (size == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        const int64_t before = SteadyNs();
        const bool rested = out->m_source->Fill(static_cast<uint8_t*>(data),
                                                static_cast<int>(size), true);
        out->DropQueuedSilence(stream, static_cast<const uint8_t*>(data), size, before);
        pa_stream_write(stream, data, size, nullptr, 0, PA_SEEK_RELATIVE);
        out->m_writtenAtNs = SteadyNs();
        bytes -= size;
        if (!rested) {
            out->StepDownWhenCalm();
            continue;
        }
        out->m_restedAtNs = SteadyNs();
        // A rest longer than the queue has let it run dry: the key that woke the fill
        // goes out first, and the rest of the queue on the server's requests, which wait
        // unread in the loop meanwhile.
        if (out->m_restedAtNs - before > out->QueueNs()) return;
    }
}

void PulseOut::DropQueuedSilence(pa_stream* stream, const uint8_t* fill, size_t size,
                                 int64_t atNs) {
    // Sound after nothing but silence for longer than the queue (the keeper let the fill
    // out of its rest for a moment, and the server's requests were answered with
    // silence): all that is queued is silence, and it is dropped, so that the sound plays
    // at once instead of behind it. Older writes have played out, unless the server
    // stood still for longer than the margin.
    if (std::all_of(fill, fill + size, [](uint8_t b) { return b == 0; })) {
        if (m_silentFromNs == 0) m_silentFromNs = atNs;
        return;
    }
    // A fill that rested longer than the queue found it run dry: nothing to drop.
    const bool onlySilence = m_silentFromNs > 0 && SteadyNs() - atNs < QueueNs() &&
                             atNs - m_silentFromNs > QueueNs() + kPlayedOutNs;
    m_silentFromNs = 0;
    if (!onlySilence) return;
    if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr)) pa_operation_unref(op);
    ++m_silenceDropped;
}

void PulseOut::StepDownWhenCalm() {
    if (!m_fixedLatency && m_latency.Calm(SteadyNs())) AskLatency(m_latency.Frames());
}

void PulseOut::OnUnderflow(pa_stream*, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    const int64_t now = SteadyNs();
    if (now - out->m_restedAtNs < kRestEchoNs) return;
    out->m_underflows.fetch_add(1);
    TimingLog().Mark("audio-underflow");
    // The sink fell silent when the server says so, or earlier where our fills came too
    // late: their notice is read only once our thread runs again.
    const bool ours = out->m_ranOutNs > 0 && now - out->m_ranOutNs < kRunOutNs;
    if (out->m_dryFromNs == 0) out->m_dryFromNs = ours ? std::min(now, out->m_ranOutNs) : now;
    out->m_ranOutNs = 0;
}

int64_t PulseOut::QueueNs() const {
    return int64_t{m_latencyFrames.load()} * 1'000'000'000 / m_rate;
}

void PulseOut::OnStarted(pa_stream*, void* self) {
    auto* out = static_cast<PulseOut*>(self);
    if (out->m_dryFromNs == 0) return;
    const int64_t now = SteadyNs();
    const int missing = static_cast<int>((now - out->m_dryFromNs) * out->m_rate / 1'000'000'000);
    out->m_dryFromNs = 0;
    if (TimingLog().Enabled()) {
        char name[48];
        std::snprintf(name, sizeof name, "audio-missing-frames-%d", missing);
        TimingLog().Mark(name);
    }
    if (!out->m_fixedLatency && out->m_latency.Underflow(now, missing))
        out->AskLatency(out->m_latency.Frames());
}

void PulseOut::AskLatency(int frames) {
    m_latencyFrames.store(frames);
    const pa_buffer_attr attr = Attr(frames);
    if (pa_operation* op = pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr))
        pa_operation_unref(op);
    if (TimingLog().Enabled()) {
        char name[48];
        std::snprintf(name, sizeof name, "audio-latency-frames-%d", frames);
        TimingLog().Mark(name);
    }
}

}  // namespace clavora
