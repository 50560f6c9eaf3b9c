#include "platform/window/WindowLock.h"

namespace clavora {

std::mutex& WindowLock() {
    static std::mutex lock;
    return lock;
}

void DeliverMidiIn(MidiInCallback callback, uintptr_t instance, uint32_t msg) {
    if (!callback) return;
    std::lock_guard<std::mutex> hold(WindowLock());
    callback(nullptr, MIM_DATA, instance, msg, 0);
}

}  // namespace clavora
