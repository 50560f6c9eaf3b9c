// The pressed keys drawn over the keyboard: which lit sheet each white key takes from
// its neighbours, where each black key stands, and the count-down that silences keys.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/SyntheticArtFixture.h"
#include "piano/Keys.h"

namespace clavora::test {
namespace {

using KeyboardDisplay = ArtFixture;

constexpr int kLeft = 79, kTop = 420, kWidth = 624, kHeight = 79;

// Keys by name: A0 is key index 0, C4 (middle C) 39, C8 87.
constexpr int A0 = 0, Bb0 = 1, B0 = 2, C4 = 39, Cs4 = 40, D4 = 41, Ds4 = 42, E4 = 43, F4 = 44,
              Fs4 = 45, G4 = 46, B7 = 86, C8 = 87;

bool IsBlack(int key) {
    const int pc = (key + 9) % 12;  // 0 is C
    return pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10;
}
int WhitesBelow(int key) {
    int n = 0;
    for (int k = 0; k < key; ++k) n += IsBlack(k) ? 0 : 1;
    return n;
}
// The left edge of a black key: between white keys n-1 and n, moved by its pitch.
int BlackKeyX(int key) {
    if (key == Bb0) return 87;
    const std::map<int, int> offset = {{1, -5}, {3, -3}, {6, -6}, {8, -4}, {10, -2}};
    return kLeft + 12 * WhitesBelow(key) + offset.at((key + 9) % 12);
}
int Outline(int key) {
    if (key == A0) return 0;
    if (key == B0) return 1;
    if (key == C8) return 9;
    const std::map<int, int> byPitch = {{0, 2}, {2, 3}, {4, 4}, {5, 5}, {7, 6}, {9, 7}, {11, 8}};
    return byPitch.at((key + 9) % 12);
}

enum Sheet { Alone, JoinLeft, JoinRight, JoinBoth };

const CBitmap* SheetBitmap(const CPianoDlg& d, Sheet s) {
    switch (s) {
    case Alone: return d.m_hbmKeyLitAlone;
    case JoinLeft: return d.m_hbmKeyLitJoinLeft;
    case JoinRight: return d.m_hbmKeyLitJoinRight;
    case JoinBoth: return d.m_hbmKeyLitJoinBoth;
    }
    return nullptr;
}

// The expected keyboard: the pressed keys in ascending order, each white key with the
// sheet given, each black key as the lit black key.
Picture Keys(const Picture& background, const CPianoDlg& d, const std::map<int, Sheet>& keys) {
    Picture p = background;
    for (const auto& [key, sheet] : keys) {
        if (IsBlack(key)) {
            p.Copy(d.m_hbmBlackKeyLit, 0, 0, 8, 46, BlackKeyX(key), kTop);
        } else {
            p.Masked(d.m_hbmKeyMask, SheetBitmap(d, sheet), 12 * Outline(key), 12, 79,
                     kLeft + 12 * WhitesBelow(key), kTop);
        }
    }
    return p;
}

uint32_t NoteOffMessage(int key) { return 0x90u | static_cast<uint32_t>(key + 21) << 8; }

TEST_F(KeyboardDisplay, EachWhiteKeyTakesTheSheetItsWhiteNeighboursCallFor) {
    struct Case {
        const char* name;
        std::map<int, int16_t> states;
        std::map<int, Sheet> drawn;  // black keys: the sheet is not used
    };
    const Case cases[] = {
        {"A0 alone", {{A0, KEY_HELD}}, {{A0, Alone}}},
        {"C8 alone", {{C8, KEY_HELD}}, {{C8, Alone}}},
        {"A0 and B0 across A#0", {{A0, KEY_HELD}, {B0, KEY_HELD}}, {{A0, JoinRight}, {B0, JoinLeft}}},
        {"B7 and C8", {{B7, KEY_HELD}, {C8, KEY_HELD}}, {{B7, JoinRight}, {C8, JoinLeft}}},
        {"E and F", {{E4, KEY_HELD}, {F4, KEY_HELD}}, {{E4, JoinRight}, {F4, JoinLeft}}},
        {"C and D, C# up", {{C4, KEY_HELD}, {D4, KEY_HELD}}, {{C4, JoinRight}, {D4, JoinLeft}}},
        {"C and D, C# down",
         {{C4, KEY_HELD}, {Cs4, KEY_HELD}, {D4, KEY_HELD}},
         {{C4, JoinRight}, {Cs4, Alone}, {D4, JoinLeft}}},
        {"three neighbours",
         {{C4, KEY_HELD}, {D4, KEY_HELD}, {E4, KEY_HELD}},
         {{C4, JoinRight}, {D4, JoinBoth}, {E4, JoinLeft}}},
        {"a gap between", {{C4, KEY_HELD}, {E4, KEY_HELD}}, {{C4, Alone}, {E4, Alone}}},
        {"black keys between up whites",
         {{Cs4, KEY_HELD}, {Ds4, KEY_HELD}, {D4, KEY_HELD}},
         {{Cs4, Alone}, {D4, Alone}, {Ds4, Alone}}},
        {"a lone black key", {{Fs4, KEY_CLICK}}, {{Fs4, Alone}}},
        // The left neighbour has already counted down to 0 when the key is tested...
        {"left neighbour ending", {{C4, 1}, {D4, KEY_HELD}}, {{C4, JoinRight}, {D4, Alone}}},
        // ...the right one not yet.
        {"right neighbour ending", {{D4, KEY_HELD}, {E4, 1}}, {{D4, JoinRight}, {E4, JoinLeft}}},
        {"counting keys join", {{F4, 7}, {G4, KEY_ANSWER}}, {{F4, JoinRight}, {G4, JoinLeft}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPianoDlg& d = MakeWithArt();
        for (const auto& [key, state] : c.states) d.m_nKeyState[key] = state;
        Frames(1);
        EXPECT_EQ(Diff(Keys(Expected(), d, c.drawn), kLeft, kTop, kWidth, kHeight), "");
    }
}

TEST_F(KeyboardDisplay, EveryBlackKeyStandsInItsOwnRectangle) {
    // The places the keyboard's art relies on, then every other black key alike.
    const std::map<int, int> known = {{Bb0, 87},  {4, 110},  {6, 124}, {9, 145},
                                      {11, 159},  {13, 173}, {85, 677}};
    for (const auto& [key, x] : known) EXPECT_EQ(BlackKeyX(key), x) << key;
    CPianoDlg& d = MakeWithArt();
    int blacks = 0;
    for (int key = 0; key < 88; ++key) {
        if (!IsBlack(key)) continue;
        ++blacks;
        SCOPED_TRACE(key);
        d.m_nKeyState[key] = 1;
        Frames(1);
        Picture p = Expected();
        p.Copy(d.m_hbmBlackKeyLit, 0, 0, 8, 46, BlackKeyX(key), kTop);
        EXPECT_EQ(Diff(p, kLeft, kTop, kWidth, kHeight), "");
    }
    EXPECT_EQ(blacks, 36);
}

TEST_F(KeyboardDisplay, PressedWhiteKeysNeverPaintOverABlackKey) {
    CPianoDlg& d = MakeWithArt();
    for (int key = 0; key < 88; ++key)
        if (!IsBlack(key)) d.m_nKeyState[key] = KEY_HELD;
    Frames(1);
    const Picture background = Expected();
    for (int key = 0; key < 88; ++key) {
        if (!IsBlack(key)) continue;
        EXPECT_EQ(Diff(background, BlackKeyX(key), kTop, 8, 46), "") << key;
    }
    // And below the black keys every white key is lit across its full width.
    for (int key = 0; key < 88; ++key) {
        if (IsBlack(key)) continue;
        const int x = kLeft + 12 * WhitesBelow(key);
        for (int col = 0; col < 12; ++col)
            EXPECT_EQ(DescribePixel(platform.Pixel(x + col, 480)).rfind("KeyLit", 0), 0u)
                << key << " column " << col;
    }
}

TEST_F(KeyboardDisplay, CountingKeysShowForTheirCountAndEndInTheirLastFrame) {
    struct Case {
        int key;
        int16_t state;
    };
    const Case cases[] = {{D4, 1}, {A0, KEY_RELEASE}, {Fs4, KEY_ANSWER}, {C8, KEY_CLICK}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        CPianoDlg& d = MakeWithArt();
        platform.midi.clear();
        d.m_nKeyState[c.key] = c.state;
        for (int frame = 1; frame <= c.state + 2; ++frame) {
            SCOPED_TRACE(frame);
            Frames(1);
            const bool shown = frame <= c.state;
            EXPECT_EQ(d.m_nKeyState[c.key], shown ? c.state - frame : 0);
            Picture p = Expected();
            if (shown) p = Keys(p, d, {{c.key, Alone}});
            EXPECT_EQ(Diff(p, kLeft, kTop, kWidth, kHeight), "");
            // Silenced in the very frame of its last drawing, and only then.
            const std::vector<uint32_t> off = {NoteOffMessage(c.key)};
            EXPECT_EQ(platform.midi, frame >= c.state ? off : std::vector<uint32_t>{});
        }
    }
}

TEST_F(KeyboardDisplay, HeldKeysAreNeverCountedDown) {
    CPianoDlg& d = MakeWithArt();
    d.m_nKeyState[C4] = KEY_HELD;
    d.m_nKeyState[Cs4] = 120;
    d.m_nKeyState[G4] = -3;  // below 0: neither drawn nor touched
    for (int frame = 1; frame <= 120; ++frame) {
        Frames(1);
        if (frame % 40 != 0) continue;
        EXPECT_EQ(Diff(Keys(Expected(), d, {{C4, Alone}, {Cs4, Alone}}), kLeft, kTop, kWidth, kHeight), "");
    }
    EXPECT_EQ(d.m_nKeyState[C4], KEY_HELD);
    EXPECT_EQ(d.m_nKeyState[Cs4], 120);
    EXPECT_EQ(d.m_nKeyState[G4], -3);
    EXPECT_TRUE(platform.midi.empty());
}

}  // namespace
}  // namespace clavora::test
