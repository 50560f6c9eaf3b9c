#include "songfile/MidiExport.h"

#include <cstdio>

namespace clavora {

namespace {

constexpr uint32_t kMaxDelta = 0x0FFFFFFF;  // the largest variable-length value

class Writer {
public:
    explicit Writer(uint8_t* bytes) : p_(bytes) {}
    void Byte(uint32_t b) { p_[n_++] = static_cast<uint8_t>(b); }
    void Be32(uint32_t v) {
        for (int i = 3; i >= 0; --i) Byte(v >> (8 * i));
    }
    void Be16(uint32_t v) {
        Byte(v >> 8);
        Byte(v);
    }
    void VarLen(uint32_t v) {
        uint8_t groups[4];
        int count = 0;
        do {
            groups[count++] = static_cast<uint8_t>(v & 0x7F);
            v >>= 7;
        } while (v != 0);
        while (count > 1) Byte(groups[--count] | 0x80u);
        Byte(groups[0]);
    }
    // The delta time before an event; a gap longer than one value can say is bridged
    // by empty text events.
    void Delta(uint64_t ticks) {
        while (ticks > kMaxDelta) {
            VarLen(kMaxDelta);
            Byte(0xFF);
            Byte(0x01);
            Byte(0x00);
            ticks -= kMaxDelta;
        }
        VarLen(static_cast<uint32_t>(ticks));
    }
    size_t size() const { return n_; }
    uint8_t* at(size_t offset) { return p_ + offset; }

private:
    uint8_t* p_;
    size_t n_ = 0;
};

}  // namespace

ExportResult ExportMidi(const SongImage& song, int slot, uint8_t* bytes) {
    ExportResult result;
    Writer w(bytes);
    w.Be32(0x4D546864);  // "MThd"
    w.Be32(6);
    w.Be16(0);  // one track
    w.Be16(1);
    w.Be16(kExportDivision);
    w.Be32(0x4D54726B);  // "MTrk"
    const size_t lengthAt = w.size();
    w.Be32(0);

    char name[32];
    const int nameLength = std::snprintf(name, sizeof name, "Clavora slot %d", slot);
    w.Byte(0);
    w.Byte(0xFF);
    w.Byte(0x03);
    w.VarLen(static_cast<uint32_t>(nameLength));
    for (int i = 0; i < nameLength; ++i) w.Byte(static_cast<uint8_t>(name[i]));
    w.Byte(0);
    w.Byte(0xFF);
    w.Byte(0x51);
    w.Byte(3);
    w.Byte(kExportTempo >> 16);
    w.Byte(kExportTempo >> 8);
    w.Byte(kExportTempo);

    // Playback plays the events in order while their ticks do not go back; the first
    // one that does waits for ever, and nothing after it sounds.
    const int length = SongLength(song);
    int playable = 0;
    int32_t last = 0;
    while (playable < length && song.events[playable].nTick >= last) last = song.events[playable++].nTick;
    result.leftOut = length - playable;

    int64_t written = 0;  // the tick, in the file's ticks, of the last event written
    for (int e = 0; e < playable; ++e) {
        const SongEvent& ev = song.events[e];
        if (IsPedalEvent(ev)) {
            // The sustain pedal: controller 64, all the way down or up.
            const int64_t tick = static_cast<int64_t>(ev.nTick) * kExportTicksPerFrame;
            w.Delta(static_cast<uint64_t>(tick - written));
            written = tick;
            w.Byte(0xB0);
            w.Byte(64);
            w.Byte(ev.nVelocity == PEDAL_DOWN ? 127 : 0);
            ++result.events;
            continue;
        }
        const int note = ev.nKey + 20;
        if (note < 0 || note > 127 || ev.nVelocity < 0) {
            ++result.leftOut;
            continue;
        }
        const int64_t tick = static_cast<int64_t>(ev.nTick) * kExportTicksPerFrame;
        w.Delta(static_cast<uint64_t>(tick - written));
        written = tick;
        if (ev.nVelocity > 0) {
            w.Byte(0x90);
            w.Byte(static_cast<uint32_t>(note));
            w.Byte(kExportVelocity);
        } else {
            w.Byte(0x80);
            w.Byte(static_cast<uint32_t>(note));
            w.Byte(64);
        }
        ++result.events;
    }
    const int32_t end = playable == length ? SongEndTick(song) : last;
    const int64_t endTick = static_cast<int64_t>(end) * kExportTicksPerFrame;
    w.Delta(static_cast<uint64_t>(endTick > written ? endTick - written : 0));
    w.Byte(0xFF);
    w.Byte(0x2F);
    w.Byte(0x00);

    const auto trackLength = static_cast<uint32_t>(w.size() - lengthAt - 4);
    Writer(w.at(lengthAt)).Be32(trackLength);
    result.size = w.size();
    return result;
}

}  // namespace clavora
