// clavora-progress: the practice history of Clavora's note-reading game as a picture
// and a short table. Argument parsing and messages only; the history is read by
// History.cpp and drawn by Picture.cpp.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>
#include <string>

#include "History.h"
#include "Picture.h"
#include "app/FileIo.h"

using namespace progress;

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr const char* kHistoryName = "Clavora-history.csv";

const char kHelp[] =
    "Usage: clavora-progress [--data DIR] [-o FILE] [--last N]\n"
    "\n"
    "Draws the practice history of Clavora's note-reading games (Clavora-history.csv,\n"
    "in the current directory or in DIR) as a picture, and prints a short table.\n"
    "For each mode: the time and the mistakes of every game and every drill (W) over\n"
    "the days, with a line through each day's best game, and the 29 notes on a grand\n"
    "staff coloured by how slow they were, with their wrong answers, over the last N\n"
    "games and drills; and the five weakest notes by the drill's rule, with how they\n"
    "moved over the last 10 sessions.\n"
    "\n"
    "  --data DIR   read the history in DIR (Clavora's data directory when started from\n"
    "               the applications menu: ~/.local/share/clavora)\n"
    "  -o FILE      the picture to write: PNG or SVG by its ending (default progress.png\n"
    "               beside the history)\n"
    "  --last N     the games the note figures cover (default 10)\n"
    "\n"
    "Exit status: 0 when done, 1 when refused (no history, no whole game in it, a\n"
    "picture that cannot be written), 2 for a wrong command line.\n";

int Usage(const char* what) {
    std::fprintf(stderr, "clavora-progress: %s\nTry 'clavora-progress --help'.\n", what);
    return kUsage;
}

bool EndsWith(const std::string& s, const char* end) {
    const size_t n = std::strlen(end);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != end[i]) return false;
    return true;
}

std::string Seconds(int32_t hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d s", hundredths / 100, hundredths % 100);
    return text;
}

// The games' figures: drills ask the weak notes, so their times are not compared.
void PrintTable(const std::vector<ModeSummary>& modes, int last) {
    const std::string mean = "mean of last " + std::to_string(last);
    std::printf("%-7s %6s %6s %5s  %-22s %-22s %s\n", "mode", "games", "drills", "days", "best game",
                "last game", mean.c_str());
    for (const ModeSummary& m : modes) {
        const Game* best = nullptr;
        const Game* lastGame = nullptr;
        int days = 0, lastDay = -1;
        for (const Game* g : m.games) {
            if (g->day != lastDay) ++days;
            lastDay = g->day;
            if (g->drill) continue;
            if (!best || g->hundredths < best->hundredths ||
                (g->hundredths == best->hundredths && g->wrong < best->wrong))
                best = g;
            lastGame = g;
        }
        long sum = 0, wrong = 0, counted = 0;
        for (size_t i = m.games.size(); i-- > 0 && counted < last;) {
            if (m.games[i]->drill) continue;
            sum += m.games[i]->hundredths;
            wrong += m.games[i]->wrong;
            ++counted;
        }
        const auto both = [](int32_t h, long w) {
            return Seconds(h) + ", " + std::to_string(w) + " wrong";
        };
        const std::string none = "none";
        std::printf("%-7s %6zu %6d %5d  %-22s %-22s %s\n", ModeName(m.mode), m.games.size() - m.drills,
                    m.drills, days, best ? both(best->hundredths, best->wrong).c_str() : none.c_str(),
                    lastGame ? both(lastGame->hundredths, lastGame->wrong).c_str() : none.c_str(),
                    counted ? both(static_cast<int32_t>(sum / counted), wrong / counted).c_str() : none.c_str());
    }
    static const char* kNames[7] = {"C", "D", "E", "F", "G", "A", "B"};
    const auto name = [](int step) { return kNames[step % 7] + std::to_string(2 + step / 7); };
    for (const ModeSummary& m : modes) {
        std::array<int, kQuizNotes> order;
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return m.seconds[a] > m.seconds[b]; });
        std::printf("%s, last %d %s%s: slowest", ModeName(m.mode), m.lastGames,
                    m.drillsInLast ? "games and drills" : "game",
                    m.drillsInLast || m.lastGames == 1 ? "" : "s");
        for (int i = 0; i < 3; ++i) std::printf(" %s %.1f s", name(order[i]).c_str(), m.seconds[order[i]]);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return m.wrong[a] > m.wrong[b]; });
        std::printf("; most wrong");
        int shown = 0;
        for (int i = 0; i < 3 && m.wrong[order[i]] > 0; ++i, ++shown)
            std::printf(" %s %d", name(order[i]).c_str(), m.wrong[order[i]]);
        std::printf("%s\n", shown == 0 ? " none" : "");
    }
    for (const ModeSummary& m : modes) {
        const int points = static_cast<int>(m.weakest.front().scores.size());
        std::printf("%s, the five weakest notes by the drill's rule: share of the next drill, rank %d "
                    "session%s ago, score in seconds after each of the last %d session%s\n",
                    ModeName(m.mode), points, points == 1 ? "" : "s", points, points == 1 ? "" : "s");
        for (const WeakNote& w : m.weakest) {
            std::printf("  %-3s %5.1f %%  rank %2d -> %d  ", name(w.step).c_str(), 100 * w.share,
                        w.rankBefore, w.rank);
            for (const double s : w.scores) std::printf(s < 0 ? "    -" : " %4.1f", s);
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    clavora::SetProgramName("clavora-progress");
    std::string data, output;
    int last = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kDone;
        } else if (a == "--data" && hasValue) {
            data = argv[++i];
        } else if (a == "-o" && hasValue) {
            output = argv[++i];
        } else if (a == "--last" && hasValue) {
            const std::string n = argv[++i];
            if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(n) < 1)
                return Usage("--last takes a number of games, 1 or more");
            last = std::stoi(n);
        } else if (a == "--data" || a == "-o" || a == "--last") {
            return Usage((a + " needs a value").c_str());
        } else {
            return Usage(("unknown argument: " + a).c_str());
        }
    }
    const std::string dir = data.empty() ? "" : (data.back() == '/' ? data : data + "/");
    if (output.empty()) output = dir + "progress.png";
    const bool svg = EndsWith(output, ".svg");
    if (!svg && !EndsWith(output, ".png"))
        return Usage("the picture's name must end in .png or .svg");

    History history;
    const std::string path = dir + kHistoryName;
    if (!ReadHistory(path, static_cast<int64_t>(std::time(nullptr)), history)) return kRefused;
    if (history.games.empty()) {
        std::fprintf(stderr, "clavora-progress: %s holds no finished game yet\n", path.c_str());
        return kRefused;
    }
    const std::vector<ModeSummary> modes = Summarize(history, last);
    std::string bytes;
    if (!DrawPicture(modes, svg, bytes)) {
        std::fprintf(stderr, "clavora-progress: cannot draw the picture\n");
        return kRefused;
    }
    if (!clavora::WriteFileAtomic(output.c_str(), bytes.data(), bytes.size())) return kRefused;
    PrintTable(modes, last);
    if (history.partialGames > 0)
        std::printf("%ld game%s with rows missing left out\n", history.partialGames,
                    history.partialGames == 1 ? "" : "s");
    std::printf("Picture: %s\n", output.c_str());
    return kDone;
}
