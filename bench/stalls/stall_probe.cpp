// How late this machine wakes a real-time thread: one thread per processor, pinned to
// it, at the highest SCHED_FIFO priority where the process may have it, asks to wake
// every millisecond and notes each wake later than a threshold. Wakes late on every
// processor at the same moment are the machine itself going away (a virtual machine's
// processors taken by its host), which no priority inside it can prevent; the sound
// output's queue has to outlast them.
//
// Usage: clavora_stall_probe [SECONDS=60] [THRESHOLD_MS=2]
// Prints each late wake (monotonic seconds, processor, how late) and a summary. SECONDS 0
// probes until SIGINT or SIGTERM, so that a test or benchmark can run it beside itself.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Late {
    double at;  // monotonic seconds
    int cpu;
    double ms;
};

std::mutex g_lock;
std::vector<Late> g_late;
bool g_realtime = true;
std::atomic<bool> g_stop{false};

void Stop(int) { g_stop.store(true); }

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9; }

void Probe(int cpu, double seconds, double thresholdMs, long* wakes) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        std::lock_guard<std::mutex> hold(g_lock);
        g_realtime = false;
    }
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const double end = seconds > 0 ? Seconds(next) + seconds : 1e300;
    for (;;) {
        next.tv_nsec += 1'000'000;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        ++*wakes;
        const double lateMs = (Seconds(now) - Seconds(next)) * 1e3;
        if (lateMs > thresholdMs) {
            std::lock_guard<std::mutex> hold(g_lock);
            g_late.push_back({Seconds(now), cpu, lateMs});
        }
        // After a long wake the missed periods are skipped, not caught up at once.
        if (lateMs > 1.0) next = now;
        if (Seconds(now) >= end || g_stop.load()) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const double thresholdMs = argc > 2 ? std::atof(argv[2]) : 2.0;
    if (seconds < 0 || thresholdMs <= 0) {
        std::fprintf(stderr, "usage: %s [SECONDS=60] [THRESHOLD_MS=2]\n", argv[0]);
        return 2;
    }
    timespec begun{};
    clock_gettime(CLOCK_MONOTONIC, &begun);
    signal(SIGINT, Stop);
    signal(SIGTERM, Stop);
    const int cpus = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<long> wakes(static_cast<size_t>(cpus), 0);
    std::vector<std::thread> threads;
    for (int cpu = 0; cpu < cpus; ++cpu)
        threads.emplace_back(Probe, cpu, seconds, thresholdMs, &wakes[static_cast<size_t>(cpu)]);
    for (auto& t : threads) t.join();
    timespec ended{};
    clock_gettime(CLOCK_MONOTONIC, &ended);

    std::sort(g_late.begin(), g_late.end(), [](const Late& a, const Late& b) { return a.at < b.at; });
    double worst = 0;
    for (const Late& l : g_late) {
        std::printf("%.4f cpu%d late %.2f ms\n", l.at, l.cpu, l.ms);
        worst = std::max(worst, l.ms);
    }
    // A moment when every processor woke late, within a millisecond of each other.
    int together = 0;
    for (size_t i = 0; i < g_late.size();) {
        size_t j = i;
        std::vector<bool> seen(static_cast<size_t>(cpus), false);
        while (j < g_late.size() && g_late[j].at - g_late[i].at < 0.001)
            seen[static_cast<size_t>(g_late[j++].cpu)] = true;
        if (std::all_of(seen.begin(), seen.end(), [](bool s) { return s; })) ++together;
        i = j;
    }
    long total = 0;
    for (long w : wakes) total += w;
    std::printf("stall probe: %d processors, %s, %.0f s, %ld wakes; %zu later than %.1f ms, "
                "worst %.2f ms; %d moments with every processor late at once\n",
                cpus, g_realtime ? "SCHED_FIFO" : "ordinary priority (no real-time allowed)",
                Seconds(ended) - Seconds(begun), total, g_late.size(), thresholdMs, worst, together);
    return 0;
}
