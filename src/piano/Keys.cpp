#include "piano/Keys.h"

#include <array>

#include "app/PianoDlg.h"
#include "game/Game.h"
#include "recorder/Songs.h"

namespace clavora {

namespace {

// Pitch class of a key index: 0 is C, 1 C#, ..., 11 B.
constexpr int PitchClass(int key) { return (key + 21) % 12; }
constexpr bool IsBlackPitch(int pc) { return pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10; }

constexpr std::array<int16_t, kKeyCount> MakeKeyShape() {
    // Outline by pitch class for the white keys: C 2, D 3, E 4, F 5, G 6, A 7, B 8.
    constexpr int16_t byPitch[12] = {2, 10, 3, 10, 4, 5, 10, 6, 10, 7, 10, 8};
    std::array<int16_t, kKeyCount> t{};
    for (int k = 0; k < kKeyCount; ++k) t[k] = byPitch[PitchClass(k)];
    t[0] = 0;   // A0: only a black key to its right
    t[2] = 1;   // B0: only a black key to its left
    t[87] = 9;  // C8: no black key beside it
    return t;
}

constexpr std::array<int16_t, kKeyCount> MakeStaffPos() {
    std::array<int16_t, kKeyCount> t{};
    int16_t step = 0;
    for (int k = 0; k < kKeyCount; ++k) {
        t[k] = -1;
        if (k >= 15 && k <= 65 && !IsBlackPitch(PitchClass(k))) t[k] = step++;
    }
    return t;
}

constexpr auto kShape = MakeKeyShape();
constexpr auto kStaff = MakeStaffPos();
static_assert(kStaff[15] == 0 && kStaff[39] == 14 && kStaff[63] == 28 && kStaff[65] == 29);
static_assert(kShape[1] == kBlackKey && kShape[3] == 2 && kShape[86] == 8);

}  // namespace

#define CLAVORA_TABLE(t) \
    { t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9], t[10], t[11], t[12], t[13], \
      t[14], t[15], t[16], t[17], t[18], t[19], t[20], t[21], t[22], t[23], t[24], t[25], \
      t[26], t[27], t[28], t[29], t[30], t[31], t[32], t[33], t[34], t[35], t[36], t[37], \
      t[38], t[39], t[40], t[41], t[42], t[43], t[44], t[45], t[46], t[47], t[48], t[49], \
      t[50], t[51], t[52], t[53], t[54], t[55], t[56], t[57], t[58], t[59], t[60], t[61], \
      t[62], t[63], t[64], t[65], t[66], t[67], t[68], t[69], t[70], t[71], t[72], t[73], \
      t[74], t[75], t[76], t[77], t[78], t[79], t[80], t[81], t[82], t[83], t[84], t[85], \
      t[86], t[87] }

const int16_t g_nKeyShape[kKeyCount] = CLAVORA_TABLE(kShape);
const int16_t g_nStaffPos[kKeyCount] = CLAVORA_TABLE(kStaff);
#undef CLAVORA_TABLE

const int16_t g_nBlackKeyOffset[12] = {0, -5, 0, -3, 0, 0, -6, 0, -4, 0, -2, 0};

const int16_t kPresetPrograms[10] = {0, 4, 6, 7, 16, 19, 20, 53, 61, 49};

void CPianoDlg::SetKey(int16_t key, int16_t value) {
    if (key == -1) {
        // Release all keys: every sounding key fades out over KEY_RELEASE frames.
        for (int16_t& state : m_nKeyState)
            if (state != 0) state = KEY_RELEASE;
        // Nothing may ring on after all keys are released.
        SustainPedal(0);
        return;
    }
    if (key >= 0 && key < kKeyCount) m_nKeyState[key] = value;
    // Every press is an answer in a piano-mode game, whatever its source.
    if (m_nMode == MODE_PIANO && value != 0) JudgePianoKey(key);
}

void CPianoDlg::SetKeyOfNote(int16_t key, int16_t value) {
    if (key == -1) {
        // Key index -1 means "release all" to SetKey; a note there simply has no key.
        if (m_nMode == MODE_PIANO && value != 0) JudgePianoKey(key);
        return;
    }
    SetKey(key, value);
}

void CPianoDlg::NoteOn(int16_t keyNumber) {
    RecordEvent(keyNumber, 100);
    // Notes outside the MIDI range 0..127 are never packed into a message.
    const int note = keyNumber + 20;
    if (keyNumber < 89 && note >= 0) m_platform.MidiOutShortMsg(PackShortMsg(0x90, note, kNoteVelocity));
}

void CPianoDlg::NoteOff(int16_t keyNumber) {
    RecordEvent(keyNumber, 0);
    const int note = keyNumber + 20;
    if (keyNumber < 89 && note >= 0) m_platform.MidiOutShortMsg(PackShortMsg(0x90, note, 0));
}

void CPianoDlg::SustainPedal(int16_t down) {
    // A pedal sends a stream of positions; only going down or up is an event.
    if (down == m_bPedal) return;
    m_bPedal = down;
    RecordEvent(PEDAL_KEY, down == 1 ? PEDAL_DOWN : PEDAL_UP);
    m_platform.MidiOutShortMsg(PackShortMsg(0xB0, 64, down == 1 ? 127 : 0));
}

void CPianoDlg::SelectProgram(int16_t program) {
    m_nProgram = program;
    m_platform.MidiOutShortMsg(PackShortMsg(0xC0, program, 0));
}

}  // namespace clavora
