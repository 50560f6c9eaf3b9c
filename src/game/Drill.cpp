// The drill's rule: scores and weights of the notes, the deal, and the drill's start.
#include "game/Drill.h"

#include <algorithm>

#include "app/PianoDlg.h"
#include "game/History.h"

namespace clavora {

namespace {

// Each earlier answer of a note counts this much of the one after it: about the last
// three answers make a note's score, so one slip moves it but does not make it.
constexpr double kDecay = 0.7;
constexpr double kMaxSeconds = 30;
constexpr double kWrongSeconds = 2;
// A score below this (about three frames) is taken as this, so no weight is 0.
constexpr double kMinScore = 0.1;
// Each session since a note was last asked adds a quarter of its weight again.
constexpr double kSincePerSession = 0.25;
// The notes before a question that it may not repeat: the rest of the four on the staff.
constexpr int kDistinct = 3;

class PlatformDraws : public DrawSource {
public:
    explicit PlatformDraws(Platform& platform) : m_platform(platform) {}
    int32_t Next() override { return m_platform.Random(); }

private:
    Platform& m_platform;
};

}  // namespace

void DrillScores::Clear() { *this = DrillScores{}; }

void DrillScores::AddSession(const DrillAnswer* answers, int count) {
    for (int i = 0; i < count; ++i) {
        const DrillAnswer& a = answers[i];
        if (a.step < 0 || a.step >= kDrillNotes) continue;
        const double cost = std::min(a.hundredths / 100.0, kMaxSeconds) +
                            kWrongSeconds * std::min<int>(a.wrong, 10);
        // Each answer leaves the note's earlier answers 0.7 of the weight they had.
        m_sum[a.step] = m_sum[a.step] * kDecay + cost;
        m_share[a.step] = m_share[a.step] * kDecay + 1;
        m_last[a.step] = m_sessions + 1;
    }
    ++m_sessions;
}

double DrillScores::Score(int step) const {
    if (step < 0 || step >= kDrillNotes || m_share[step] <= 0) return -1;
    return m_sum[step] / m_share[step];
}

int32_t DrillScores::SessionsSince(int step) const {
    if (step < 0 || step >= kDrillNotes || m_last[step] == 0) return m_sessions;
    return m_sessions - m_last[step];
}

void DrillScores::Weights(int32_t (&weights)[kDrillNotes]) const {
    double slowest = kMinScore;
    for (int s = 0; s < kDrillNotes; ++s) slowest = std::max(slowest, Score(s));
    double raw[kDrillNotes], total = 0;
    for (int s = 0; s < kDrillNotes; ++s) {
        const double score = Score(s) < 0 ? slowest : std::max(Score(s), kMinScore);
        const double square = score * score;
        raw[s] = square * square * (1 + kSincePerSession * SessionsSince(s));
        total += raw[s];
    }
    for (int s = 0; s < kDrillNotes; ++s)
        weights[s] = std::max<int32_t>(1, static_cast<int32_t>(raw[s] / total * kDrillWeightTotal));
}

void DealDrill(const int32_t (&weights)[kDrillNotes], DrawSource& draws,
               int16_t (&steps)[kDrillNotes]) {
    for (int q = 0; q < kDrillNotes; ++q) {
        // The notes allowed: any but the three asked just before.
        int32_t allowed[kDrillNotes];
        int32_t total = 0;
        for (int s = 0; s < kDrillNotes; ++s) {
            bool recent = false;
            for (int back = 1; back <= kDistinct && back <= q; ++back) recent |= steps[q - back] == s;
            allowed[s] = recent ? 0 : weights[s];
            total += allowed[s];
        }
        // A draw out of the allowed weights, as every draw of the program is made.
        int32_t at = static_cast<int32_t>((int64_t{draws.Next()} * total) / 32768);
        int16_t pick = 0;
        for (int s = 0; s < kDrillNotes; ++s) {
            if (allowed[s] == 0) continue;
            pick = static_cast<int16_t>(s);
            if (at < allowed[s]) break;
            at -= allowed[s];
        }
        steps[q] = pick;
    }
}

// Dealt from the history when it holds a session of the mode; false leaves the deal
// to the game's shuffle.
bool CPianoDlg::DealWeakNotes() {
    static DrillScores scores;
    ReadDrillHistory(kHistoryFile, m_nMode, scores);
    if (scores.Sessions() == 0) return false;
    int32_t weights[kDrillNotes];
    scores.Weights(weights);
    int16_t steps[kDrillNotes];
    PlatformDraws draws(m_platform);
    DealDrill(weights, draws, steps);
    // m_nQuizKeys holds the notes in ascending order, one a step: the step's key.
    int16_t keys[kDrillNotes];
    std::copy(std::begin(m_nQuizKeys), std::end(m_nQuizKeys), keys);
    for (int q = 0; q < kDrillNotes; ++q) m_nQuizKeys[q] = keys[steps[q]];
    return true;
}

void CPianoDlg::StartDrill() {
    // A drill, like a game, starts only between games.
    if (m_nQuestion >= 0 && m_nQuestion < QUIZ_NOTES) return;
    // The game just ended counts in the weights: its rows go to the file first.
    WritePendingHistory();
    m_nMode = m_nDrillMode;
    m_bDrill = 1;
    SetKey(-1, 0);
    NewGame();
    m_nFlashMode = 5;
}

}  // namespace clavora
