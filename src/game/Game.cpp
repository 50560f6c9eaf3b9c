// Dealing, judging and finishing the note-reading game.
//
// A game asks for the 29 white keys from C2 to C6, each once, in a shuffled order. In
// piano mode the asked key must be pressed; in letter mode its letter must be typed.
// A wrong answer adds a mistake and keeps the note; a right one moves on to the next.
#include "game/Game.h"

#include <algorithm>
#include <utility>

#include "app/PianoDlg.h"
#include "game/History.h"
#include "piano/Keys.h"

namespace clavora {

namespace {

// The lowest note of a game, C2.
constexpr int16_t kFirstQuizKey = 15;
// How far the staff moves between two notes, in pixels.
constexpr int16_t kScrollStep = 75;
// Exchanges made when shuffling a deal.
constexpr int kShuffleExchanges = 10000;
constexpr int16_t kMaxMistakes = 99;
// A game with this many mistakes or more never sets a record.
constexpr int16_t kMaxRecordMistakes = 98;
// The letters of the staff steps, starting on C.
constexpr int16_t kStepLetters[7] = {'C', 'D', 'E', 'F', 'G', 'A', 'B'};

// A draw out of n: the generator's next value 0..32767 scaled to 0..n-1.
int16_t Draw(Platform& platform, int32_t n) {
    return static_cast<int16_t>((platform.Random() * n) / 32768);
}

// Seconds from start to now; a clock that steps back gives a negative count.
int32_t SecondsSince(int32_t start, int32_t now) {
    return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(start));
}

// The game is asking exactly when its position is that of one of its notes.
bool Asking(int16_t question) { return question >= 0 && question < QUIZ_NOTES; }

// A wrong answer: its sound, and one more mistake up to 99.
void CountMistake(Platform& platform, int16_t& mistakes) {
    platform.PlaySound(IDW_WRONG);
    mistakes = static_cast<int16_t>(std::min(mistakes + 1, int{kMaxMistakes}));
}

// A right answer that is not the last: one in ten, at random, sounds different.
void PlayRightAnswerSound(Platform& platform) {
    platform.PlaySound(Draw(platform, 10) == 0 ? IDW_CORRECT_ALT : IDW_CORRECT);
}

}  // namespace

void CPianoDlg::NewGame() {
    // The 29 white keys from C2 upwards, in ascending order.
    int16_t key = kFirstQuizKey;
    for (int16_t& quizKey : m_nQuizKeys) {
        if (g_nKeyShape[key] == kBlackKey) ++key;
        quizKey = key;
        ++key;
    }
    for (int s = 0; s < QUIZ_NOTES; ++s) m_nLetters[s] = kStepLetters[s % 7];

    // A drill deals the weak notes of its mode; without a history of it, as a game.
    if (m_bDrill != 1 || !DealWeakNotes()) {
        for (int n = 0; n < kShuffleExchanges; ++n) {
            const int16_t i = Draw(m_platform, QUIZ_NOTES);
            const int16_t j = Draw(m_platform, QUIZ_NOTES);
            std::swap(m_nQuizKeys[i], m_nQuizKeys[j]);
        }
    }
    m_nMiddleCClef = Draw(m_platform, 2);

    m_nQuestion = 0;
    m_nScroll = 0;
    m_nBlink = 0;
    m_tStart = m_platform.Time();
    m_nElapsed = 0;
    m_nMistakes = 0;
    HistoryNewGame(m_tStart, m_nMode, m_nMiddleCClef, m_bDrill == 1);
    m_platform.PlaySound(IDW_NEW_GAME);
}

void CPianoDlg::ResetGame() {
    m_nQuestion = -1;
    m_nScroll = 0;
    m_nBlink = 0;
    m_nElapsed = 0;
    m_nMistakes = 0;
    m_nMode = MODE_FREE;
    m_bDrill = 0;
    SetKey(-1, 0);
}

void CPianoDlg::SetGameMode(int16_t mode) {
    // A game that is asking can only be left by a reset.
    if (Asking(m_nQuestion)) return;
    // The last game's rows reach the file before a new game is dealt.
    WritePendingHistory();
    m_nMode = mode;
    m_nDrillMode = mode;
    m_bDrill = 0;
    SetKey(-1, 0);
    NewGame();
    m_nFlashMode = 5;
}

void CPianoDlg::JudgeLetter(int16_t letter) {
    if (!Asking(m_nQuestion)) return;
    const int16_t key = m_nQuizKeys[m_nQuestion];
    // The letter wanted depends only on the note's step on the staff.
    if (letter != m_nLetters[g_nStaffPos[key]]) {
        HistoryWrong(m_nQuestion);
        CountMistake(m_platform, m_nMistakes);
        return;
    }
    // The answered note sounds as if played, for KEY_ANSWER frames.
    HistoryRight(m_nQuestion, key);
    SetKey(key, KEY_ANSWER);
    NoteOn(static_cast<int16_t>(key + 1));
    ++m_nQuestion;
    // Quick answers add up: the staff eases the whole distance away.
    m_nScroll = static_cast<int16_t>(m_nScroll + kScrollStep);
    if (m_nQuestion == QUIZ_NOTES)
        FinishGame(MODE_LETTER);
    else
        PlayRightAnswerSound(m_platform);
}

void CPianoDlg::JudgePianoKey(int16_t key) {
    if (!Asking(m_nQuestion)) return;
    // Any other key is wrong, the asked note in another octave and keys off the piano too.
    if (key != m_nQuizKeys[m_nQuestion]) {
        HistoryWrong(m_nQuestion);
        CountMistake(m_platform, m_nMistakes);
        return;
    }
    // The staff restarts its move from one step, dropping whatever was still pending.
    // The key itself was stored by SetKey and is sounded by its caller.
    m_nScroll = kScrollStep;
    HistoryRight(m_nQuestion, key);
    ++m_nQuestion;
    if (m_nQuestion == QUIZ_NOTES)
        FinishGame(MODE_PIANO);
    else
        PlayRightAnswerSound(m_platform);
}

void CPianoDlg::FinishGame(int16_t mode) {
    int32_t& bestTime = mode == MODE_LETTER ? g_nBestTimeLetter : g_nBestTimePiano;
    int16_t& bestMistakes = mode == MODE_LETTER ? g_nBestMistakesLetter : g_nBestMistakesPiano;
    m_nElapsed = SecondsSince(m_tStart, m_platform.Time());
    // Kept for the practice history; written by the window's thread between frames.
    HistoryFinished();
    // A record must be no worse in both time and mistakes; 99 mistakes never is one.
    // The records are those of games that ask every note once: a drill sets none.
    const bool newRecord = m_bDrill != 1 && m_nElapsed <= bestTime && m_nMistakes <= bestMistakes &&
                           m_nMistakes <= kMaxRecordMistakes;
    if (newRecord) {
        bestTime = m_nElapsed;
        bestMistakes = m_nMistakes;
        m_platform.PlaySound(IDW_NEW_RECORD);
    } else {
        m_platform.PlaySound(IDW_FINISHED);
    }
}

}  // namespace clavora
