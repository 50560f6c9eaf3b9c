// The weak-note drill's dealing rule: histories in, weights and the rules of
// repetition out.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <functional>
#include <random>
#include <string>

#include "support/DlgFixture.h"
#include "game/Drill.h"
#include "game/History.h"
#include "core/test_game.h"

namespace clavora::test {
namespace {

// One session's rows: every note in 1 s unless `slow` names it, with its seconds and
// wrong answers; notes listed in `skip` are not asked.
std::string Session(const char* start, const char* mode, std::map<int, std::pair<double, int>> slow = {},
                    std::vector<int> skip = {}) {
    std::string rows;
    for (int s = 0; s < 29; ++s) {
        if (std::find(skip.begin(), skip.end(), s) != skip.end()) continue;
        const auto [seconds, wrong] = slow.count(s) ? slow[s] : std::pair{1.0, 0};
        char row[96];
        std::snprintf(row, sizeof row, "%s,%s,%c%d,%s,%.2f,%d\n", start, mode, "CDEFGAB"[s % 7],
                      2 + s / 7, s < 14 ? "bass" : "treble", seconds, wrong);
        rows += row;
    }
    return rows;
}

constexpr int C2 = 0, F4 = 17, A5 = 26;

class ScriptedDraws : public DrawSource {
public:
    std::function<int32_t()> next;
    int32_t Next() override { return next(); }
};

TEST(DrillRule, HistoriesGiveWeightsAndTheDealKeepsFourNotesApart) {
    TempDir dir;
    const std::string head = kHistoryHeader;
    const char* t1 = "2026-12-01T10:00:00+01:00";
    const char* t2 = "2026-12-01T10:05:00+01:00";
    struct Case {
        const char* what;
        std::string file;  // empty: no history file
        int16_t mode;
        int sessions;
        std::function<void(const DrillScores&, const int32_t (&)[29])> check;
    };
    const auto ratio = [](const int32_t (&w)[29], int a, int b) { return double(w[a]) / w[b]; };
    const Case cases[] = {
        {"no history: nothing to weigh", "", MODE_LETTER, 0, nullptr},
        {"only the other mode's games", head + Session(t1, "piano", {{C2, {3, 0}}}), MODE_LETTER, 0, nullptr},
        {"a note three times as slow weighs 81 times as much",
         head + Session(t1, "letter", {{C2, {3, 0}}}), MODE_LETTER, 1,
         [&](const DrillScores& s, const int32_t (&w)[29]) {
             EXPECT_DOUBLE_EQ(s.Score(C2), 3);
             EXPECT_NEAR(ratio(w, C2, F4), 81, 1);
         }},
        {"a wrong answer costs 2 s", head + Session(t1, "piano", {{F4, {1, 1}}, {A5, {3, 0}}}), MODE_PIANO, 1,
         [&](const DrillScores& s, const int32_t (&w)[29]) {
             EXPECT_DOUBLE_EQ(s.Score(F4), 3);
             EXPECT_EQ(w[F4], w[A5]);
         }},
        {"answers decay: slow once, quick since", head + Session(t1, "letter", {{C2, {3, 0}}}) + Session(t2, "letter"),
         MODE_LETTER, 2,
         [&](const DrillScores& s, const int32_t (&)[29]) { EXPECT_NEAR(s.Score(C2), 3.1 / 1.7, 1e-9); }},
        {"drills count, and a note a drill skipped weighs a quarter more",
         head + Session(t1, "letter") + Session(t2, "letter-drill", {}, {A5}), MODE_LETTER, 2,
         [&](const DrillScores& s, const int32_t (&w)[29]) {
             EXPECT_EQ(s.SessionsSince(A5), 1);
             EXPECT_EQ(s.SessionsSince(F4), 0);
             EXPECT_NEAR(ratio(w, A5, F4), 1.25, 0.01);
         }},
        {"a torn last row, a bad row and the other mode are passed over",
         head + Session(t1, "letter", {{C2, {3, 0}}}) + "x,letter,C2,bass,1,0\n" +
             Session(t2, "piano", {{C2, {1, 0}}}) + t2 + ",letter,C2,bass,9",
         MODE_LETTER, 1, [&](const DrillScores& s, const int32_t (&)[29]) { EXPECT_DOUBLE_EQ(s.Score(C2), 3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(kHistoryFile);
        if (!c.file.empty()) std::ofstream(kHistoryFile) << c.file;
        DrillScores scores;
        ReadDrillHistory(kHistoryFile, c.mode, scores);
        EXPECT_EQ(scores.Sessions(), c.sessions);
        int32_t w[29];
        scores.Weights(w);
        int32_t total = 0;
        for (const int32_t x : w) {
            EXPECT_GE(x, 1);
            total += x;
        }
        EXPECT_NEAR(total, kDrillWeightTotal, 29);
        if (c.check) c.check(scores, w);
    }

    // The deal: draws of 0 take the first note allowed, so the notes cycle by four;
    // random draws over C2, F4 and A5 slow never repeat a note within four questions.
    int32_t weights[29];
    std::fill(std::begin(weights), std::end(weights), 1);
    weights[C2] = weights[F4] = weights[A5] = 5000;
    ScriptedDraws zero;
    zero.next = [] { return 0; };
    int16_t steps[29];
    DealDrill(weights, zero, steps);
    for (int q = 0; q < 29; ++q) EXPECT_EQ(steps[q], q % 4) << q;
    std::mt19937 g(7);
    ScriptedDraws random;
    random.next = [&] { return int32_t(g() & 0x7FFF); };
    for (int deal = 0; deal < 2000; ++deal) {
        DealDrill(weights, random, steps);
        int count[29] = {};
        for (int q = 0; q < 29; ++q) {
            ++count[steps[q]];
            for (int back = 1; back <= 3 && back <= q; ++back) ASSERT_NE(steps[q], steps[q - back]) << deal;
        }
        ASSERT_GE(std::min({count[C2], count[F4], count[A5]}), 5) << deal;
    }
}

// With no history of its mode the drill deals as a game does, and sets no record.
class Drill : public DlgFixture {};

TEST_F(Drill, WithoutHistoryDealsAsAGameAndSetsNoRecord) {
    CPianoDlg& d = Make();
    ScriptDeal(platform, {}, 0);
    d.OnKeyUp('W');
    EXPECT_EQ(d.m_nMode, MODE_LETTER);
    EXPECT_EQ(d.m_bDrill, 1);
    EXPECT_EQ(std::vector<int16_t>(std::begin(d.m_nQuizKeys), std::end(d.m_nQuizKeys)), AscendingQuiz());
    AnswerRightUntil(d, 29);
    EXPECT_EQ(platform.sounds.back(), IDW_FINISHED);
    EXPECT_EQ(g_nBestTimeLetter, kNoRecordTime);
}

}  // namespace
}  // namespace clavora::test
