// The bissgen command: generates BiSS traffic with known content and writes it as a VCD file, a
// sigrok session file and a plain-text truth file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bissgen/scenario.h"
#include "bissgen/truth.h"
#include "bissgen/vcd.h"
#ifdef BISSGEN_HAVE_SRZIP
#include "bissgen/srzip.h"
#endif

namespace {

using namespace bissgen;

const char kUsage[] =
    "usage: bissgen [options]\n"
    "  --scenario bench        the host-tool benchmark capture (200 MHz, >= 600e6 samples,\n"
    "                          ~4000 frames at 2.5 MHz with register traffic); later options\n"
    "                          change it\n"
    "  --frames N              frames to generate (100)\n"
    "  --mode scd|register     single-cycle data only, or register accesses on CDM/CDS (scd)\n"
    "  --protocol c|b          BiSS-C (with CDS) or BiSS-B (c)\n"
    "  --data-bits N           data bits per slave, alignment included (12)\n"
    "  --st-bits N             single-turn bits (data bits - alignment bits); the rest is multi-turn\n"
    "  --align N               alignment bits after the single-turn bits (0)\n"
    "  --crc-bits N --crc-poly P --crc-init I   CRC (6, 0x43, 0)\n"
    "  --slaves N              slaves in the daisy chain, 1..8 (1)\n"
    "  --ack N                 acknowledge clocks (1)\n"
    "  --busy-every N --cut-every N --crc-error-every N --flag-every N\n"
    "                          every N-th frame: busy slave, broken-off frame, wrong CRC,\n"
    "                          nErr/nWarn active (0 = never)\n"
    "  --max-burst N           register mode: up to N bytes per access (4)\n"
    "  --clock-hz F            MA clock (2e6)\n"
    "  --sample-rate N         samples per second (200e6)\n"
    "  --delay N               line delay in samples (0)\n"
    "  --jitter F              MA edge jitter in samples (0)\n"
    "  --pause-ns F            last clock of a frame to the next frame (20000)\n"
    "  --timeout-ns F          the slave's SLO timeout after a frame (5000)\n"
    "  --min-samples N         pad the capture to at least N samples\n"
    "  --seed N                random seed (1)\n"
    "  --vcd FILE --sr FILE --truth FILE   outputs\n";

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool ParseUnsigned(const char* text, uint64_t& out) {
    char* end = nullptr;
    if (text[0] == '-') return false;
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (end != text && *end == '\0') {
        out = v;
        return true;
    }
    double d = 0;  // also accept 200e6
    if (!ParseNumber(text, d) || d < 0 || d > 1.8e19) return false;
    out = static_cast<uint64_t>(d);
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "bissgen: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ScenarioOptions o;
    int dataBits = -1, stBits = -1, align = -1;
    std::string vcdPath, srPath, truthPath;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return Fail("option " + opt + " needs a value (see --help)");
        const char* value = argv[++i];
        uint64_t u = 0;
        double d = 0;
        const bool isU = ParseUnsigned(value, u);
        const bool isD = ParseNumber(value, d);
        auto needU = [&](uint64_t maxValue) {
            if (!isU || u > maxValue) {
                std::fprintf(stderr, "bissgen: bad value '%s' for %s\n", value, opt.c_str());
                return false;
            }
            return true;
        };
        auto needD = [&]() {
            if (!isD || d < 0) {
                std::fprintf(stderr, "bissgen: bad value '%s' for %s\n", value, opt.c_str());
                return false;
            }
            return true;
        };
        const auto asInt = [&] { return static_cast<int>(u); };
        if (opt == "--scenario") {
            if (std::strcmp(value, "bench") != 0) return Fail("unknown scenario " + std::string(value));
            o = BenchScenario();
        } else if (opt == "--frames") {
            if (!needU(100000000)) return 2;
            o.frames = asInt();
        } else if (opt == "--mode") {
            if (std::strcmp(value, "scd") == 0)
                o.mode = TrafficMode::SingleCycle;
            else if (std::strcmp(value, "register") == 0)
                o.mode = TrafficMode::Register;
            else
                return Fail("--mode is scd or register");
        } else if (opt == "--protocol") {
            if (std::strcmp(value, "c") == 0 || std::strcmp(value, "C") == 0)
                o.layout.protocol = Protocol::BissC;
            else if (std::strcmp(value, "b") == 0 || std::strcmp(value, "B") == 0)
                o.layout.protocol = Protocol::BissB;
            else
                return Fail("--protocol is c or b");
        } else if (opt == "--data-bits") {
            if (!needU(64) || u < 1) return Fail("--data-bits is 1..64");
            dataBits = asInt();
        } else if (opt == "--st-bits") {
            if (!needU(64)) return 2;
            stBits = asInt();
        } else if (opt == "--align") {
            if (!needU(63)) return 2;
            align = asInt();
        } else if (opt == "--crc-bits") {
            if (!needU(16) || u < 1) return Fail("--crc-bits is 1..16");
            o.layout.crc.bits = asInt();
        } else if (opt == "--crc-poly") {
            if (!needU(0xFFFFFFFFu)) return 2;
            o.layout.crc.poly = static_cast<uint32_t>(u);
        } else if (opt == "--crc-init") {
            if (!needU(0xFFFFFFFFu)) return 2;
            o.layout.crc.init = static_cast<uint32_t>(u);
        } else if (opt == "--slaves") {
            if (!needU(8) || u < 1) return Fail("--slaves is 1..8");
            o.slaves = asInt();
        } else if (opt == "--ack") {
            if (!needU(1000) || u < 1) return Fail("--ack is 1..1000");
            o.ackClocks = asInt();
        } else if (opt == "--busy-every") {
            if (!needU(1000000)) return 2;
            o.busyEvery = asInt();
        } else if (opt == "--cut-every") {
            if (!needU(1000000)) return 2;
            o.cutEvery = asInt();
        } else if (opt == "--crc-error-every") {
            if (!needU(1000000)) return 2;
            o.crcErrorEvery = asInt();
        } else if (opt == "--flag-every") {
            if (!needU(1000000)) return 2;
            o.flagEvery = asInt();
        } else if (opt == "--max-burst") {
            if (!needU(64) || u < 1) return Fail("--max-burst is 1..64");
            o.maxBurst = asInt();
        } else if (opt == "--clock-hz") {
            if (!needD() || d <= 0) return 2;
            o.timing.clockHz = d;
        } else if (opt == "--sample-rate") {
            if (!needU(100000000000ull) || u < 1) return Fail("--sample-rate must be positive");
            o.timing.sampleRate = u;
        } else if (opt == "--delay") {
            if (!needU(1000000)) return 2;
            o.timing.lineDelay = static_cast<int64_t>(u);
        } else if (opt == "--jitter") {
            if (!needD()) return 2;
            o.timing.jitter = d;
        } else if (opt == "--pause-ns") {
            if (!needD()) return 2;
            o.timing.pauseNs = d;
        } else if (opt == "--timeout-ns") {
            if (!needD()) return 2;
            o.timing.timeoutNs = d;
        } else if (opt == "--min-samples") {
            if (!needU(~uint64_t{0} >> 2)) return 2;
            o.minSamples = u;
        } else if (opt == "--seed") {
            if (!needU(~uint64_t{0})) return 2;
            o.seed = u;
        } else if (opt == "--vcd") {
            vcdPath = value;
        } else if (opt == "--sr") {
            srPath = value;
        } else if (opt == "--truth") {
            truthPath = value;
        } else {
            return Fail("unknown option " + opt + " (see --help)");
        }
    }
    // The data field: alignment last, single-turn before it, multi-turn first.
    if (dataBits >= 0 || stBits >= 0 || align >= 0) {
        const int total = dataBits >= 0 ? dataBits : o.layout.DataBits();
        o.layout.alignBits = align >= 0 ? align : o.layout.alignBits;
        if (o.layout.alignBits >= total) return Fail("--align must be below --data-bits");
        o.layout.singleTurnBits = stBits >= 0 ? stBits : total - o.layout.alignBits;
        if (o.layout.singleTurnBits > total - o.layout.alignBits)
            return Fail("--st-bits too large for --data-bits");
        o.layout.multiTurnBits = total - o.layout.alignBits - o.layout.singleTurnBits;
    }
#ifndef BISSGEN_HAVE_SRZIP
    if (!srPath.empty()) return Fail("this build has no sigrok session output (libzip missing)");
#endif

    const Generator gen = RunScenario(o);
    const Capture capture = gen.Finish();
    std::string error;
    if (!vcdPath.empty() && !WriteVcd(vcdPath, capture, &error)) return Fail(error);
#ifdef BISSGEN_HAVE_SRZIP
    if (!srPath.empty() && !WriteSrzip(srPath, capture, &error)) return Fail(error);
#endif
    if (!truthPath.empty() && !WriteTruth(truthPath, gen, &error)) return Fail(error);
    std::printf(
        "frames %zu, accesses %zu, samples %lld, changes %zu, sample rate %llu, clock period %.3f samples\n",
        gen.Frames().size(), gen.Accesses().size(), static_cast<long long>(capture.lastSample + 1),
        capture.changes.size(), static_cast<unsigned long long>(capture.sampleRate), gen.PeriodSamples());
    return 0;
}
