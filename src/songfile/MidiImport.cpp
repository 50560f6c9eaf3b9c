#include "songfile/MidiImport.h"

namespace clavora {

namespace {

constexpr int kNotes = 128;
constexpr int kLowestNote = 21;   // A0, key number 1
constexpr int kHighestNote = 108;  // C8, key number 88
constexpr int kDrums = 9;          // channel 10

int32_t FrameOf(int64_t ns) { return static_cast<int32_t>((ns + kFrameNanoseconds / 2) / kFrameNanoseconds); }
int16_t KeyNumberOf(int note) { return static_cast<int16_t>(note - 20); }

// Turns note messages into presses and releases of keys, as the program records them,
// notes without a key included. A key struck again on the channel that holds it is
// pressed again, as a MIDI keyboard's repeated Note On is recorded, and its next Note
// Off there lifts it; struck on another channel while it sounds, it is released and
// pressed again in the same frame, and comes up when the last channel's note on it
// ends. The sustain pedal (controller 64, down from 64 up) is kept where it goes down
// or up. Once the slot is full, notes are only counted.
class Converter : public SmfListener {
public:
    Converter(SongImage& song, ImportResult& result) : song_(song), result_(result) {}

    void OnMessage(const SmfMessage& m) override {
        const int kind = m.status >> 4;
        const int channel = m.status & 0x0F;
        if (kind == 0xB && m.data1 == 64 && channel != kDrums) {
            const bool down = m.data2 >= 64;
            if (down == pedal_) return;
            pedal_ = down;
            Emit(PEDAL_KEY, down ? PEDAL_DOWN : PEDAL_UP, FrameOf(m.ns), -1);
            return;
        }
        if (kind != 0x8 && kind != 0x9) return;
        const bool press = kind == 0x9 && m.data2 > 0;
        if (channel == kDrums) {
            if (press) ++result_.drums;
            return;
        }
        const int note = m.data1;
        const uint16_t bit = static_cast<uint16_t>(1u << channel);
        const int32_t frame = FrameOf(m.ns);
        if (press) {
            ++result_.notes;
            if (note < kLowestNote || note > kHighestNote) ++result_.keyless;
            if (sounding_[note] & ~bit) {
                Emit(KeyNumberOf(note), 0, frame, note);
                if (!full_) runStart_[note] = count_;
            } else if (sounding_[note] == 0 && !full_) {
                runStart_[note] = count_;
            }
            sounding_[note] = static_cast<uint16_t>(sounding_[note] | bit);
            Emit(KeyNumberOf(note), 100, frame, note);
        } else if (sounding_[note] & bit) {
            sounding_[note] = static_cast<uint16_t>(sounding_[note] & ~bit);
            if (sounding_[note] == 0) Emit(KeyNumberOf(note), 0, frame, note);
        }
    }

    void OnEnd(int64_t ns) override {
        int32_t end = FrameOf(ns);
        if (count_ > 0 && song_.events[count_ - 1].nTick > end) end = song_.events[count_ - 1].nTick;
        // Keys the piece leaves down come up where it ends; a pedal left down comes up
        // at the end of playback anyway.
        for (int note = 0; note < kNotes; ++note) {
            if (sounding_[note] == 0) continue;
            sounding_[note] = 0;
            Emit(KeyNumberOf(note), 0, end, note);
        }
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
    // note is the MIDI note of a press or release, -1 for the pedal.
    void Emit(int16_t keyNumber, int16_t velocity, int32_t frame, int note) {
        if (full_) return;
        if (count_ == kImportEvents) {
            // The slot is full: the notes down now have no release in it.
            full_ = true;
            result_.cut = true;
            for (int n = 0; n < kNotes; ++n) downAtCut_[n] = sounding_[n] != 0;
            // A release that did not fit leaves its note's presses without one; a press
            // that did not fit is no note of the song at all.
            if (note >= 0) downAtCut_[note] = velocity == 0 || runStart_[note] < count_;
            return;
        }
        song_.events[count_++] = SongEvent{keyNumber, velocity, frame};
    }

    // Removes the presses of the notes whose release did not fit in the slot.
    void DropUnfinished() {
        int out = 0;
        for (int e = 0; e < count_; ++e) {
            const SongEvent& ev = song_.events[e];
            const int note = ev.nKey + 20;
            const bool unfinished = ev.nVelocity > 0 && note >= 0 && note < kNotes && downAtCut_[note] &&
                                    e >= runStart_[note];
            if (!unfinished) song_.events[out++] = ev;
        }
        for (int e = out; e < count_; ++e) song_.events[e] = SongEvent{0, 0, 0};
        count_ = out;
    }

    SongImage& song_;
    ImportResult& result_;
    int count_ = 0;
    bool full_ = false;
    bool pedal_ = false;
    uint16_t sounding_[kNotes] = {};  // by note: the channels whose note on it sounds
    int runStart_[kNotes] = {};       // by note: the event from which its presses are unreleased
    bool downAtCut_[kNotes] = {};
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
