// Merges the notes of every track and channel of a piece onto the one set of keys a
// song has, so that the keys go down and up as a player's would: never pressed while
// down, never released while up.
//
// Each source (a track and channel) holds a note from its press to its release. A key
// is down while any source holds its note; a press of a key that is down already, from
// any source, strikes it again (up and down at once), and the key comes up when the
// last source that holds it lets go. At one instant the releases come before the
// presses, so that a note released and struck at the same time, in whichever order a
// file lists them, is struck again rather than cut; only a release that follows its
// own source's press of the same instant, with nothing older to end, stays after that
// press: a note of no length at all. The keys an instant strikes again come up first,
// then its presses, pedal changes and such releases follow in the order they came:
// a song merged once merges again into itself. Fixed storage; nothing is allocated.
#pragma once

#include <cstdint>

namespace clavora {

// Where the merged key movements go, in time order. Times are instants of whatever unit
// the caller counts in (an imported song's are its frames): all that happens within
// one is at one instant.
class KeySink {
public:
    virtual ~KeySink() = default;
    virtual void KeyDown(int note, int64_t at) = 0;
    virtual void KeyUp(int note, int64_t at) = 0;
    virtual void Pedal(bool down, int64_t at) = 0;
};

class NoteMerge {
public:
    static constexpr int kNotes = 128;
    // The sources remembered as holding one note; a press beyond them still strikes the
    // key, but its release finds nothing to end.
    static constexpr int kHolders = 16;
    // Presses, pedal changes and waiting releases of one instant: more than a song has
    // room for. Beyond them an instant is taken in parts.
    static constexpr int kPending = 8192;

    explicit NoteMerge(KeySink& sink) : sink_(sink) {}

    // source tells the track and channel apart: any number below 65536.
    void Press(int64_t at, uint16_t source, int note);
    void Release(int64_t at, uint16_t source, int note);
    // The sustain pedal goes down or up (only changes are given).
    void Pedal(int64_t at, bool down);
    // The piece ends at instant at: every key comes up. At the last instant itself, the
    // keys down from before it come up ahead of its presses, the others after them.
    void End(int64_t at);

    bool IsDown(int note) const { return held_[note] > 0; }

private:
    enum class Kind : uint8_t { kPress, kRelease, kPedalDown, kPedalUp };
    struct Pending {
        uint16_t source;
        uint8_t note;
        Kind kind;
    };

    // Time has moved on to at: the instant before it is finished.
    void MoveTo(int64_t at);
    void Add(Pending p);
    void Finish();
    void Hold(uint16_t source, int note, bool lifted);
    // Ends source's hold of note, if it has one; the key comes up when it was the last.
    void Let(uint16_t source, int note, int64_t at);
    int Find(uint16_t source, int note) const;

    KeySink& sink_;
    int64_t now_ = 0;
    uint8_t held_[kNotes] = {};
    uint16_t holders_[kNotes][kHolders] = {};
    Pending pending_[kPending] = {};
    int pendingCount_ = 0;
    uint16_t pendingPresses_[kNotes] = {};  // by note: its presses among them
};

}  // namespace clavora
