// What one frame draws: the list of sprite copies that compose it, in order. A frame's
// picture is a function of this list alone (the background and the sprites never
// change), so a frame whose list equals the last one composed would show the same
// picture, and need not be composed again.
#pragma once

#include <cstdint>

#include "raster/Gdi.h"

namespace clavora {

struct SpriteCopy {
    HBITMAP bitmap;
    int16_t x, y, w, h, sx, sy;
    uint32_t rop;

    bool operator==(const SpriteCopy&) const = default;
};

class FrameDraws {
public:
    // More copies than any frame makes: all keys lit and every note with its lines.
    static constexpr int kCapacity = 512;

    void Clear() {
        m_count = 0;
        m_overflow = false;
    }
    // False when the list is full or abandoned: the copy was not listed.
    bool Add(const SpriteCopy& copy) {
        if (m_overflow || m_count == kCapacity) return false;
        m_copies[m_count++] = copy;
        return true;
    }
    // The frame is drawn as it comes from now on; the list says nothing about it.
    void Abandon() { m_overflow = true; }
    bool Complete() const { return !m_overflow; }
    int Count() const { return m_count; }
    const SpriteCopy& operator[](int i) const { return m_copies[i]; }

    // Both complete and the same copies in the same order.
    bool SameAs(const FrameDraws& other) const {
        if (m_overflow || other.m_overflow || m_count != other.m_count) return false;
        for (int i = 0; i < m_count; ++i)
            if (!(m_copies[i] == other.m_copies[i])) return false;
        return true;
    }

private:
    SpriteCopy m_copies[kCapacity];
    int m_count = 0;
    bool m_overflow = false;
};

}  // namespace clavora
