#include "songfile/NoteMerge.h"

namespace clavora {

int NoteMerge::Find(uint16_t source, int note) const {
    for (int i = 0; i < held_[note]; ++i)
        if (holders_[note][i] == source) return i;
    return -1;
}

// lifted: the key was let up at the start of this instant, to be struck again.
void NoteMerge::Hold(uint16_t source, int note, bool lifted) {
    if (held_[note] > 0 && !lifted) {
        // Down already, from this instant: struck again.
        sink_.KeyUp(note, now_);
    }
    sink_.KeyDown(note, now_);
    if (Find(source, note) < 0 && held_[note] < kHolders) holders_[note][held_[note]++] = source;
}

void NoteMerge::Let(uint16_t source, int note, int64_t at) {
    const int i = Find(source, note);
    if (i < 0) return;
    holders_[note][i] = holders_[note][--held_[note]];
    if (held_[note] == 0) sink_.KeyUp(note, at);
}

void NoteMerge::Finish() {
    // The keys struck again come up first, once each; then the rest in the order it came.
    bool lifted[kNotes] = {};
    for (int i = 0; i < pendingCount_; ++i) {
        const Pending& p = pending_[i];
        if (p.kind != Kind::kPress || lifted[p.note] || held_[p.note] == 0) continue;
        lifted[p.note] = true;
        sink_.KeyUp(p.note, now_);
    }
    for (int i = 0; i < pendingCount_; ++i) {
        const Pending& p = pending_[i];
        switch (p.kind) {
        case Kind::kPress:
            Hold(p.source, p.note, lifted[p.note]);
            lifted[p.note] = false;
            pendingPresses_[p.note] = 0;
            break;
        case Kind::kRelease: Let(p.source, p.note, now_); break;
        case Kind::kPedalDown: sink_.Pedal(true, now_); break;
        case Kind::kPedalUp: sink_.Pedal(false, now_); break;
        }
    }
    pendingCount_ = 0;
}

void NoteMerge::MoveTo(int64_t at) {
    if (at == now_) return;
    Finish();
    now_ = at;
}

void NoteMerge::Add(Pending p) {
    if (pendingCount_ == kPending) Finish();
    pending_[pendingCount_++] = p;
    if (p.kind == Kind::kPress) ++pendingPresses_[p.note];
}

void NoteMerge::Press(int64_t at, uint16_t source, int note) {
    MoveTo(at);
    Add(Pending{source, static_cast<uint8_t>(note), Kind::kPress});
}

void NoteMerge::Pedal(int64_t at, bool down) {
    MoveTo(at);
    Add(Pending{0, 0, down ? Kind::kPedalDown : Kind::kPedalUp});
}

void NoteMerge::Release(int64_t at, uint16_t source, int note) {
    MoveTo(at);
    if (Find(source, note) >= 0) {
        // Ends the note held from before this instant, ahead of any press in it.
        Let(source, note, at);
        return;
    }
    if (pendingPresses_[note] == 0) return;  // nothing of this source sounds on it: a stray release
    for (int i = 0; i < pendingCount_; ++i) {
        const Pending& p = pending_[i];
        if (p.kind == Kind::kPress && p.source == source && p.note == note) {
            Add(Pending{source, static_cast<uint8_t>(note), Kind::kRelease});
            return;
        }
    }
}

void NoteMerge::End(int64_t at) {
    if (at == now_) {
        for (int note = 0; note < kNotes; ++note) {
            if (held_[note] == 0 || pendingPresses_[note] > 0) continue;
            held_[note] = 0;
            sink_.KeyUp(note, now_);
        }
    }
    Finish();
    if (at > now_) now_ = at;
    for (int note = 0; note < kNotes; ++note) {
        if (held_[note] == 0) continue;
        held_[note] = 0;
        sink_.KeyUp(note, now_);
    }
}

}  // namespace clavora
