#include "platform/window/wayland/ShmImage.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace clavora {

namespace {

// Two buffers take turns; a third is made only while the compositor holds both.
constexpr size_t kMaxBuffers = 3;
// A buffer's stale rectangles are merged into fewer than this.
constexpr size_t kMaxStaleRects = 16;

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t /*version*/) {
    auto** shm = static_cast<wl_shm**>(data);
    if (!*shm && std::strcmp(interface, wl_shm_interface.name) == 0)
        *shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnRelease(void* data, wl_buffer*) { static_cast<ShmImage::Buffer*>(data)->busy = false; }

const wl_buffer_listener kBufferListener = {OnRelease};

}  // namespace

ShmImage::ShmImage(wl_display* display, wl_surface* surface, int width, int height,
                   int bufferScale)
    : m_display(display), m_surface(surface), m_width(width), m_height(height),
      m_bufferScale(std::max(1, bufferScale)) {
    if (!display || !surface || width <= 0 || height <= 0) return;
    // Our objects' events go to a queue of our own, dispatched only here, so that they
    // never run inside the toolkit's dispatch nor its inside ours.
    m_queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (!m_queue || !wrapper) return;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), m_queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    if (!registry) return;
    wl_registry_add_listener(registry, &kRegistryListener, &m_shm);
    wl_display_roundtrip_queue(display, m_queue);
    wl_registry_destroy(registry);
}

ShmImage::~ShmImage() {
    const size_t bytes = static_cast<size_t>(m_width) * m_height * 4;
    for (auto& b : m_buffers) {
        wl_buffer_destroy(b->buffer);
        munmap(b->pixels, bytes);
    }
    if (m_shm) wl_shm_destroy(m_shm);
    if (m_queue) wl_event_queue_destroy(m_queue);
}

bool ShmImage::AddBuffer() {
    const int stride = m_width * 4;
    const size_t bytes = static_cast<size_t>(stride) * m_height;
    const int fd = memfd_create("clavora-frame", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* pixels = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0)
        pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return false;
    }
    wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<int32_t>(bytes));
    close(fd);
    // 0x00RRGGBB in memory order is the compositor's XRGB8888: the frame copies as it is.
    wl_buffer* buffer = pool ? wl_shm_pool_create_buffer(pool, 0, m_width, m_height, stride,
                                                         WL_SHM_FORMAT_XRGB8888)
                             : nullptr;
    if (pool) wl_shm_pool_destroy(pool);
    if (!buffer) {
        munmap(pixels, bytes);
        return false;
    }
    auto b = std::make_unique<Buffer>();
    b->buffer = buffer;
    b->pixels = static_cast<uint32_t*>(pixels);
    wl_buffer_add_listener(buffer, &kBufferListener, b.get());
    m_buffers.push_back(std::move(b));
    return true;
}

ShmImage::Buffer* ShmImage::FreeBuffer() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        wl_display_dispatch_queue_pending(m_display, m_queue);
        if (m_pending && !m_pending->busy) return m_pending;
        for (auto& b : m_buffers)
            if (!b->busy) return b.get();
        if (m_buffers.size() < kMaxBuffers && AddBuffer()) return m_buffers.back().get();
        // The compositor holds every buffer: ask it to answer what it has.
        if (wl_display_roundtrip_queue(m_display, m_queue) < 0) return nullptr;
    }
    return nullptr;
}

bool ShmImage::Copy(const Frame& frame, const std::vector<GdiRect>& rects) {
    if (!Valid() || frame.width != m_width || frame.height != m_height) return false;
    for (auto& b : m_buffers) {
        b->stale.insert(b->stale.end(), rects.begin(), rects.end());
        MergeRects(b->stale, kMaxStaleRects);
    }
    Buffer* b = FreeBuffer();
    if (!b) return false;
    if (!b->written) b->stale.assign(1, GdiRect{0, 0, m_width, m_height});
    // Everything frames changed since this buffer was last written, from this frame.
    for (const GdiRect& r : b->stale) {
        const int w = std::min(r.w, m_width - r.x), h = std::min(r.h, m_height - r.y);
        for (int row = 0; row < h; ++row) {
            const size_t at = static_cast<size_t>(r.y + row) * m_width + r.x;
            std::memcpy(b->pixels + at, frame.pixels + at, static_cast<size_t>(w) * 4);
        }
    }
    b->stale.clear();
    b->written = true;
    m_pending = b;
    return true;
}

void ShmImage::Show(const std::vector<GdiRect>& rects, bool whole) {
    if (!m_pending) return;
    wl_surface_set_buffer_scale(m_surface, m_bufferScale);
    wl_surface_attach(m_surface, m_pending->buffer, 0, 0);
    const bool inBufferPixels =
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(m_surface)) >=
        WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION;
    if (whole || !inBufferPixels) {
        wl_surface_damage(m_surface, 0, 0, INT32_MAX, INT32_MAX);
    } else {
        for (const GdiRect& r : rects) wl_surface_damage_buffer(m_surface, r.x, r.y, r.w, r.h);
    }
    wl_surface_commit(m_surface);
    m_pending->busy = true;
    m_pending = nullptr;
    wl_display_flush(m_display);
}

}  // namespace clavora
