// The costs of the practice history: appending a finished game's 29 rows (formatted,
// written in one write and flushed to disk; goal under 1 ms), and clavora-progress
// reading a history of 100,000 games (2.9 million rows) and drawing its picture
// (goal under 2 s). And what a close costs the song store: 128 full song files of
// 32,000 bytes written through the file writer, once with bytes the files already
// hold (left alone) and once with new bytes (each file written, flushed and renamed,
// the directory flushed).
//
//   cmake --build build --target clavora_bench_progress && build/clavora_bench_progress
#include <benchmark/benchmark.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "History.h"
#include "Picture.h"
#include "app/FileIo.h"
#include "app/PianoDlg.h"
#include "game/History.h"

namespace {

// A directory of its own on the disk the program would use, left empty at the end.
struct Scratch {
    std::string dir = "/tmp/clavora-bench.XXXXXX";
    Scratch() {
        if (!mkdtemp(dir.data())) std::abort();
    }
    ~Scratch() { std::system(("rm -rf " + dir).c_str()); }
};

void HistoryAppend(benchmark::State& state) {
    Scratch scratch;
    if (chdir(scratch.dir.c_str()) != 0) std::abort();
    tzset();
    for (auto _ : state) {
        state.PauseTiming();
        clavora::HistoryNewGame(1'796'000'000, clavora::MODE_LETTER, 0);
        for (int16_t q = 0; q < clavora::QUIZ_NOTES; ++q) {
            clavora::HistoryTick();
            clavora::HistoryRight(q, static_cast<int16_t>(15 + q));
        }
        clavora::HistoryFinished();
        state.ResumeTiming();
        if (!clavora::WritePendingHistory()) state.SkipWithError("the rows were not written");
    }
    if (chdir("/") != 0) std::abort();
}
BENCHMARK(HistoryAppend)->Unit(benchmark::kMicrosecond);

void CloseSavesSongs(benchmark::State& state) {
    Scratch scratch;
    const bool changed = state.range(0) != 0;
    static unsigned char song[32000];
    char name[PATH_MAX];
    unsigned char round = 0;
    for (int slot = 0; slot < 128; ++slot) {
        std::snprintf(name, sizeof name, "%s/song.%03d", scratch.dir.c_str(), slot);
        clavora::WriteFileAtomic(name, song, sizeof song);
    }
    for (auto _ : state) {
        if (changed) song[0] = ++round;
        for (int slot = 0; slot < 128; ++slot) {
            std::snprintf(name, sizeof name, "%s/song.%03d", scratch.dir.c_str(), slot);
            if (!clavora::WriteFileAtomic(name, song, sizeof song)) state.SkipWithError("unwritten");
        }
    }
}
BENCHMARK(CloseSavesSongs)->Arg(0)->Arg(1)->ArgNames({"changed"})->Unit(benchmark::kMillisecond)->Iterations(5);

// 100,000 games over 1,000 days, in both modes, as the program writes them.
void WriteBigHistory(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("start,mode,note,clef,seconds,wrong\n", f);
    static const char* kNames = "CDEFGAB";
    unsigned seed = 19;
    for (int g = 0; g < 100'000; ++g) {
        const int day = g / 100, minute = (g % 100) * 10;
        char start[40];
        std::snprintf(start, sizeof start, "2024-%02d-%02dT%02d:%02d:00+01:00", 1 + day / 28 % 12,
                      1 + day % 28, minute / 60 % 24, minute % 60);
        for (int q = 0; q < 29; ++q) {
            seed = seed * 1103515245 + 12345;
            const int step = (q * 11) % 29;
            std::fprintf(f, "%s,%s,%c%d,%s,%d.%02d,%u\n", start, g % 2 ? "piano" : "letter",
                         kNames[step % 7], 2 + step / 7, step < 14 ? "bass" : "treble",
                         1 + seed % 4, 3 * (seed % 33), (seed >> 8) % 3);
        }
    }
    std::fclose(f);
}

// The whole command's work, and its two halves.
void ProgressReadAndDraw(benchmark::State& state) {
    const int part = static_cast<int>(state.range(0));  // 0 both, 1 read, 2 draw
    Scratch scratch;
    const std::string path = scratch.dir + "/Clavora-history.csv";
    WriteBigHistory(path);
    progress::History read;
    if (part == 2 && !progress::ReadHistory(path, std::time(nullptr), read)) std::abort();
    size_t rows = 0, bytes = 0;
    for (auto _ : state) {
        progress::History history;
        if (part != 2 && !progress::ReadHistory(path, std::time(nullptr), history))
            state.SkipWithError("unread");
        const progress::History& h = part == 2 ? read : history;
        std::string picture;
        if (part != 1 && !progress::DrawPicture(progress::Summarize(h, 10), false, picture))
            state.SkipWithError("undrawn");
        rows = h.games.size() * 29;
        bytes = picture.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["png_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(ProgressReadAndDraw)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"part"})
    ->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
