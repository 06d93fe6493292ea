// Append speed and memory of a PositionStore + CodeStore pair filled as a decode fills them, with
// a plain pair of std::vector as the side-by-side reference. Prints the median of several runs.
//   result_store_bench [records=30000000] [runs=5]
// Peak resident memory (VmHWM) is read from /proc/self/status after the store runs and before
// the reference runs, so it shows what the stores alone needed.
#include <cstdio>

#include "abi/host_messages.h"
#include "bench_decode.h"
#include "engine/result_store.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using zbbench::Median;
using zbbench::StatusKiB;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Appends like the engine's StoreRecord: positions rise, the last position is read back.
struct PairTimes {
    double append = 0;
    double finish = 0;
    long rssFilledKiB = 0;
};

PairTimes RunStores(zb::PositionStore& positions, zb::CodeStore& codes, uint64_t records, const char* dir) {
    PairTimes t;
    positions.ResetStore(dir);
    codes.ResetStore(dir);
    const auto start = Clock::now();
    for (uint64_t i = 0; i < records; ++i) {
        positions.AppendElement(static_cast<int64_t>(i * 3));
        codes.AppendElement(static_cast<uint32_t>(0xE0000000u | (i & 0xFFFFFF)));
    }
    const auto appended = Clock::now();
    // One old read of each store allocates their caches, as the report's look-backs would.
    volatile int64_t sink = positions.ElementAt(5) + codes.ElementAt(5) + positions.ElementAt(records - 1);
    (void)sink;
    t.rssFilledKiB = StatusKiB("VmRSS:");
    const auto beforeFinish = Clock::now();
    const int64_t* p = positions.FinishStore();
    const uint32_t* c = codes.FinishStore();
    const auto finished = Clock::now();
    if (p == nullptr || c == nullptr || positions.Degraded() || codes.Degraded()) {
        std::fprintf(stderr, "stores fell back to memory: check the temporary directory\n");
    }
    t.append = Seconds(start, appended);
    t.finish = Seconds(beforeFinish, finished);
    return t;
}

double RunVectors(uint64_t records) {
    std::vector<int64_t> positions;
    std::vector<uint32_t> codes;
    const auto start = Clock::now();
    for (uint64_t i = 0; i < records; ++i) {
        positions.push_back(static_cast<int64_t>(i * 3));
        codes.push_back(static_cast<uint32_t>(0xE0000000u | (i & 0xFFFFFF)));
    }
    volatile int64_t sink = positions.back() + codes.back();
    (void)sink;
    return Seconds(start, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 30000000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (records == 0) return 2;

    char dir[512];
    if (!zb::platform::TempDirectory(dir, sizeof dir) || std::strlen(dir) >= zb::kMessageTextSize) return 2;

    const long baseKiB = StatusKiB("VmHWM:");
    std::vector<double> append, finish, rss;
    {
        zb::PositionStore positions;
        zb::CodeStore codes;
        for (int r = 0; r < runs; ++r) {
            const PairTimes t = RunStores(positions, codes, records, dir);
            append.push_back(t.append);
            finish.push_back(t.finish);
            rss.push_back(static_cast<double>(t.rssFilledKiB));
        }
    }  // the stores delete their files here
    const long peakKiB = StatusKiB("VmHWM:");

    std::vector<double> vectors;
    for (int r = 0; r < runs; ++r) vectors.push_back(RunVectors(records));

    const double appendMedian = Median(append);
    const double vectorMedian = Median(vectors);
    std::printf("records per run            %llu (position + code pairs), %d runs, files in %s\n",
                static_cast<unsigned long long>(records), runs, dir);
    std::printf("store pair append          median %.3f s  = %.1f M records/s\n", appendMedian,
                records / appendMedian / 1e6);
    std::printf("store pair finish (map)    median %.3f s\n", Median(finish));
    std::printf("std::vector pair append    median %.3f s  = %.1f M records/s  (store/vector time %.2f)\n",
                vectorMedian, records / vectorMedian / 1e6, appendMedian / vectorMedian);
    std::printf("peak resident (VmHWM)      %.1f MiB at start, %.1f MiB after the store runs: +%.1f MiB\n",
                baseKiB / 1024.0, peakKiB / 1024.0, (peakKiB - baseKiB) / 1024.0);
    std::printf("resident when filled       median %.1f MiB (VmRSS before FinishStore)\n",
                Median(rss) / 1024.0);
    return 0;
}
