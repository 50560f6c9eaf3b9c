#include "songfile/NoteMerge.h"

namespace clavora {

int NoteMerge::Find(uint16_t source, int note) const {
    for (int i = 0; i < held_[note]; ++i)
        if (holders_[note][i] == source) return i;
    return -1;
}

void NoteMerge::Hold(uint16_t source, int note) {
    if (held_[note] > 0) {
        // Down already: struck again.
        sink_.KeyUp(note, now_);
    }
    sink_.KeyDown(note, now_);
    if (Find(source, note) < 0 && held_[note] < kHolders) holders_[note][held_[note]++] = source;
}

void NoteMerge::Let(uint16_t source, int note, int64_t ns) {
    const int i = Find(source, note);
    if (i < 0) return;
    holders_[note][i] = holders_[note][--held_[note]];
    if (held_[note] == 0) sink_.KeyUp(note, ns);
}

void NoteMerge::Finish() {
    // The presses of the instant in the order they came, then the releases of notes
    // that began in it.
    for (int i = 0; i < pendingCount_; ++i)
        if (pending_[i].press) Hold(pending_[i].source, pending_[i].note);
    for (int i = 0; i < pendingCount_; ++i)
        if (!pending_[i].press) Let(pending_[i].source, pending_[i].note, now_);
    pendingCount_ = 0;
}

void NoteMerge::MoveTo(int64_t ns) {
    if (ns == now_) return;
    Finish();
    now_ = ns;
}

void NoteMerge::Press(int64_t ns, uint16_t source, int note) {
    MoveTo(ns);
    if (pendingCount_ == kPending) Finish();
    pending_[pendingCount_++] = Pending{source, static_cast<uint8_t>(note), true};
}

void NoteMerge::Release(int64_t ns, uint16_t source, int note) {
    MoveTo(ns);
    if (Find(source, note) >= 0) {
        // Ends the note held from before this instant, ahead of any press in it.
        Let(source, note, ns);
        return;
    }
    for (int i = 0; i < pendingCount_; ++i) {
        const Pending& p = pending_[i];
        if (p.press && p.source == source && p.note == note) {
            if (pendingCount_ == kPending) {
                // No room to wait: the press and its release happen now.
                Finish();
                Let(source, note, ns);
            } else {
                pending_[pendingCount_++] = Pending{source, static_cast<uint8_t>(note), false};
            }
            return;
        }
    }
    // Nothing of this source sounds on the note: a stray release.
}

void NoteMerge::End(int64_t ns) {
    Finish();
    if (ns > now_) now_ = ns;
    for (int note = 0; note < kNotes; ++note) {
        if (held_[note] == 0) continue;
        held_[note] = 0;
        sink_.KeyUp(note, now_);
    }
}

}  // namespace clavora
