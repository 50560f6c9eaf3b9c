#include "raster/DeviceScale.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace clavora {

namespace {

std::atomic<int> g_scale{1};

// Few resources are ever noted (the window's bitmaps): a short list will do.
std::mutex g_artLock;
std::vector<std::pair<const uint8_t*, int>> g_art;

}  // namespace

void SetDeviceScale(int scale) { g_scale = std::clamp(scale, 1, kMaxDeviceScale); }

int DeviceScale() { return g_scale; }

void NoteArtScale(const uint8_t* data, int scale) {
    if (!data) return;
    std::lock_guard<std::mutex> hold(g_artLock);
    for (auto& art : g_art) {
        if (art.first == data) {
            art.second = scale;
            return;
        }
    }
    g_art.emplace_back(data, scale);
}

int ArtScale(const uint8_t* data) {
    std::lock_guard<std::mutex> hold(g_artLock);
    for (const auto& art : g_art)
        if (art.first == data) return art.second;
    return 1;
}

void ForgetArtScales() {
    std::lock_guard<std::mutex> hold(g_artLock);
    g_art.clear();
}

}  // namespace clavora
