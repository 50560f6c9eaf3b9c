// The weak-note drill: 29 questions dealt by weight from the practice history of the
// mode, so that the notes a learner answers slowly or wrongly are asked more often.
//
// The rule. Each answer costs its seconds (at most 30) plus 2 s for every wrong
// answer before it. A note's score is the mean of its costs, each earlier answer
// counting 0.7 of the one after it (an exponentially decayed mean over the sessions
// of the mode, games and drills alike). Its weight is its score to the fourth power,
// times 1 + g / 4, where g counts the sessions since it was last asked. A note the
// sessions read never asked weighs as the slowest note does. Each question is a
// weighted draw among the notes not among the three asked just before it, so no
// note is asked twice in a row or twice among the four notes on the staff at once.
#pragma once

#include <cstdint>

namespace clavora {

constexpr int kDrillNotes = 29;          // staff steps 0..28, C2 to C6
// Sessions of the mode the drill looks back on; older ones weigh under a millionth.
constexpr int kDrillSessions = 64;
// The history read from its end at most, for the sessions of one mode.
constexpr long kDrillReadLimit = 4L << 20;
// The integer weights of all notes add up to about this (each at least 1).
constexpr int32_t kDrillWeightTotal = 32000;

// One answer in the history: the note's staff step, its time, the wrong answers before it.
struct DrillAnswer {
    int16_t step;
    int32_t hundredths;
    int16_t wrong;
};

// What the rule knows of each note of one mode, from its sessions, oldest first.
class DrillScores {
public:
    void Clear();
    // One session's answers in the order they were asked, after the sessions before.
    void AddSession(const DrillAnswer* answers, int count);
    int32_t Sessions() const { return m_sessions; }
    // A note's score in seconds, or -1 when no session added asked it.
    double Score(int step) const;
    // Sessions since the note was last asked: 0 when the last one asked it.
    int32_t SessionsSince(int step) const;
    // Every note's weight, adding up to about kDrillWeightTotal.
    void Weights(int32_t (&weights)[kDrillNotes]) const;

private:
    double m_sum[kDrillNotes] = {};
    double m_share[kDrillNotes] = {};
    int32_t m_last[kDrillNotes] = {};
    int32_t m_sessions = 0;
};

// The last sessions of a mode (MODE_LETTER or MODE_PIANO; its drills count too) from
// the history file, read backwards from its end. A file that cannot be read leaves
// no session. Allocates nothing.
void ReadDrillHistory(const char* name, int16_t mode, DrillScores& scores);

// The source of every draw: values 0..32767 of the program's one generator.
class DrawSource {
public:
    virtual ~DrawSource() = default;
    virtual int32_t Next() = 0;
};

// 29 staff steps drawn by weight, each draw out of the weights of the notes allowed.
void DealDrill(const int32_t (&weights)[kDrillNotes], DrawSource& draws,
               int16_t (&steps)[kDrillNotes]);

}  // namespace clavora
