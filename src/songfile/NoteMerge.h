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
// own source's press of the same instant, with nothing older to end, waits for that
// press: a note of no length at all. Fixed storage; nothing is allocated.
#pragma once

#include <cstdint>

namespace clavora {

// Where the merged key movements go, in time order.
class KeySink {
public:
    virtual ~KeySink() = default;
    virtual void KeyDown(int note, int64_t ns) = 0;
    virtual void KeyUp(int note, int64_t ns) = 0;
};

class NoteMerge {
public:
    static constexpr int kNotes = 128;
    // The sources remembered as holding one note; a press beyond them still strikes the
    // key, but its release finds nothing to end.
    static constexpr int kHolders = 16;
    // Presses and waiting releases of one instant; beyond them an instant is taken in parts.
    static constexpr int kPending = 256;

    explicit NoteMerge(KeySink& sink) : sink_(sink) {}

    // source tells the track and channel apart: any number below 65536.
    void Press(int64_t ns, uint16_t source, int note);
    void Release(int64_t ns, uint16_t source, int note);
    // Time has moved on to ns: the instant before it is finished. Presses and releases
    // call it themselves; call it before anything else that happens at ns.
    void MoveTo(int64_t ns);
    // The piece ends at ns: the last instant is finished and every key comes up.
    void End(int64_t ns);

    bool IsDown(int note) const { return held_[note] > 0; }

private:
    struct Pending {
        uint16_t source;
        uint8_t note;
        bool press;  // else a release waiting for the press before it
    };

    void Finish();
    void Hold(uint16_t source, int note);
    // Ends source's hold of note, if it has one; the key comes up when it was the last.
    void Let(uint16_t source, int note, int64_t ns);
    int Find(uint16_t source, int note) const;

    KeySink& sink_;
    int64_t now_ = 0;
    uint8_t held_[kNotes] = {};
    uint16_t holders_[kNotes][kHolders] = {};
    Pending pending_[kPending] = {};
    int pendingCount_ = 0;
};

}  // namespace clavora
