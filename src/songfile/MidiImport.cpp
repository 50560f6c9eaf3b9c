#include "songfile/MidiImport.h"

#include "songfile/NoteMerge.h"

namespace clavora {

namespace {

constexpr int kNotes = 128;
constexpr int kLowestNote = 21;   // A0, key number 1
constexpr int kHighestNote = 108;  // C8, key number 88
constexpr int kDrums = 9;          // channel 10

int32_t FrameOf(int64_t ns) { return static_cast<int32_t>((ns + kFrameNanoseconds / 2) / kFrameNanoseconds); }
int16_t KeyNumberOf(int note) { return static_cast<int16_t>(note - 20); }

// Turns note messages into presses and releases of keys, as the program records them,
// notes without a key included: the notes of all tracks and channels merged onto the
// keys (see NoteMerge), so that a key is never pressed while down nor released while up
// and comes up at the latest where the piece ends. The sustain pedal (controller 64,
// down from 64 up) is kept where it goes down or up. Once the slot is full, notes are
// only counted, and the notes whose release did not fit leave it.
class Converter : public SmfListener, private KeySink {
public:
    Converter(SongImage& song, ImportResult& result) : song_(song), result_(result) {}

    void OnMessage(const SmfMessage& m) override {
        const int kind = m.status >> 4;
        const int channel = m.status & 0x0F;
        if (kind == 0xB && m.data1 == 64 && channel != kDrums) {
            const bool down = m.data2 >= 64;
            if (down == pedal_) return;
            pedal_ = down;
            merge_.Pedal(FrameOf(m.ns), down);
            return;
        }
        if (kind != 0x8 && kind != 0x9) return;
        const bool press = kind == 0x9 && m.data2 > 0;
        if (channel == kDrums) {
            if (press) ++result_.drums;
            return;
        }
        const int note = m.data1;
        const uint16_t source = static_cast<uint16_t>(m.track << 4 | channel);
        if (press) {
            ++result_.notes;
            if (note < kLowestNote || note > kHighestNote) ++result_.keyless;
            merge_.Press(FrameOf(m.ns), source, note);
        } else {
            merge_.Release(FrameOf(m.ns), source, note);
        }
    }

    void OnEnd(int64_t ns) override {
        int32_t end = FrameOf(ns);
        merge_.End(end);
        if (count_ > 0 && song_.events[count_ - 1].nTick > end) end = song_.events[count_ - 1].nTick;
        if (full_) {
            DropUnfinished();
            end = count_ > 0 ? song_.events[count_ - 1].nTick : 0;
        }
        for (int e = 0; e < count_; ++e) {
            if (song_.events[e].nVelocity > 0) ++result_.kept;
            if (IsPedalEvent(song_.events[e])) ++result_.pedals;
        }
        if (result_.kept == 0) {
            // A pedal without a note is no song.
            ClearImage(song_);
            result_.pedals = 0;
            return;
        }
        song_.events[count_] = SongEvent{SONG_END, SONG_END, end};
    }

private:
    // The merge counts in frames.
    void KeyDown(int note, int64_t frame) override {
        const int at = count_;
        if (!Emit(KeyNumberOf(note), 100, static_cast<int32_t>(frame))) return;
        down_[note] = true;
        lastPress_[note] = at;
    }
    void KeyUp(int note, int64_t frame) override {
        if (Emit(KeyNumberOf(note), 0, static_cast<int32_t>(frame))) down_[note] = false;
    }
    void Pedal(bool down, int64_t frame) override {
        Emit(PEDAL_KEY, down ? PEDAL_DOWN : PEDAL_UP, static_cast<int32_t>(frame));
    }

    // Appends the event while the slot has room; false once it is full.
    bool Emit(int16_t keyNumber, int16_t velocity, int32_t frame) {
        if (full_) return false;
        if (count_ == kImportEvents) {
            full_ = true;
            result_.cut = true;
            return false;
        }
        song_.events[count_++] = SongEvent{keyNumber, velocity, frame};
        return true;
    }

    // Removes the last press of every key that is down where the slot filled: its
    // release did not fit. (A key is never pressed while down, so that press is its only
    // unfinished one.)
    void DropUnfinished() {
        int out = 0;
        for (int e = 0; e < count_; ++e) {
            const SongEvent& ev = song_.events[e];
            const int note = ev.nKey + 20;
            const bool unfinished = ev.nVelocity > 0 && !IsPedalEvent(ev) && note >= 0 && note < kNotes &&
                                    down_[note] && lastPress_[note] == e;
            if (!unfinished) song_.events[out++] = ev;
        }
        for (int e = out; e < count_; ++e) song_.events[e] = SongEvent{0, 0, 0};
        count_ = out;
    }

    SongImage& song_;
    ImportResult& result_;
    NoteMerge merge_{*this};
    int count_ = 0;
    bool full_ = false;
    bool pedal_ = false;
    bool down_[kNotes] = {};      // by note: down in the song as far as it fits
    int lastPress_[kNotes] = {};  // by note: the event of its latest press
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
