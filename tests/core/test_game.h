// Helpers for the note-reading game's tests: scripted deals and answers worked out
// from the key index alone, without the program's own tables.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"

namespace clavora::test {

// The smallest generator value whose draw out of n is k.
inline int32_t DrawOf(int k, int n) { return (k * 32768 + n - 1) / n; }

// The 29 notes of a game in ascending order: the white keys C2..C6.
inline std::vector<int16_t> AscendingQuiz() {
    return {15, 17, 19, 20, 22, 24, 26, 27, 29, 31, 32, 34, 36, 38, 39,
            41, 43, 44, 46, 48, 50, 51, 53, 55, 56, 58, 60, 62, 63};
}

// Scripts the 20,001 draws of one deal: the given exchanges of places first, every
// other exchange a no-op (0 with 0), then the draw of the clef of middle C.
inline void ScriptDeal(FakePlatform& p, const std::vector<std::pair<int, int>>& swaps = {},
                       int32_t clefDraw = 0) {
    for (const auto& [i, j] : swaps) {
        p.randoms.push_back(DrawOf(i, 29));
        p.randoms.push_back(DrawOf(j, 29));
    }
    for (size_t n = swaps.size(); n < 10000; ++n) {
        p.randoms.push_back(0);
        p.randoms.push_back(0);
    }
    p.randoms.push_back(clefDraw);
}

// The letter of a key, from its pitch: C, D, E, F, G, A or B.
inline int16_t LetterOf(int16_t key) {
    constexpr char kByPitch[12] = {'C', 0, 'D', 0, 'E', 'F', 0, 'G', 0, 'A', 0, 'B'};
    return kByPitch[(key + 21) % 12];
}

// Any white letter other than the right one.
inline int16_t WrongLetterFor(int16_t key) { return LetterOf(key) == 'C' ? 'D' : 'C'; }

// A key that is not the asked one: the same note an octave away.
inline int16_t OctaveOf(int16_t key) { return static_cast<int16_t>(key < 40 ? key + 12 : key - 12); }

// The Note On message the piano sends for a key index.
inline uint32_t NoteOnMsg(int16_t key) {
    return 0x90u | (static_cast<uint32_t>(key + 21) << 8) | (0x70u << 16);
}

// Answers the asked note rightly: its letter in letter mode, its key pressed the way
// a click presses it in piano mode.
inline void AnswerRight(CPianoDlg& d) {
    if (d.m_nQuestion < 0 || d.m_nQuestion > 28) {
        ADD_FAILURE() << "no note is asked";
        return;
    }
    const int16_t key = d.m_nQuizKeys[d.m_nQuestion];
    if (d.m_nMode == MODE_LETTER) {
        d.JudgeLetter(LetterOf(key));
    } else {
        d.SetKey(key, KEY_CLICK);
        d.NoteOn(static_cast<int16_t>(key + 1));
    }
}

// Answers the asked note wrongly.
inline void AnswerWrong(CPianoDlg& d) {
    if (d.m_nQuestion < 0 || d.m_nQuestion > 28) {
        ADD_FAILURE() << "no note is asked";
        return;
    }
    const int16_t key = d.m_nQuizKeys[d.m_nQuestion];
    if (d.m_nMode == MODE_LETTER) {
        d.JudgeLetter(WrongLetterFor(key));
    } else {
        d.SetKey(OctaveOf(key), KEY_CLICK);
        d.NoteOn(static_cast<int16_t>(OctaveOf(key) + 1));
    }
}

// Answers rightly until the game is asking for note `question` (29: until it ends).
// A fixed count of answers, so that a faulty judgement fails the test instead of hanging it.
inline void AnswerRightUntil(CPianoDlg& d, int question) {
    for (int n = d.m_nQuestion; n < question; ++n) AnswerRight(d);
}

// Starts a game in mode at time `start`, makes `mistakes` wrong answers, and answers all
// 29 notes rightly, the last one at `start + seconds`.
inline void PlayWholeGame(CPianoDlg& d, FakePlatform& p, int16_t mode, int mistakes,
                          int32_t seconds, int32_t start = 1000000) {
    p.now = start;
    d.SetGameMode(mode);
    for (int n = 0; n < mistakes; ++n) AnswerWrong(d);
    AnswerRightUntil(d, 28);
    p.now = start + seconds;
    AnswerRight(d);
}

}  // namespace clavora::test
