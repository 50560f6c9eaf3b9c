// A long session of use, the same every time: clicks all over the window, the keys
// of every command, a MIDI keyboard playing notes and sending odd messages, games
// played to their end, recordings, playbacks and slot changes. After every step each
// member of the window is in its range and every song slot is well formed, nothing is
// allocated once the window runs, and at the end the songs and records survive a
// close and a new start.
//
// 100,000 frames by default (about an hour of use); set CLAVORA_SOAK_FRAMES for a
// longer run (1000000 for eight hours) and CLAVORA_SOAK_SEED for another session.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/AllocationCounter.h"
#include "support/FakePlatform.h"
#include "fuzz/Session.h"

namespace clavora::test {

namespace {

using session::Session;

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

// xorshift64*: the session's own generator, apart from the program's.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed ? seed : 1) {}
    uint32_t Next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return static_cast<uint32_t>((s_ * 2685821657736338717ull) >> 32);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }

private:
    uint64_t s_;
};

// What the session got through, so that a run that never reached a state fails.
struct Coverage {
    long steps = 0, clicks = 0, keys = 0, midi = 0, minimized = 0;
    long recordingsKept = 0, fullSlots = 0, playbacksEnded = 0, slotChanges = 0;
};

// The way a user behaves for a while: mostly playing games, mostly recording songs,
// or anything at all.
enum class Mood { Gamer, Recorder, Anything };

class Soak : public ::testing::Test {
protected:
    Soak() : rng(static_cast<uint64_t>(EnvNumber("CLAVORA_SOAK_SEED", 20240611))) {}

    // One step chosen by the mood; returns what it was, for the failure message.
    const char* Step(Session& s) {
        CPianoDlg& d = s.Window();
        const int r = rng.Below(100);
        switch (mood) {
        case Mood::Gamer:
            if (!IsGameAsking(d) && r < 10) return Key(s, rng.Chance(50) ? 'N' : 'K');
            if (r < 45) return Frame(s);
            if (r < 80) {
                s.Answer(rng.Chance(50));
                return "the right answer";
            }
            if (r < 90) return Key(s, 'A' + static_cast<uint32_t>(rng.Below(7)));
            if (r < 97) return NoteOn(s);
            return Anything(s);
        case Mood::Recorder:
            if (r < 50) return Frame(s);
            if (r < 53) return Key(s, 'R');
            if (r < 56) return Key(s, VK_SPACE);
            if (r < 58) return ClickIn(s, kPlayRect);
            if (r < 59) return ClickIn(s, kStopRect);
            if (r < 61) return ClickIn(s, kSlotArrowsRect);
            if (r < 75) return NoteOn(s);
            if (r < 88) return ClickIn(s, kKeyboardRect);
            if (r < 89) return Burst(s);
            if (r < 94) return Quiet(s);
            return Anything(s);
        case Mood::Anything:
            if (r < 50) return Frame(s);
            return Anything(s);
        }
        return "nothing";
    }

    const char* Anything(Session& s) {
        const int r = rng.Below(100);
        if (r < 25) return ClickIn(s, session::kControls[rng.Below(session::kControlCount)]);
        if (r < 40) return ClickAnywhere(s);
        if (r < 55) return Key(s, session::kCommandKeys[rng.Below(12)]);
        if (r < 75) return NoteOn(s);
        if (r < 85) return OddMidi(s);
        if (r < 90) {
            ++seen.minimized;
            if (!s.MinimizedFrame()) fault = "a frame of the minimized window moved something";
            return "a minimized frame";
        }
        if (r < 95) return Quiet(s);
        s.Answer(rng.Chance(50));
        return "the right answer";
    }

    const char* Frame(Session& s) {
        const bool playing = s.Window().m_bPlaying == 1 && s.Window().m_bRecording == 0;
        s.Frame();
        if (playing && s.Window().m_bPlaying == 0) ++seen.playbacksEnded;
        return "a frame";
    }
    // Frames without any input, long enough for a song to play out.
    const char* Quiet(Session& s) {
        for (int n = 30 + rng.Below(200); n > 0; --n) Frame(s);
        return "quiet frames";
    }
    const char* Key(Session& s, uint32_t vk) {
        ++seen.keys;
        Watch(s, [&] { s.Key(vk); });
        return "a key";
    }
    const char* ClickAt(Session& s, int x, int y) {
        ++seen.clicks;
        Watch(s, [&] { s.Click(x, y, rng.Chance(10)); });
        return "a click";
    }
    const char* ClickIn(Session& s, const HitRect& r) {
        return ClickAt(s, r.x0 + rng.Below(r.x1 - r.x0 + 1), r.y0 + rng.Below(r.y1 - r.y0 + 1));
    }
    // Anywhere in the window, the close region included while a game asks (where it
    // must not close the window).
    const char* ClickAnywhere(Session& s) {
        const int x = rng.Below(kFrameWidth), y = rng.Below(kFrameHeight);
        if (kCloseRect.Contains(x, y) && !IsGameAsking(s.Window())) return Frame(s);
        return ClickAt(s, x, y);
    }
    // A key of the MIDI keyboard pressed or released, now and then beyond the piano.
    const char* NoteOn(Session& s) {
        ++seen.midi;
        const uint32_t note = rng.Chance(90) ? 21 + static_cast<uint32_t>(rng.Below(88))
                                              : static_cast<uint32_t>(rng.Below(128));
        const uint32_t velocity = rng.Chance(45) ? 0 : 1 + static_cast<uint32_t>(rng.Below(127));
        Watch(s, [&] { s.Midi(PackShortMsg(0x90, note, velocity)); });
        return "a MIDI note";
    }
    // Any 32-bit message, now and then with another kind of notice than data.
    const char* OddMidi(Session& s) {
        ++seen.midi;
        const uint32_t msg = rng.Next();
        const uint32_t wMsg = rng.Chance(80) ? MIM_DATA : 0x3C1 + static_cast<uint32_t>(rng.Below(8));
        Watch(s, [&] { s.Midi(msg, wMsg); });
        return "an odd MIDI message";
    }
    // While recording, MIDI notes until the slot is full.
    const char* Burst(Session& s) {
        CPianoDlg& d = s.Window();
        if (d.m_bRecording != 1) return Key(s, 'R');
        for (int i = 0; i < kSongEvents + 10 && d.m_bRecording == 1; ++i) {
            s.Midi(PackShortMsg(0x90, 21 + static_cast<uint32_t>(i / 2 % 88), i % 2 ? 0u : 64u));
            if (i % 50 == 0) s.Frame();
        }
        if (d.m_bRecording == 0 && d.m_nEvent == kSongEvents) ++seen.fullSlots;
        return "a burst of MIDI notes";
    }

    // Counts what a command did to the recorder and the slot.
    template <typename F>
    void Watch(Session& s, F&& command) {
        const CPianoDlg& d = s.Window();
        const int16_t slot = d.m_nSlot, event = d.m_nEvent, recording = d.m_bRecording;
        command();
        if (d.m_nSlot != slot) ++seen.slotChanges;
        if (recording == 1 && d.m_bRecording == 0) {
            if (d.m_nEvent == kSongEvents) ++seen.fullSlots;
            if (!SlotIsEmpty(slot) && event > 0) ++seen.recordingsKept;
        }
    }

    TempDir dir;
    Rng rng;
    Mood mood = Mood::Anything;
    Coverage seen;
    const char* fault = nullptr;  // a rule a step itself found broken
};

TEST_F(Soak, EveryMemberStaysInRangeAndNothingIsAllocated) {
    const long frames = EnvNumber("CLAVORA_SOAK_FRAMES", 100000);
    ASSERT_TRUE(AllocationsAreCounted()) << "this test program does not count allocations";
    Session s;
    CPianoDlg& d = s.Window();
    const long startFrames = s.platform.presented;

    g_allocations = 0;
    g_countAllocations = true;
    const char* bad = nullptr;
    const char* what = "the start";
    while (s.platform.presented - startFrames < frames) {
        if (seen.steps % 2000 == 0) mood = static_cast<Mood>(rng.Below(3));
        what = Step(s);
        ++seen.steps;
        bad = session::CheckWindow(d);
        if (!bad && seen.steps % 4096 == 0) bad = session::CheckAllSlots(d);
        if (!bad) bad = fault;
        if (bad || s.platform.badMessage || s.platform.badSound)
            break;
    }
    g_countAllocations = false;
    const long allocations = g_allocations;

    SCOPED_TRACE("step " + std::to_string(seen.steps) + ", frame " +
                 std::to_string(s.platform.presented - startFrames) + ", after " + what);
    ASSERT_TRUE(bad == nullptr) << bad;
    ASSERT_EQ(session::CheckAllSlots(d), nullptr) << session::CheckAllSlots(d);
    ASSERT_EQ(s.platform.badMessage, 0u) << std::hex << "MIDI message " << s.platform.badMessage;
    ASSERT_EQ(s.platform.badSound, 0) << "sound";
    EXPECT_EQ(allocations, 0) << "allocations while the window ran";

    // The session went everywhere it should have.
    EXPECT_GT(s.platform.gamesFinished, 0);
    EXPECT_GT(s.platform.records, 0);
    EXPECT_GT(seen.recordingsKept, 0);
    EXPECT_GT(seen.fullSlots, 0);
    EXPECT_GT(seen.playbacksEnded, 0);
    EXPECT_GT(seen.slotChanges, 0);
    EXPECT_GT(seen.minimized, 0);
    std::printf("soak: %ld frames, %ld steps: %ld clicks, %ld keys, %ld MIDI messages, %ld games "
                "finished (%ld records), %ld songs kept, %ld slots filled, %ld playbacks ended, %ld "
                "slot changes, %ld minimized frames\n",
                static_cast<long>(s.platform.presented - startFrames), seen.steps, seen.clicks,
                seen.keys, seen.midi, static_cast<long>(s.platform.gamesFinished),
                static_cast<long>(s.platform.records), seen.recordingsKept, seen.fullSlots,
                seen.playbacksEnded, seen.slotChanges, seen.minimized);

    // Closed as Escape closes it, with the records written after; then started again.
    d.OnCancel();
    d.OnDestroy();
    SaveBestRecords();
    const std::vector<SongEvent> store(&g_aSongs[0][0], &g_aSongs[0][0] + kSongEvents * kSongSlots);
    const int32_t bestLetter = g_nBestTimeLetter, bestPiano = g_nBestTimePiano;
    const int16_t mistakesLetter = g_nBestMistakesLetter, mistakesPiano = g_nBestMistakesPiano;
    Session again;
    EXPECT_EQ(g_nBestTimeLetter, bestLetter);
    EXPECT_EQ(g_nBestTimePiano, bestPiano);
    EXPECT_EQ(g_nBestMistakesLetter, mistakesLetter);
    EXPECT_EQ(g_nBestMistakesPiano, mistakesPiano);
    int songs = 0;
    for (int slot = 0; slot < kSongSlots; ++slot) {
        const auto old = [&](int e) { return store[static_cast<size_t>(e) * kSongSlots + slot]; };
        if (IsEndMarker(old(0))) {
            EXPECT_TRUE(SlotIsEmpty(slot)) << "slot " << slot;
            continue;
        }
        ++songs;
        for (int e = 0; e < kSongEvents; ++e) {
            ASSERT_EQ(g_aSongs[e][slot], old(e)) << "slot " << slot << ", event " << e;
            if (IsEndMarker(old(e))) break;
        }
    }
    EXPECT_GT(songs, 0);
}

// The picture the window shows after a step: the back buffer, which holds the last frame
// presented (it is written only to compose a frame, and every frame composed is presented).
uint64_t PictureHash(const Session& s) {
    const uint32_t* p = s.platform.lastFrame;
    if (!p) return 0;
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < static_cast<size_t>(kFrameWidth) * kFrameHeight; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// The soak's session twice, once composing every frame and once leaving out each frame
// drawn as the one the window shows and every tick the window says moves nothing:
// after every step both windows show the same picture, and are in the same state.
TEST_F(Soak, FramesLeftOutWouldHaveBeenTheSame) {
    const long steps = EnvNumber("CLAVORA_SOAK_COMPARE_STEPS", 4000);
    std::vector<uint64_t> pictures;
    std::vector<int64_t> clocks;
    std::vector<int16_t> blinks;
    int64_t composed[2] = {0, 0}, kept = 0, held = 0;
    for (const bool keep : {false, true}) {
        for (int slot = 0; slot < kSongSlots; ++slot) ClearSlot(slot);
        TempDir own;
        rng = Rng(static_cast<uint64_t>(EnvNumber("CLAVORA_SOAK_SEED", 20240611)));
        mood = Mood::Anything;
        seen = Coverage{};
        Session s;
        s.platform.keepUnchanged = keep;
        s.platform.holdClock = keep;
        for (long n = 0; n < steps; ++n) {
            if (n % 500 == 0) mood = static_cast<Mood>(rng.Below(3));
            const char* what = Step(s);
            const uint64_t picture = PictureHash(s);
            const int64_t clock = s.Window().m_nTick * 1000 + s.Window().m_nElapsed;
            if (!keep) {
                pictures.push_back(picture);
                clocks.push_back(clock);
                blinks.push_back(s.Window().m_nBlink);
                continue;
            }
            if (s.platform.held) {
                held += 1;
            } else {
                // The blink catches up with the ticks held back as soon as they end.
                ASSERT_EQ(s.Window().m_nBlink, blinks[static_cast<size_t>(n)])
                    << "step " << n << ", after " << what;
            }
            ASSERT_EQ(picture, pictures[static_cast<size_t>(n)]) << "step " << n << ", after " << what;
            ASSERT_EQ(clock, clocks[static_cast<size_t>(n)]) << "step " << n << ", after " << what;
        }
        composed[keep] = s.platform.presented;
        kept = s.platform.kept;
        // The blink, once the clock runs again, as the first run had it at the end.
        s.Wake();
        if (keep) {
            EXPECT_EQ(s.Window().m_nBlink, blinks.back());
        }
    }
    EXPECT_GT(held, steps / 80) << "the clock was hardly ever held";
    // The second run did leave frames out, and composed every one the first run had
    // that it did not leave out.
    EXPECT_GT(kept, composed[1] / 2);
    EXPECT_LE(composed[1] + kept, composed[0]);
}

}  // namespace
}  // namespace clavora::test
