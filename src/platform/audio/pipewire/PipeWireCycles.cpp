// The PipeWire output's watch on the graph's cycles: a cycle that went by without a
// fill or got it too late, what it lacked, and the quantum asked of the graph after it
// or after a calm.
#include <pipewire/pipewire.h>

#include <cstdio>
#include <cstring>

#include "platform/audio/pipewire/PipeWireOut.h"
#include "platform/common/SteadyNs.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

// What the data thread asks of the main loop after a missed cycle or a long calm.
struct LatencyChange {
    int frames;   // the quantum to ask for, or 0 to leave it
    int missing;  // frames a missed cycle lacked, or -1: none was missed
    int cycle;    // frames the graph now asks for each cycle, where that changed; or 0
};

}  // namespace

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
    // A fill handed over once its cycle's time was up came too late for it: the sink
    // played silence for that cycle, yet our position moves on by one cycle as ever. It
    // lacked what it was late by, which only a longer quantum can hold.
    const int64_t now = SteadyNs();
    const int64_t overNs = now - static_cast<int64_t>(time.now) -
                           int64_t{frames} * 1'000'000'000 / m_rate;
    const bool late = !fresh && !missed && !idle && time.now > 0 && overNs > 0;
    const int lacked =
        missed ? missing : late ? static_cast<int>(overNs * m_rate / 1'000'000'000) + 1 : -1;
    if (missed || late) m_missed.fetch_add(1, std::memory_order_relaxed);
    LatencyChange change{0, lacked, cycle};
    if (!m_fixedLatency) {
        if (lacked >= 0 ? m_latency.Underflow(now, lacked) : !idle && m_latency.Calm(now))
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
