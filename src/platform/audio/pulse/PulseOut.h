// Sound to a PulseAudio server, or to PipeWire's server for PulseAudio clients, through
// a stream of our own: a thread of its own (libpulse's threaded main loop, raised to
// real-time scheduling) fills the stream whenever the server asks, and the stream's
// queue is short and grows only when the server reports that it ran dry. A context or
// stream that fails or ends once it played (the server went away) is reported lost.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioLatency.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_mainloop_api;
struct pa_time_event;
struct timeval;

namespace clavora {


class PulseOut final : public AudioBackend {
public:
    PulseOut() = default;
    ~PulseOut() override;
    PulseOut(const PulseOut&) = delete;
    PulseOut& operator=(const PulseOut&) = delete;

    const char* Name() const override { return "pulse"; }
    // Connects to the server that PULSE_SERVER or the user's session names (never
    // starting one) and starts the stream. False when no server answers. The source
    // rests in its fill (so the queue runs dry on purpose) while nothing sounds.
    bool Open(int rate, AudioSource& source) override;
    // Stops filling; after it the source is not called again.
    void Close() override;

    // The queue asked of the server now, in frames, and the underflows reported.
    int LatencyFrames() const override { return m_latencyFrames.load(); }
    int Underflows() const { return m_underflows.load(); }
    // The fill rests in the main loop: let out once a second, the loop sees the server go.
    int LookEveryMs() const override { return 1000; }
    // A rest costs nothing here: the queue runs dry, and the key that ends it is written
    // first and the rest of the queue on the server's requests, so it plays at the sink's
    // next block instead of behind a queue of silence. So the fill rests after a short
    // silence.
    int RestAfterMs() const override { return kShortRestMs; }
    static constexpr int kShortRestMs = 100;

private:
    static void OnContextState(pa_context* context, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnWrite(pa_stream* stream, size_t bytes, void* self);
    static void OnUnderflow(pa_stream* stream, void* self);
    static void OnStarted(pa_stream* stream, void* self);
    static void OnDeadline(pa_mainloop_api* api, pa_time_event* event, const timeval* tv,
                           void* self);
    bool Connect();
    bool StartStream(int rate);
    void StepDownWhenCalm();
    void DropQueuedSilence(pa_stream* stream, const uint8_t* fill, size_t size, int64_t atNs);
    int64_t QueueNs() const;
    void AskLatency(int frames);
    // Main-loop thread: a context or stream state that means the server is gone.
    void Watch(bool gone);

    AudioSource* m_source = nullptr;
    bool m_playing = false;  // main-loop thread: opened, and not yet reported lost
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    // A user's PULSE_LATENCY_MSEC is their choice: the queue is then left as they set it.
    bool m_fixedLatency = false;
    bool m_raised = false;
    // Open's wait for the server: given up when this timer fires.
    pa_time_event* m_deadline = nullptr;
    bool m_lateAnswer = false;
    int m_rate = 44100;
    // Main-loop thread: when the fill last rested. The underflow that resting causes is
    // reported after it and says nothing about the machine.
    int64_t m_restedAtNs = 0;
    // Main-loop thread: when the last fill was written (the queue then full), when a late
    // fill found that queue run out, and from when the sink played silence after an
    // underflow until the server starts the stream again (0: no underflow open). The
    // time between is what was missing.
    int64_t m_writtenAtNs = 0;
    int64_t m_ranOutNs = 0;
    int64_t m_dryFromNs = 0;
    // Main-loop thread: since when only silence was written (0: the last fill sounded).
    int64_t m_silentFromNs = 0;
    // Main-loop thread: the queue's length as underflows and calm decide it.
    AudioLatency m_latency;
    std::atomic<int> m_latencyFrames{0};
    std::atomic<int> m_underflows{0};
    int m_silenceDropped = 0;  // main-loop thread: said in the timing log at the end
};

}  // namespace clavora
