// Incoming MIDI messages on their way from the MIDI system's threads to the thread that
// hands them to the program. Pushing never waits and never allocates, so it is safe in
// a real-time callback (a JACK process callback that waits makes the server drop its
// cycle, and the messages of that cycle are lost). Any number of threads may push; one
// thread pops. Messages come out in the order in which their pushes took their places.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace clavora {

class MidiQueue {
public:
    static constexpr size_t kCapacity = 1024;  // a power of two

    MidiQueue() {
        for (size_t i = 0; i < kCapacity; ++i) m_cells[i].sequence.store(i, std::memory_order_relaxed);
    }
    MidiQueue(const MidiQueue&) = delete;
    MidiQueue& operator=(const MidiQueue&) = delete;

    // False when the queue is full: the message is dropped.
    bool Push(uint32_t msg) {
        size_t pos = m_tail.load(std::memory_order_relaxed);
        Cell* cell = nullptr;
        for (;;) {
            cell = &m_cells[pos & (kCapacity - 1)];
            const size_t seq = cell->sequence.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(seq - pos);
            if (diff == 0) {
                if (m_tail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) break;
            } else if (diff < 0) {
                return false;  // the oldest cell has not been popped yet
            } else {
                pos = m_tail.load(std::memory_order_relaxed);
            }
        }
        cell->value = msg;
        cell->sequence.store(pos + 1, std::memory_order_release);
        return true;
    }

    // The single consumer. False when nothing is waiting.
    bool Pop(uint32_t& msg) {
        Cell& cell = m_cells[m_head & (kCapacity - 1)];
        const size_t seq = cell.sequence.load(std::memory_order_acquire);
        if (static_cast<std::ptrdiff_t>(seq - (m_head + 1)) < 0) return false;
        msg = cell.value;
        cell.sequence.store(m_head + kCapacity, std::memory_order_release);
        ++m_head;
        return true;
    }

private:
    struct Cell {
        std::atomic<size_t> sequence{0};
        uint32_t value = 0;
    };
    Cell m_cells[kCapacity];
    alignas(64) std::atomic<size_t> m_tail{0};
    alignas(64) size_t m_head = 0;
};

}  // namespace clavora
