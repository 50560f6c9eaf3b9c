// Building Standard MIDI Files byte by byte, for tests of the MIDI file reader.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace clavora::test {

using Bytes = std::vector<uint8_t>;

inline void PutBe(Bytes& v, uint32_t x, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

inline void PutVarLen(Bytes& v, uint32_t x) {
    Bytes groups;
    do {
        groups.push_back(x & 0x7F);
        x >>= 7;
    } while (x);
    for (size_t i = groups.size(); i-- > 1;) v.push_back(groups[i] | 0x80);
    v.push_back(groups[0]);
}

// A track's events: delta time, then the bytes of the event as they stand.
struct TrackBuilder {
    Bytes body;
    TrackBuilder& Ev(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        PutVarLen(body, delta);
        body.insert(body.end(), bytes);
        return *this;
    }
    TrackBuilder& Tempo(uint32_t delta, uint32_t usPerQuarter) {
        return Ev(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(usPerQuarter >> 16),
                          static_cast<uint8_t>(usPerQuarter >> 8), static_cast<uint8_t>(usPerQuarter)});
    }
    TrackBuilder& End(uint32_t delta) { return Ev(delta, {0xFF, 0x2F, 0x00}); }
};

inline Bytes Chunk(const char* type, const Bytes& body) {
    Bytes v(type, type + 4);
    PutBe(v, static_cast<uint32_t>(body.size()), 4);
    v.insert(v.end(), body.begin(), body.end());
    return v;
}

inline Bytes Smf(int format, uint16_t division, std::initializer_list<Bytes> tracks) {
    Bytes header;
    PutBe(header, static_cast<uint32_t>(format), 2);
    PutBe(header, static_cast<uint32_t>(tracks.size()), 2);
    PutBe(header, division, 2);
    Bytes file = Chunk("MThd", header);
    for (const Bytes& t : tracks) {
        const Bytes c = Chunk("MTrk", t);
        file.insert(file.end(), c.begin(), c.end());
    }
    return file;
}

}  // namespace clavora::test
