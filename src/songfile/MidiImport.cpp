#include "songfile/MidiImport.h"

namespace clavora {

namespace {

constexpr int kKeys = 88;
constexpr int kLowestNote = 21;  // A0, key number 1

int32_t FrameOf(int64_t ns) { return static_cast<int32_t>((ns + kFrameNanoseconds / 2) / kFrameNanoseconds); }

// Turns note messages into presses and releases of keys. A key struck again while it
// sounds is released and pressed again in the same frame; it comes up when the last of
// the notes that struck it ends. Once the slot is full, notes are only counted.
class Converter : public SmfListener {
public:
    Converter(SongImage& song, ImportResult& result) : song_(song), result_(result) {}

    void OnMessage(const SmfMessage& m) override {
        const int kind = m.status >> 4;
        if (kind != 0x8 && kind != 0x9) return;
        const bool press = kind == 0x9 && m.data2 > 0;
        if ((m.status & 0x0F) == 9) {
            if (press) ++result_.drums;
            return;
        }
        const int key = m.data1 - kLowestNote;
        if (key < 0 || key >= kKeys) {
            if (press) ++result_.keyless;
            return;
        }
        const int32_t frame = FrameOf(m.ns);
        if (press) {
            ++result_.notes;
            if (sounding_[key] > 0) Emit(key, 0, frame);
            ++sounding_[key];
            Emit(key, 100, frame);
        } else if (sounding_[key] > 0) {
            if (--sounding_[key] == 0) Emit(key, 0, frame);
        }
    }

    void OnEnd(int64_t ns) override {
        int32_t end = FrameOf(ns);
        if (count_ > 0 && song_.events[count_ - 1].nTick > end) end = song_.events[count_ - 1].nTick;
        // Keys the piece leaves down come up where it ends.
        for (int key = 0; key < kKeys; ++key) {
            if (sounding_[key] == 0) continue;
            sounding_[key] = 0;
            Emit(key, 0, end);
        }
        if (full_) {
            DropUnfinished();
            end = count_ > 0 ? song_.events[count_ - 1].nTick : 0;
        }
        for (int e = 0; e < count_; ++e)
            if (song_.events[e].nVelocity > 0) ++result_.kept;
        song_.events[count_] = SongEvent{SONG_END, SONG_END, end};
    }

private:
    void Emit(int key, int16_t velocity, int32_t frame) {
        if (full_) return;
        if (count_ == kImportEvents) {
            // The slot is full: the keys down now have no release in it.
            full_ = true;
            result_.cut = true;
            for (int k = 0; k < kKeys; ++k) downAtCut_[k] = sounding_[k] > 0;
            // A release that did not fit leaves its key's press without one; a press
            // that did not fit is no note of the song at all.
            downAtCut_[key] = velocity == 0;
            return;
        }
        if (velocity > 0) pressAt_[key] = count_;
        song_.events[count_++] = SongEvent{static_cast<int16_t>(key + 1), velocity, frame};
    }

    // Removes the presses of the notes whose release did not fit in the slot.
    void DropUnfinished() {
        bool drop[kImportEvents] = {};
        for (int k = 0; k < kKeys; ++k)
            if (downAtCut_[k]) drop[pressAt_[k]] = true;
        int out = 0;
        for (int e = 0; e < count_; ++e)
            if (!drop[e]) song_.events[out++] = song_.events[e];
        for (int e = out; e < count_; ++e) song_.events[e] = SongEvent{0, 0, 0};
        count_ = out;
    }

    SongImage& song_;
    ImportResult& result_;
    int count_ = 0;
    bool full_ = false;
    int sounding_[kKeys] = {};
    int pressAt_[kKeys] = {};
    bool downAtCut_[kKeys] = {};
};

}  // namespace

ImportResult ImportMidi(const uint8_t* data, size_t size, SongImage& song) {
    ImportResult result;
    ClearImage(song);
    Converter converter(song, result);
    result.error = ReadSmf(data, size, converter);
    if (result.error) {
        ClearImage(song);
        const SmfError error = result.error;
        result = ImportResult{};
        result.error = error;
    }
    return result;
}

}  // namespace clavora
