// The weakest notes of a mode as the program's drill sees them: its own rule, fed the
// same sessions it would read (the last 64 of the mode), at the end of each of the
// last sessions, so that the table shows how each note moved.
#include <algorithm>
#include <numeric>

#include "Picture.h"
#include "game/Drill.h"

namespace progress {

namespace {

constexpr int kWeakest = 5;

// The rule's scores and weights after session `end` (exclusive).
void ScoresAt(const std::vector<const Game*>& sessions, size_t end, clavora::DrillScores& scores,
              int32_t (&weights)[kQuizNotes]) {
    scores.Clear();
    const size_t first = end > clavora::kDrillSessions ? end - clavora::kDrillSessions : 0;
    for (size_t i = first; i < end; ++i) {
        clavora::DrillAnswer answers[kQuizNotes];
        for (int q = 0; q < kQuizNotes; ++q) {
            const NoteRow& n = sessions[i]->notes[q];
            answers[q] = {n.step, n.hundredths, static_cast<int16_t>(std::min(n.wrong, 9999))};
        }
        scores.AddSession(answers, kQuizNotes);
    }
    scores.Weights(weights);
}

// Steps ordered weakest first (the larger weight), ties by step.
std::array<int, kQuizNotes> Ranked(const int32_t (&weights)[kQuizNotes]) {
    std::array<int, kQuizNotes> order;
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weights[a] > weights[b]; });
    return order;
}

}  // namespace

std::vector<WeakNote> WeakestNotes(const std::vector<const Game*>& sessions) {
    const size_t n = sessions.size();
    const size_t points = std::min<size_t>(kTrendSessions, n);
    static clavora::DrillScores scores;
    int32_t weights[kQuizNotes];
    std::vector<std::array<double, kQuizNotes>> trend;
    std::array<int, kQuizNotes> before{};
    for (size_t p = 0; p < points; ++p) {
        ScoresAt(sessions, n - points + 1 + p, scores, weights);
        std::array<double, kQuizNotes> at{};
        for (int s = 0; s < kQuizNotes; ++s) at[s] = scores.Score(s);
        trend.push_back(at);
        if (p == 0) before = Ranked(weights);
    }
    // weights now hold those after the last session.
    const std::array<int, kQuizNotes> now = Ranked(weights);
    const double total = std::accumulate(std::begin(weights), std::end(weights), 0.0);
    std::vector<WeakNote> weakest;
    for (int i = 0; i < kWeakest; ++i) {
        WeakNote w;
        w.step = now[i];
        w.share = weights[w.step] / total;
        w.rank = i + 1;
        w.rankBefore = static_cast<int>(std::find(before.begin(), before.end(), w.step) - before.begin()) + 1;
        for (const auto& at : trend) w.scores.push_back(at[w.step]);
        weakest.push_back(w);
    }
    return weakest;
}

}  // namespace progress
