// Sound to a PipeWire server through a stream of its own: the server's real-time data
// thread asks for each quantum and the callback fills it in place, with no queue of
// ours between. Filling never waits there (that thread runs the whole graph): while
// nothing sounds, the stream is paused instead, and the next message resumes it. A
// cycle of the graph the stream missed (its position moved on by more than the last
// cycle between two fills) asks the graph for a longer quantum, as an underflow lengthens
// the queue on PulseAudio, and a long calm asks for a shorter one again.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/audio/AudioLatency.h"

struct pw_thread_loop;
struct pw_stream;
struct spa_loop;

namespace clavora {


class PipeWireOut {
public:
    // Fills length bytes of 16-bit stereo without waiting; true when there was nothing
    // to play, so that the stream may pause.
    using Fill = bool (*)(void* user, uint8_t* stream, int length);
    // The main-loop thread, about to pause: true when nothing has been asked for since
    // the fill found nothing to play (then the next request must call Resume).
    using MayPause = bool (*)(void* user);

    PipeWireOut(Fill fill, MayPause mayPause, void* user);
    ~PipeWireOut();
    PipeWireOut(const PipeWireOut&) = delete;
    PipeWireOut& operator=(const PipeWireOut&) = delete;

    // Connects to the PipeWire server of the session and starts the stream; false when
    // there is none.
    bool Open(int rate);
    void Close();
    // Any thread: a paused stream plays again.
    void Resume();

    // Cycles of the graph the stream missed while it played.
    int MissedCycles() const { return m_missed.load(); }

    // The stream's callbacks (public for the table of callbacks).
    static void OnProcessThunk(void* self);
    static void OnStateChangedThunk(void* self, int old, int state, const char* error);

private:
    static int DoPause(spa_loop* loop, bool async, uint32_t seq, const void* data, size_t size,
                       void* self);
    static int DoRaise(spa_loop* loop, bool async, uint32_t seq, const void* data, size_t size,
                       void* self);
    static int DoSetLatency(spa_loop* loop, bool async, uint32_t seq, const void* data,
                            size_t size, void* self);
    void WatchCycles(bool idle, uint32_t frames);

    Fill m_fill;
    MayPause m_mayPause;
    void* m_user;
    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;
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
