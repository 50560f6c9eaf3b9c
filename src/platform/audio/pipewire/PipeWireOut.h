// Sound to a PipeWire server through a stream of its own: the server's real-time data
// thread asks for each quantum and the callback fills it in place, with no queue of
// ours between. Filling never waits there (that thread runs the whole graph): while
// nothing sounds, the stream is paused instead, and the next message resumes it. A
// cycle of the graph the stream missed (its position moved on by more than the last
// cycle between two fills) asks the graph for a longer quantum, as an underflow lengthens
// the queue on PulseAudio, and a long calm asks for a shorter one again. An error of the
// connection to the server, or a stream that errs or comes unconnected once it played,
// is reported lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioLatency.h"

struct pw_thread_loop;
struct pw_stream;
struct spa_loop;
struct spa_source;
struct spa_hook;

namespace clavora {


class PipeWireOut final : public AudioBackend {
public:
    static constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo
    // The quantum asked of the graph at first: one callback buffer, 5.8 ms, which a
    // desktop graph at 48000 Hz runs as 256 frames (5.3 ms).
    static constexpr int kStartFrames = 256;

    PipeWireOut();
    ~PipeWireOut() override;
    PipeWireOut(const PipeWireOut&) = delete;
    PipeWireOut& operator=(const PipeWireOut&) = delete;

    const char* Name() const override { return "pipewire"; }
    // Connects to the PipeWire server of the session and starts the stream; false when
    // there is none. The source is filled without waiting; with nothing to play the
    // stream pauses (when the source's MayPause agrees).
    bool Open(int rate, AudioSource& source) override;
    void Close() override;
    // Any thread: a paused stream plays again (the main loop is told, nothing waits).
    void Resume() override;

    // Cycles of the graph the stream missed while it played.
    int MissedCycles() const { return m_missed.load(); }

    // The stream's callbacks (public for the table of callbacks).
    static void OnProcessThunk(void* self);
    static void OnStateChangedThunk(void* self, int old, int state, const char* error);
    static void OnCoreErrorThunk(void* self, uint32_t id, int res);

private:
    static int DoPause(spa_loop* loop, bool async, uint32_t seq, const void* data, size_t size,
                       void* self);
    static int DoRaise(spa_loop* loop, bool async, uint32_t seq, const void* data, size_t size,
                       void* self);
    static int DoSetLatency(spa_loop* loop, bool async, uint32_t seq, const void* data,
                            size_t size, void* self);
    static void OnResumeEvent(void* self, uint64_t count);
    void WatchCycles(bool idle, uint32_t frames);
    // Main-loop thread: the server is gone.
    void Gone();

    AudioSource* m_source = nullptr;
    // Held by Open and Close; Resume tries it and does nothing while either runs.
    std::mutex m_life;
    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;
    spa_source* m_resumeEvent = nullptr;
    spa_hook* m_coreHook = nullptr;
    bool m_playing = false;                // main loop: opened, not yet reported lost
    bool m_raised = false;                 // data thread
    int64_t m_dataThread = 0;              // its id, to raise it from the main loop
    std::atomic<bool> m_pausing{false};    // a pause is on its way to the main loop
    bool m_paused = false;                 // under the loop's lock
    int m_rate = 44100;
    // A user's PIPEWIRE_LATENCY is their choice: the quantum asked is then left alone.
    bool m_fixedLatency = false;
    // Data thread: the graph's position at the last fill and the frames filled then,
    // and the quantum asked of the graph.
    uint64_t m_lastTicks = 0;
    uint32_t m_lastFrames = 0;
    uint32_t m_cycleFrames = 0;  // the quantum last marked in the timing log
    AudioLatency m_latency;
    int m_asked = 0;
    std::atomic<bool> m_fresh{true};       // the next fill follows a start or a pause
    std::atomic<int> m_missed{0};
    // Data thread until the loop stops: how far ahead of the sink each fill went.
    int64_t m_aheadSumNs = 0;
    int64_t m_aheadMaxNs = 0;
    int64_t m_aheadCount = 0;
};

}  // namespace clavora
