// A run of the main window driven one step at a time, shared by the soak test and the
// fuzz targets: a platform that allocates nothing and checks every message and sound
// the program sends, the steps a user and a MIDI keyboard can take, and the rules that
// every member of the window and every song slot must keep after any step.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/PianoDlg.h"
#include "game/Game.h"
#include "input/Commands.h"
#include "piano/Keys.h"
#include "platform/resources/Resources.h"
#include "recorder/Songs.h"

namespace clavora::session {

// A platform without a window, a synthesizer or a clock of its own. The clock moves
// 30 ms with every frame the session asks for; the random generator is a fixed LCG, so
// a run is the same every time. What the program sends is checked as it arrives.
class QuietPlatform : public Platform {
public:
    void RunModal(WindowHandler& handler) override {
        handler.OnInitDialog();
        handler.OnDestroy();
    }
    void EndModal() override { modalEnded = true; }
    void Present(const Frame& frame) override {
        lastFrame = frame.pixels;
        ++presented;
    }
    bool IsMinimized() override { return minimized; }
    // With keepUnchanged, a frame drawn as the last one presented is not composed again.
    bool ShowsLastFrame() override {
        if (!keepUnchanged || presented == 0) return false;
        ++kept;
        return true;
    }
    void DrawIcon(int, int) override { ++icons; }
    bool StartFrameTimer(int) override {
        held = false;
        return true;
    }
    void StopFrameTimer() override { held = false; }
    // With holdClock, the frames the window says change nothing are not asked for.
    void HoldFrameTimer() override {
        if (holdClock) held = true;
    }
    bool MidiOutOpen() override { return true; }
    void MidiOutClose() override {}
    bool MidiInOpen(MidiInCallback callback, uintptr_t instance) override {
        midiIn = callback;
        midiInInstance = instance;
        return true;
    }
    void MidiInClose() override { midiIn = nullptr; }
    int32_t Time() override { return static_cast<int32_t>(1000000 + milliseconds / 1000); }
    void SeedRandom(uint32_t) override { lcg = 12345; }
    int32_t Random() override {
        lcg = lcg * 1103515245u + 12345u;
        return static_cast<int32_t>((lcg >> 16) & 0x7FFF);
    }
    ResourceBytes FindResource(int id) override { return FindEmbeddedResource(id); }

    // Only Note On on the first channel with velocity 112 or 0, Program Change, and the
    // sustain pedal (controller 64) down at 127 or up at 0, with data bytes of 0..127,
    // may leave the program.
    void MidiOutShortMsg(uint32_t msg) override {
        ++messages;
        const uint32_t status = msg & 0xFF, data1 = (msg >> 8) & 0xFF, data2 = (msg >> 16) & 0xFF;
        const bool ok = (msg >> 24) == 0 && data1 < 0x80 &&
                        ((status == 0x90 && (data2 == kNoteVelocity || data2 == 0)) ||
                         (status == 0xC0 && data2 == 0) ||
                         (status == 0xB0 && data1 == 64 && (data2 == 127 || data2 == 0)));
        if (!ok && badMessage == 0) badMessage = msg | 0x100000000ull;
    }
    // Only the six sounds of the game exist.
    void PlaySound(int id) override {
        ++sounds;
        const bool ok = id == IDW_CORRECT || id == IDW_FINISHED || id == IDW_WRONG ||
                        id == IDW_CORRECT_ALT || id == IDW_NEW_RECORD || id == IDW_NEW_GAME;
        if (!ok && badSound == 0) badSound = id;
        if (id == IDW_NEW_RECORD) ++records;
        if (id == IDW_NEW_RECORD || id == IDW_FINISHED) ++gamesFinished;
    }

    int64_t milliseconds = 0;
    bool minimized = false;
    bool keepUnchanged = false;
    bool holdClock = false;
    bool held = false;
    int64_t heldTicks = 0;  // ticks held back since the clock was held
    int64_t kept = 0;  // frames not composed because the window showed them already
    bool modalEnded = false;
    MidiInCallback midiIn = nullptr;
    uintptr_t midiInInstance = 0;
    const uint32_t* lastFrame = nullptr;
    uint32_t lcg = 12345;

    // What was sent, and the first thing that should not have been (0: none).
    int64_t presented = 0, icons = 0, messages = 0, sounds = 0, records = 0, gamesFinished = 0;
    uint64_t badMessage = 0;
    int badSound = 0;
};

// The keys of the computer keyboard that do something.
constexpr uint32_t kCommandKeys[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'N', 'K', 'J', 'R', VK_SPACE};

// The controls of the window, without the close region; a click picks a point in one.
constexpr HitRect kControls[] = {kLetterModeRect, kPianoModeRect, kFreePlayRect, kRecordRect,
                                 kStopRect,       kPlayRect,      kPresetsRect,  kProgramArrowsRect,
                                 kSlotArrowsRect, kKeyboardRect};
constexpr int kControlCount = static_cast<int>(sizeof kControls / sizeof kControls[0]);

// The highest scroll offset: every one of a game's answers given within one frame.
constexpr int kMaxScroll = 75 * QUIZ_NOTES;

// Checks the rules of one song slot. While the slot is being recorded into, the events
// before m_nEvent are what has been recorded. Otherwise the slot is empty, or a run of
// recorded events in time order ended by an end marker no earlier than its last event,
// or full: 4000 such events. A recorded event is a press (100) or a release (0) of a
// key number that some note can give (-20..235), or the sustain pedal going down or
// up, at a tick of 0 or more.
inline const char* CheckSlot(int slot, bool recordingHere, int recorded, char* why, size_t size) {
    const auto recordedEvent = [](const SongEvent& e) {
        return (((e.nVelocity == 0 || e.nVelocity == 100) && e.nKey >= -20 && e.nKey <= 235) ||
                IsPedalEvent(e)) &&
               e.nTick >= 0;
    };
    const int end = recordingHere ? recorded : kSongEvents;
    int32_t tick = 0;
    for (int e = 0; e < end; ++e) {
        const SongEvent& ev = g_aSongs[e][slot];
        if (!recordingHere && IsEndMarker(ev)) {
            if (ev.nTick < tick) {
                std::snprintf(why, size, "slot %d: end marker at %d has tick %d before %d", slot, e,
                              ev.nTick, tick);
                return why;
            }
            return nullptr;
        }
        if (!recordedEvent(ev) || ev.nTick < tick) {
            std::snprintf(why, size, "slot %d event %d is {%d, %d, %d} after tick %d%s", slot, e,
                          ev.nKey, ev.nVelocity, ev.nTick, tick, recordingHere ? " (recording)" : "");
            return why;
        }
        tick = ev.nTick;
    }
    return nullptr;
}

// Checks every member of the window against its range and the rules that tie members
// together. Returns nullptr, or what is wrong (in a buffer of its own; no allocation).
inline const char* CheckWindow(const CPianoDlg& d) {
    static char why[256];
    const auto fail = [](const char* name, long value) {
        std::snprintf(why, sizeof why, "%s is %ld", name, value);
        return why;
    };
    const auto in = [](long v, long lo, long hi) { return v >= lo && v <= hi; };

    if (!in(d.m_nEvent, 0, kSongEvents)) return fail("m_nEvent", d.m_nEvent);
    if (!in(d.m_nSlot, 0, 127)) return fail("m_nSlot", d.m_nSlot);
    if (!in(d.m_nProgram, 0, 127)) return fail("m_nProgram", d.m_nProgram);
    if (!in(d.m_nPreset, -1, 9)) return fail("m_nPreset", d.m_nPreset);
    for (int i = 0; i < 10; ++i)
        if (d.m_nPresets[i] != kPresetPrograms[i]) return fail("m_nPresets[i] changed, i", i);
    // The marked preset is the one that holds the current program, or none holds it.
    int16_t preset = -1;
    for (int16_t i = 0; i < 10; ++i)
        if (d.m_nPresets[i] == d.m_nProgram) preset = i;
    if (preset != d.m_nPreset) return fail("m_nPreset does not match the program, m_nPreset", d.m_nPreset);

    for (int k = 0; k < kKeyCount; ++k) {
        const int16_t s = d.m_nKeyState[k];
        if (!in(s, 0, KEY_CLICK) && s != KEY_HELD) {
            std::snprintf(why, sizeof why, "m_nKeyState[%d] is %d", k, s);
            return why;
        }
    }
    const int16_t flashes[] = {d.m_nFlashMarker,   d.m_nFlashProgUp, d.m_nFlashProgDown,
                               d.m_nFlashMode,     d.m_nFlashSlotUp, d.m_nFlashSlotDown,
                               d.m_nFlashRecord,   d.m_nFlashStop,   d.m_nFlashPlay};
    for (int i = 0; i < 9; ++i)
        if (!in(flashes[i], 0, 5)) return fail("flash counter (marker, prog up, ..., play) no.", i);
    if (!in(d.m_nRecBlink, 0, 29)) return fail("m_nRecBlink", d.m_nRecBlink);
    if (!in(d.m_nPlayBlink, 0, 29)) return fail("m_nPlayBlink", d.m_nPlayBlink);
    if (!in(d.m_nBlink, 0, 20)) return fail("m_nBlink", d.m_nBlink);
    if (!in(d.m_nScroll, 0, kMaxScroll) || d.m_nScroll % 5 != 0) return fail("m_nScroll", d.m_nScroll);

    // The game: no game is free play with nothing counted; a dealt game asks each of
    // the 29 white keys from C2 once, and its letters follow the staff from C.
    if (!in(d.m_nQuestion, -1, QUIZ_NOTES)) return fail("m_nQuestion", d.m_nQuestion);
    if (!in(d.m_nMistakes, 0, 99)) return fail("m_nMistakes", d.m_nMistakes);
    if (!in(d.m_nMode, MODE_FREE, MODE_LETTER)) return fail("m_nMode", d.m_nMode);
    if ((d.m_nQuestion == -1) != (d.m_nMode == MODE_FREE))
        return fail("m_nMode and m_nQuestion disagree, m_nQuestion", d.m_nQuestion);
    if (d.m_nQuestion == -1 && d.m_nMistakes != 0) return fail("mistakes without a game", d.m_nMistakes);
    if (d.m_nQuestion >= 0) {
        bool seen[kKeyCount] = {};
        for (int i = 0; i < QUIZ_NOTES; ++i) {
            const int16_t k = d.m_nQuizKeys[i];
            if (!in(k, 15, 63) || IsBlackKey(k) || seen[k]) return fail("m_nQuizKeys[i], i", i);
            seen[k] = true;
        }
        static constexpr char kLetters[] = "CDEFGAB";
        for (int s = 0; s < QUIZ_NOTES; ++s)
            if (d.m_nLetters[s] != kLetters[s % 7]) return fail("m_nLetters[s], s", s);
        if (!in(d.m_nMiddleCClef, 0, 1)) return fail("m_nMiddleCClef", d.m_nMiddleCClef);
        if (d.m_nElapsed < 0) return fail("m_nElapsed", d.m_nElapsed);
    }
    if (!in(g_nBestTimeLetter, 0, kNoRecordTime)) return fail("g_nBestTimeLetter", g_nBestTimeLetter);
    if (!in(g_nBestTimePiano, 0, kNoRecordTime)) return fail("g_nBestTimePiano", g_nBestTimePiano);
    if (!in(g_nBestMistakesLetter, 0, kNoRecordMistakes))
        return fail("g_nBestMistakesLetter", g_nBestMistakesLetter);
    if (!in(g_nBestMistakesPiano, 0, kNoRecordMistakes))
        return fail("g_nBestMistakesPiano", g_nBestMistakesPiano);

    // The recorder.
    if (!in(d.m_bRecording, 0, 1)) return fail("m_bRecording", d.m_bRecording);
    if (!in(d.m_bPlaying, 0, 1)) return fail("m_bPlaying", d.m_bPlaying);
    if (!in(d.m_bPedal, 0, 1)) return fail("m_bPedal", d.m_bPedal);
    if (d.m_bRecording == 1 && d.m_nEvent >= kSongEvents) return fail("recording at m_nEvent", d.m_nEvent);
    if (d.m_nTick < 0) return fail("m_nTick", d.m_nTick);
    if (d.m_bClosing != 0) return fail("m_bClosing", d.m_bClosing);
    return CheckSlot(d.m_nSlot, d.m_bRecording == 1, d.m_nEvent, why, sizeof why);
}

// Checks every slot; the window's own slot as it is being recorded, if it is.
inline const char* CheckAllSlots(const CPianoDlg& d) {
    static char why[160];
    for (int s = 0; s < kSongSlots; ++s) {
        const bool recordingHere = s == d.m_nSlot && d.m_bRecording == 1;
        if (const char* bad = CheckSlot(s, recordingHere, d.m_nEvent, why, sizeof why)) return bad;
    }
    return nullptr;
}

// The members that a frame of a minimized window must leave alone.
struct Moving {
    int16_t keys[kKeyCount];
    int16_t flashes[9];
    int16_t blinks[3];
    int16_t scroll, event, recording, playing;
    int32_t tick;

    explicit Moving(const CPianoDlg& d)
        : keys(), flashes{d.m_nFlashMarker, d.m_nFlashProgUp, d.m_nFlashProgDown,
                          d.m_nFlashMode,   d.m_nFlashSlotUp, d.m_nFlashSlotDown,
                          d.m_nFlashRecord, d.m_nFlashStop,   d.m_nFlashPlay},
          blinks{d.m_nBlink, d.m_nRecBlink, d.m_nPlayBlink}, scroll(d.m_nScroll),
          event(d.m_nEvent), recording(d.m_bRecording), playing(d.m_bPlaying), tick(d.m_nTick) {
        std::memcpy(keys, d.m_nKeyState, sizeof keys);
    }
    bool operator==(const Moving& o) const {
        return std::memcmp(keys, o.keys, sizeof keys) == 0 &&
               std::memcmp(flashes, o.flashes, sizeof flashes) == 0 &&
               std::memcmp(blinks, o.blinks, sizeof blinks) == 0 && scroll == o.scroll &&
               event == o.event && recording == o.recording && playing == o.playing &&
               tick == o.tick;
    }
};

// The main window made as the application makes it, in the working directory, with
// its frame clock and MIDI input opened and its first frame drawn; then driven by steps.
class Session {
public:
    Session() {
        LoadBestRecords();
        dlg.emplace(platform);
        g_pMainDlg = &*dlg;
        dlg->OnInitDialog();
        Frame();
    }
    ~Session() {
        if (g_pMainDlg == &*dlg) g_pMainDlg = nullptr;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CPianoDlg& Window() { return *dlg; }

    // One frame of the frame clock, 30 ms after the last one; none while it is held.
    void Frame() {
        platform.milliseconds += 30;
        if (platform.held) {
            ++platform.heldTicks;
            return;
        }
        dlg->OnTimer();
    }
    // Any input runs a held clock again, telling the window the ticks held back first.
    void Wake() {
        if (!platform.held) return;
        platform.held = false;
        dlg->OnTicksHeld(platform.heldTicks);
        platform.heldTicks = 0;
    }
    // A frame while the window is minimized: nothing may move. Returns false if it did.
    bool MinimizedFrame() {
        Wake();
        const Moving before(*dlg);
        platform.minimized = true;
        platform.milliseconds += 30;
        dlg->OnTimer();
        platform.minimized = false;
        return Moving(*dlg) == before;
    }
    // A left click at a point of the client area; double says it is a double-click's
    // second press. The close region closes the window only between games.
    void Click(int x, int y, bool twice = false) {
        Wake();
        if (twice)
            dlg->OnLButtonDblClk(x, y);
        else
            dlg->OnLButtonDown(x, y);
    }
    // A key of the computer keyboard pressed and released.
    void Key(uint32_t vk) {
        Wake();
        dlg->OnKeyDown(vk);
        dlg->OnKeyUp(vk);
    }
    // One message from the MIDI input device, as its driver delivers it.
    void Midi(uint32_t msg, uint32_t wMsg = MIM_DATA) {
        Wake();
        if (platform.midiIn) platform.midiIn(nullptr, wMsg, platform.midiInInstance, msg, 0);
    }

    // The right answer to the game's question, if one is asked: its letter in a letter
    // game, its key on the piano (a click, or a MIDI press) in a piano game.
    void Answer(bool byMidi) {
        const CPianoDlg& d = *dlg;
        if (!IsGameAsking(d)) return;
        const int16_t key = d.m_nQuizKeys[d.m_nQuestion];
        if (d.m_nMode == MODE_LETTER) {
            Key(static_cast<uint32_t>(d.m_nLetters[g_nStaffPos[key]]));
        } else if (byMidi) {
            Midi(PackShortMsg(0x90, static_cast<uint32_t>(key + 21), 80));
            Midi(PackShortMsg(0x90, static_cast<uint32_t>(key + 21), 0));
        } else {
            ClickKey(key);
        }
    }
    // A click on a key: on the lower part of a white key, on a black key's upper part.
    void ClickKey(int16_t key) {
        const int y = IsBlackKey(key) ? 440 : 490;
        for (int x = kKeyboardRect.x0; x <= kKeyboardRect.x1; ++x) {
            if (KeyAtPoint(x, y) == key) {
                Click(x, y);
                return;
            }
        }
    }

    QuietPlatform platform;
    std::optional<CPianoDlg> dlg;
};

}  // namespace clavora::session
