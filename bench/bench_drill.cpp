// The weak-note drill against the game's deal, with a simulated learner, and what the
// drill's start costs on a history of 100,000 games.
//
// The learner answers a note in A (n + 1)^-0.35 seconds after n earlier askings of
// it (a power law of practice), times a random factor (log-normal, sigma 0.25), and
// answers wrongly first with a chance of 6 % a second of that time (at most 50 %).
// Five notes start slow (A from 5.5 to 7 s), the rest quick (A from 2.1 to 2.8 s).
// Each session writes its 29 rows to a history file as the program does; a drill
// reads it back with the program's own reader. Counted: the sessions until the
// learner answers every note within 2 s, dealing as a game does (each note once)
// and dealing by the drill (its first session a game, since there is no history
// yet). Goal: the drill needs at most half the sessions.
//
//   cmake --build build --target clavora_bench && build/clavora_bench --benchmark_filter=Drill
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/PianoDlg.h"
#include "game/Drill.h"

namespace {

using clavora::kDrillNotes;

constexpr double kGoalSeconds = 2.0;
constexpr double kPracticeExponent = 0.35;
constexpr int kLearners = 20;
constexpr int kMaxSessions = 200;

class GeneratorDraws : public clavora::DrawSource {
public:
    explicit GeneratorDraws(std::mt19937& g) : m_g(g) {}
    int32_t Next() override { return static_cast<int32_t>(m_g() & 0x7FFF); }

private:
    std::mt19937& m_g;
};

struct Learner {
    double start[kDrillNotes];
    int asked[kDrillNotes] = {};

    Learner(std::mt19937& g) {
        std::uniform_real_distribution<double> quick(2.1, 2.8), slow(5.5, 7.0);
        for (double& a : start) a = quick(g);
        int steps[kDrillNotes];
        for (int s = 0; s < kDrillNotes; ++s) steps[s] = s;
        std::shuffle(steps, steps + kDrillNotes, g);
        for (int i = 0; i < 5; ++i) start[steps[i]] = slow(g);
    }
    double Seconds(int step) const { return start[step] * std::pow(asked[step] + 1.0, -kPracticeExponent); }
    bool Done() const {
        for (int s = 0; s < kDrillNotes; ++s)
            if (Seconds(s) > kGoalSeconds) return false;
        return true;
    }
};

// One session's answers, appended to the history as the program writes them.
void Answer(Learner& learner, const int16_t (&steps)[kDrillNotes], bool drill, int session,
            std::mt19937& g, std::FILE* history) {
    std::lognormal_distribution<double> noise(0.0, 0.25);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    static const char* kNames = "CDEFGAB";
    for (const int16_t step : steps) {
        const double seconds = learner.Seconds(step) * noise(g);
        int wrong = 0;
        while (wrong < 5 && chance(g) < std::min(0.5, 0.06 * seconds)) ++wrong;
        const long hundredths = std::lround(seconds * 100);
        std::fprintf(history, "2026-01-%02dT%02d:%02d:00+00:00,%s,%c%d,%s,%ld.%02ld,%d\n",
                     1 + session / 1440 % 28, session / 60 % 24, session % 60,
                     drill ? "letter-drill" : "letter", kNames[step % 7], 2 + step / 7,
                     step < 14 ? "bass" : "treble", hundredths / 100, hundredths % 100, wrong);
        ++learner.asked[step];
    }
    std::fflush(history);
}

// Sessions until the learner answers every note within 2 s.
int SessionsToGoal(bool drill, uint32_t seed, const std::string& path) {
    std::mt19937 g(seed);
    Learner learner(g);
    std::FILE* history = std::fopen(path.c_str(), "w");
    std::fputs("start,mode,note,clef,seconds,wrong\n", history);
    static clavora::DrillScores scores;
    GeneratorDraws draws(g);
    int session = 0;
    while (!learner.Done() && session < kMaxSessions) {
        int16_t steps[kDrillNotes];
        for (int s = 0; s < kDrillNotes; ++s) steps[s] = static_cast<int16_t>(s);
        clavora::ReadDrillHistory(path.c_str(), clavora::MODE_LETTER, scores);
        const bool dealt = drill && scores.Sessions() > 0;
        if (dealt) {
            int32_t weights[kDrillNotes];
            scores.Weights(weights);
            clavora::DealDrill(weights, draws, steps);
        }
        Answer(learner, steps, dealt, session, g, history);
        ++session;
    }
    std::fclose(history);
    return session;
}

std::string ScratchFile(const char* name) {
    std::string dir = "/tmp/clavora-bench.XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
    return dir + "/" + name;
}

void RemoveScratch(const std::string& path) {
    std::remove(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

void DrillAgainstGameSimulatedLearner(benchmark::State& state) {
    const std::string path = ScratchFile("Clavora-history.csv");
    double games = 0, drills = 0, worstRatio = 0;
    for (auto _ : state) {
        games = drills = worstRatio = 0;
        for (int l = 0; l < kLearners; ++l) {
            const int game = SessionsToGoal(false, 1000 + l, path);
            const int drill = SessionsToGoal(true, 1000 + l, path);
            games += game;
            drills += drill;
            worstRatio = std::max(worstRatio, static_cast<double>(drill) / game);
        }
    }
    RemoveScratch(path);
    state.counters["game_sessions"] = games / kLearners;
    state.counters["drill_sessions"] = drills / kLearners;
    state.counters["worst_ratio"] = worstRatio;
    std::printf("simulated learners: %d; sessions until every note is answered within 2 s: "
                "dealt as a game %.1f, dealt by the drill %.1f (mean); worst drill/game %.2f; goal at most 0.50\n",
                kLearners, games / kLearners, drills / kLearners, worstRatio);
}
BENCHMARK(DrillAgainstGameSimulatedLearner)->Unit(benchmark::kMillisecond)->Iterations(1);

// 100,000 games in both modes; with lonely > 0 the letter mode's only session lies at
// the file's start, so the drill's start reads as far back as it ever does.
void DrillStartOn100000Games(benchmark::State& state) {
    const bool lonely = state.range(0) != 0;
    const std::string path = ScratchFile("Clavora-history.csv");
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("start,mode,note,clef,seconds,wrong\n", f);
    static const char* kNames = "CDEFGAB";
    for (int game = 0; game < 100'000; ++game) {
        const bool letter = lonely ? game == 0 : game % 2 == 0;
        for (int q = 0; q < kDrillNotes; ++q) {
            const int step = (q * 11 + game) % kDrillNotes;
            std::fprintf(f, "2024-%02d-%02dT%02d:%02d:00+01:00,%s,%c%d,%s,%d.%02d,%d\n",
                         1 + game / 9000 % 12, 1 + game / 300 % 28, game / 60 % 24, game % 60,
                         letter ? "letter" : "piano", kNames[step % 7], 2 + step / 7,
                         step < 14 ? "bass" : "treble", 1 + (game + q) % 4, 3 * (q % 33), q % 3);
        }
    }
    std::fclose(f);
    static clavora::DrillScores scores;
    int32_t weights[kDrillNotes];
    for (auto _ : state) {
        clavora::ReadDrillHistory(path.c_str(), clavora::MODE_LETTER, scores);
        scores.Weights(weights);
        benchmark::DoNotOptimize(weights);
    }
    state.counters["sessions_read"] = scores.Sessions();
    RemoveScratch(path);
}
BENCHMARK(DrillStartOn100000Games)->Arg(0)->Arg(1)->ArgNames({"lonely"})->Unit(benchmark::kMillisecond);

}  // namespace
