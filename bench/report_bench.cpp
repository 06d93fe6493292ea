// Report speed: a generated capture of 1,000,000 BiSS-C frames (8 multi-turn and 12 single-turn
// bits) decoded through the host's sampleQuery callback, then its report built through the row
// callback and through the spool and the named block, timed side by side in one run. The report
// of a capture must take no longer than its decode: report/decode and block/decode at most 1.
//
//   build/native/bench/report_bench [runs]   (default 5; prints the medians)
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bench_decode.h"
#include "report/report_entry.h"

namespace {

uint64_t gLines = 0;
int32_t ZB_CALL CountRow(const char*, uint32_t length) {
    gLines += length != 0 ? 1 : 0;
    return 1;
}

// The report of `d`'s records through the row callback, or through the spool and a named block.
void Report(zbbench::RepeatedDecode& d, bool callback) {
    zb::HostRecord& record = d.Host().Record();
    record.reportRow = callback ? &CountRow : nullptr;
    std::snprintf(record.reportBlockName, sizeof record.reportBlockName, "zb_bench_%d",
                  static_cast<int>(getpid()));
    d.Call().Remember(&record);
    zb::ColumnWidths widths = {};
    gLines = 0;
    zb::BuildReport(d.Call(), widths, d.Settings(), d.Positions(), d.Codes(), d.Count());
    char object[64];
    std::snprintf(object, sizeof object, "/%s", record.reportBlockName);
    shm_unlink(object);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bissgen::Layout layout;
    layout.multiTurnBits = 8;
    zbbench::RepeatedDecode d(layout, 1000, 1000, zb::DecodeMode::SingleCycle);
    std::vector<double> decode, callback, block;
    uint64_t rows = 0;
    for (int r = 0; r < runs; ++r) {
        decode.push_back(zbbench::Seconds([&] { d.Run(); }));
        callback.push_back(zbbench::Seconds([&] { Report(d, true); }));
        rows = gLines;
        block.push_back(zbbench::Seconds([&] { Report(d, false); }));
    }
    const double dec = zbbench::Median(decode), cb = zbbench::Median(callback), bl = zbbench::Median(block);
    std::printf("command: %s %d\n1,000,000 frames, %u records, %llu report rows\n", argv[0], runs, d.Count(),
                static_cast<unsigned long long>(rows));
    std::printf("decode                 median %.3f s\n", dec);
    std::printf("report (row callback)  median %.3f s  %.2f M rows/s  report/decode %.2f (target <= 1)\n", cb,
                rows / cb / 1e6, cb / dec);
    std::printf("report (named block)   median %.3f s  %.2f M rows/s  block/decode %.2f (target <= 1)\n", bl,
                rows / bl / 1e6, bl / dec);
    return 0;
}
