// The register-access assembler fed directly: only bit 0 of CDM and CDS counts. Every access, view,
// burst, refusal, CRC error and time-out is a round trip from the generator (round_trip_test.cpp).
#include <gtest/gtest.h>

#include "bissgen/control.h"
#include "support/engine_records.h"

namespace zbtest {
namespace {

// The records of a read and of a write fed as the generator plans them, one pair per frame 100
// samples apart, with `noise` ORed into every bit.
std::vector<Rec> Feed(bool slaveView, uint32_t noise) {
    zb::RecordOutput out;
    zb::RegisterAssembler assembler(out);
    assembler.Reset(slaveView, 1000000);
    int64_t pos = 1000;
    for (const bissgen::AccessKind kind : {bissgen::AccessKind::Read, bissgen::AccessKind::Write}) {
        bissgen::RegisterAccess access = bissgen::RegisterRead(5, 0x42, {0xA5, 0x3C});
        access.kind = kind;
        for (const bissgen::ControlStep& step : bissgen::PlanAccess(access).steps) {
            assembler.Feed(pos, step.cdm | noise, step.cds | noise);
            pos += 100;
        }
        for (int idle = 0; idle < 3; ++idle) assembler.Feed(pos += 100, noise & ~1u, noise & ~1u);
    }
    return Records(out);
}

TEST(RegisterAssembler, OnlyBitZeroOfEachLineCounts) {
    for (bool slaveView : {false, true}) {
        const std::vector<Rec> clean = Feed(slaveView, 0);
        EXPECT_GE(clean.size(), 10u);
        EXPECT_EQ(Feed(slaveView, 0xFFFFFFFEu), clean) << slaveView;
    }
}

}  // namespace
}  // namespace zbtest
