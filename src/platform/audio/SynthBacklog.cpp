#include "platform/audio/SynthBacklog.h"

#include <algorithm>
#include <iterator>

namespace clavora {

void SynthBacklog::Add(const SynthEvent& e) {
    if (e.channel >= 16 || e.key >= 128) return;
    m_touched = true;
    switch (e.kind) {
    case SynthEvent::kNoteOn:
        m_key[e.channel][e.key] = static_cast<uint8_t>(std::clamp<int>(e.value, 1, 127));
        break;
    case SynthEvent::kNoteOff:
        m_key[e.channel][e.key] = kReleased;
        break;
    case SynthEvent::kProgram:
        m_program[e.channel] = static_cast<int16_t>(e.value & 0x7F);
        break;
    case SynthEvent::kPitchBend:
        m_bend[e.channel] = static_cast<int16_t>(e.value & 0x3FFF);
        break;
    case SynthEvent::kChannelPressure:
        m_pressure[e.channel] = static_cast<int16_t>(e.value & 0x7F);
        break;
    case SynthEvent::kControl:
        if (e.key < 120) {
            m_control[e.channel][e.key] = static_cast<int16_t>(e.value & 0x7F);
        } else if (e.key == 120 || e.key == 123) {
            // All Sound Off or All Notes Off: the notes so far end with it, and what is
            // pressed after it sounds afterwards.
            std::fill(std::begin(m_key[e.channel]), std::end(m_key[e.channel]), 0);
            if (m_allOff[e.channel] != 120) m_allOff[e.channel] = static_cast<uint8_t>(e.key);
        } else if (e.key == 121) {
            // Reset All Controllers: the ones set before it need not be set again.
            std::fill(std::begin(m_control[e.channel]), std::end(m_control[e.channel]), -1);
            m_bend[e.channel] = -1;
            m_pressure[e.channel] = -1;
            m_resetControls[e.channel] = true;
        }
        break;
    case SynthEvent::kKeyPressure:
    case SynthEvent::kNone:
        // A key's pressure is of its moment: replayed later it would be stale.
        break;
    }
}

void SynthBacklog::Clear() {
    m_touched = false;
    std::fill(std::begin(m_program), std::end(m_program), -1);
    for (auto& channel : m_control) std::fill(std::begin(channel), std::end(channel), -1);
    std::fill(std::begin(m_bend), std::end(m_bend), -1);
    std::fill(std::begin(m_pressure), std::end(m_pressure), -1);
    for (auto& channel : m_key) std::fill(std::begin(channel), std::end(channel), 0);
    std::fill(std::begin(m_allOff), std::end(m_allOff), 0);
    std::fill(std::begin(m_resetControls), std::end(m_resetControls), false);
}

}  // namespace clavora
