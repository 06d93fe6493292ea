// Tests of zbhost's capture readers and writers: the change scanner against a plain per-sample
// scan, round trips through sigrok session, VCD, CSV and raw sample files, and broken files of every
// kind, which must end in a CaptureError, never in a crash.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "bissgen/samples.h"
#include "bissgen/srzip.h"
#include "bissgen/vcd.h"
#include "capture_readers.h"
#include "capture_writers.h"
#include "change_builder.h"
#include "sample_scan.h"

namespace {

using bissgen::Capture;
using bissgen::Change;
using zbhost::CaptureError;

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "zbhost_" + std::to_string(::getpid()) + "_" + name;
}

bool SameChanges(const Capture& a, const Capture& b) {
    if (a.changes.size() != b.changes.size()) return false;
    for (size_t i = 0; i < a.changes.size(); ++i) {
        const Change& x = a.changes[i];
        const Change& y = b.changes[i];
        if (x.position != y.position || x.ma != y.ma || x.slo != y.slo) return false;
    }
    return true;
}

// A random two-line capture: runs of 1..maxRun samples, every run changing at least one level.
Capture RandomCapture(uint32_t seed, int runs, int maxRun, uint64_t rate = 200'000'000) {
    std::mt19937 rng(seed);
    Capture c;
    c.sampleRate = rate;
    int64_t pos = 0;
    uint8_t ma = 1, slo = 1;
    for (int i = 0; i < runs; ++i) {
        c.changes.push_back(Change{pos, ma, slo});
        pos += 1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(maxRun));
        const int flip = 1 + static_cast<int>(rng() % 3);
        if (flip & 1) ma ^= 1;
        if (flip & 2) slo ^= 1;
    }
    c.lastSample = pos - 1;
    return c;
}

// ---- Change scanning ------------------------------------------------------------------------------

TEST(ZbhostScanner, MatchesPlainScanForEverySampleSize) {
    for (unsigned unit = 1; unit <= 8; ++unit) {
        std::mt19937 rng(unit);
        const unsigned maBit = rng() % (unit * 8), sloBit = (maBit + 1 + rng() % (unit * 8 - 1)) % (unit * 8);
        // Long idle stretches with other bits toggling (they must be ignored), and some bursts.
        std::vector<uint8_t> data(unit * 5000);
        uint64_t level = 0;
        for (size_t s = 0; s < 5000; ++s) {
            if (rng() % 50 == 0) level ^= uint64_t{1} << (rng() % 2 ? maBit : sloBit);
            const uint64_t noise =
                (uint64_t{rng()} << 32 | rng()) & ~((uint64_t{1} << maBit) | (uint64_t{1} << sloBit));
            const uint64_t sample = level | noise;
            std::memcpy(&data[s * unit], &sample, unit);
        }
        zbhost::ChangeBlock expected;
        uint8_t last = 0xFF;
        for (size_t s = 0; s < 5000; ++s) {
            uint64_t v = 0;
            std::memcpy(&v, &data[s * unit], unit);
            const uint8_t levels = zbhost::PackLevels((v >> maBit) & 1, (v >> sloBit) & 1);
            if (levels != last) expected.Push(static_cast<int64_t>(s), levels);
            last = levels;
        }
        zbhost::ChangeBlock got;
        zbhost::SampleScanner scanner(unit, maBit, sloBit);
        // Odd piece sizes split samples and words.
        size_t at = 0;
        while (at < data.size()) {
            const size_t n = std::min<size_t>(data.size() - at, 1 + rng() % 97);
            scanner.Feed(data.data() + at, n, got);
            at += n;
        }
        EXPECT_EQ(scanner.SampleCount(), 5000) << "unit " << unit;
        EXPECT_EQ(scanner.PendingBytes(), 0u);
        EXPECT_EQ(got.positions, expected.positions)
            << "unit " << unit << " ma " << maBit << " slo " << sloBit;
        EXPECT_EQ(got.levels, expected.levels) << "unit " << unit;
    }
}

TEST(ZbhostScanner, SettingsAtOnePositionKeepTheLast) {
    zbhost::ChangeBlock out;
    zbhost::ChangeBuilder b;
    b.SetOutput(out);
    b.Set(0, 3);
    b.Set(5, 2);
    b.Set(5, 3);  // undoes the change at 5
    b.Set(7, 1);
    b.Set(9, 1);  // repeats the levels: no change
    b.Commit();
    EXPECT_EQ(out.positions, (std::vector<int64_t>{0, 7}));
    EXPECT_THROW(b.Set(1, 0), CaptureError);  // backwards
}

TEST(ZbhostReaders, SampleRateTexts) {
    const std::pair<const char*, uint64_t> cases[] = {{"200 MHz", 200'000'000},
                                                      {"1.5MHz", 1'500'000},
                                                      {"48000", 48'000},
                                                      {"1 GHz", 1'000'000'000},
                                                      {"500 kHz", 500'000},
                                                      {"10 Hz", 10},
                                                      {"fast", 0},
                                                      {"-5 MHz", 0},
                                                      {"5 parsecs", 0},
                                                      {"", 0}};
    for (const auto& [text, rate] : cases) EXPECT_EQ(zbhost::ParseSampleRate(text), rate) << text;
}

// ---- sigrok session files ---------------------------------------------------------------------------

TEST(ZbhostSrzip, RoundTripsAcrossLayouts) {
    struct Case {
        unsigned unit, ma, slo;
        uint64_t chunkSamples;
        const char* maSpec;
        const char* sloSpec;
    };
    const Case cases[] = {{1, 0, 1, 4096, "MA", "SLO"}, {1, 5, 2, 333, "5", "2"},
                          {2, 9, 15, 500, "9", "15"},   {3, 20, 3, 333, "20", "3"},
                          {4, 31, 0, 1024, "31", "0"},  {8, 63, 40, 8, "63", "40"}};
    for (const Case& k : cases) {
        const Capture c = RandomCapture(k.unit * 7 + k.ma, 3000, 40);
        bissgen::SrzipLayout layout;
        layout.unitSize = k.unit;
        layout.maBit = k.ma;
        layout.sloBit = k.slo;
        layout.probeNames.clear();
        for (unsigned i = 0; i < k.unit * 8; ++i) layout.probeNames.push_back("D" + std::to_string(i));
        if (k.unit == 1 && k.ma == 0) layout.probeNames = {"MA", "SLO"};
        const std::string path = TempPath("rt.sr");
        std::string error;
        ASSERT_TRUE(bissgen::WriteSrzip(path, c, &error, k.chunkSamples, layout)) << error;
        zbhost::ReadOptions o;
        o.ma = k.maSpec;
        o.slo = k.sloSpec;
        // One worker, and more workers than processors: the members are joined in order.
        for (const unsigned threads : {1u, 3u}) {
            o.threads = threads;
            const Capture back = zbhost::ReadCapture(path, zbhost::CaptureFormat::Srzip, o);
            EXPECT_EQ(back.sampleRate, c.sampleRate);
            EXPECT_EQ(back.lastSample, c.lastSample);
            EXPECT_TRUE(SameChanges(c, back)) << "unit " << k.unit << " threads " << threads;
        }
        std::remove(path.c_str());
    }
}

// Writes a zip archive with the given members.
// Writes a zip archive with the given members, deflated or stored.
void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& members,
              zip_int32_t method = ZIP_CM_DEFLATE) {
    int code = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, data] : members) {
        zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
        const zip_int64_t index = zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE);
        ASSERT_GE(index, 0);
        ASSERT_EQ(zip_set_file_compression(z, static_cast<zip_uint64_t>(index), method, 0), 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

std::string Meta(const std::string& body) {
    return "[global]\nsigrok version=0.5.2\n\n[device 1]\n" + body;
}

TEST(ZbhostSrzip, BrokenFilesFailCleanly) {
    const std::string good =
        "capturefile=logic-1\ntotal probes=2\nsamplerate=1 MHz\nprobe1=MA\nprobe2=SLO\nunitsize=1\n";
    const std::string samples(100, '\x03');
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> members;
        const char* ma;
        const char* expect;  // part of the message
    };
    const std::vector<Case> cases = {
        {"no metadata", {{"logic-1-1", samples}}, "MA", "metadata"},
        {"unitsize 0",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=2\nunitsize=0\n")}, {"logic-1-1", samples}},
         "0",
         "unitsize"},
        {"unitsize 9",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=2\nunitsize=9\n")}, {"logic-1-1", samples}},
         "0",
         "unitsize"},
        {"too many probes",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=9\nunitsize=1\n")}, {"logic-1-1", samples}},
         "0",
         "probes"},
        {"probe beyond total",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=2\nprobe7=X\nunitsize=1\n")},
          {"logic-1-1", samples}},
         "0",
         "beyond"},
        {"bad samplerate",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=2\nsamplerate=fast\n")},
          {"logic-1-1", samples}},
         "0",
         "samplerate"},
        {"no capturefile",
         {{"metadata", Meta("total probes=2\n")}, {"logic-1-1", samples}},
         "0",
         "capturefile"},
        {"garbage line",
         {{"metadata", Meta("capturefile=logic-1\nthis is not ini\n")}, {"logic-1-1", samples}},
         "0",
         "without"},
        {"missing probe", {{"metadata", Meta(good)}, {"logic-1-1", samples}}, "CLK", "no channel 'CLK'"},
        {"no sample member", {{"metadata", Meta(good)}}, "MA", "no sample data"},
        {"no samples", {{"metadata", Meta(good)}, {"logic-1-1", ""}}, "MA", "no samples"},
        {"partial sample",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=9\nunitsize=2\n")},
          {"logic-1-1", std::string(7, 'x')}},
         "0",
         "inside a sample"},
        {"member not whole samples",
         {{"metadata", Meta("capturefile=logic-1\ntotal probes=9\nunitsize=2\n")},
          {"logic-1-1", std::string(7, 'x')},
          {"logic-1-2", std::string(9, 'x')}},
         "0",
         "'logic-1-1' ends inside a sample"},
    };
    for (const Case& k : cases) {
        const std::string path = TempPath("bad.sr");
        WriteZip(path, k.members);
        zbhost::ReadOptions o;
        o.ma = k.ma;
        o.slo = "1";
        try {
            zbhost::ReadCapture(path, zbhost::CaptureFormat::Srzip, o);
            ADD_FAILURE() << k.what << ": no error";
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(k.expect), std::string::npos) << k.what << ": " << e.what();
        }
        std::remove(path.c_str());
    }
}

// Members stored without compression read as deflated ones; a change at a member's first sample
// counts, a repeated level across the boundary does not.
TEST(ZbhostSrzip, StoredAndDeflatedMembersReadAlike) {
    const std::string meta = Meta("capturefile=logic-1\ntotal probes=2\nsamplerate=1 MHz\nunitsize=1\n");
    const std::vector<std::pair<std::string, std::string>> members = {
        {"metadata", meta},
        {"logic-1-1", std::string("\0\0\1\1", 4)},
        {"logic-1-2", "\3\3\2"},
        {"logic-1-3", "\2\1"}};
    for (const zip_int32_t method : {ZIP_CM_STORE, ZIP_CM_DEFLATE}) {
        const std::string path = TempPath("stored.sr");
        WriteZip(path, members, method);
        const Capture c = zbhost::ReadCapture(path, zbhost::CaptureFormat::Srzip, {});
        std::vector<int64_t> positions;
        for (const Change& ch : c.changes) positions.push_back(ch.position);
        EXPECT_EQ(positions, (std::vector<int64_t>{0, 2, 4, 6, 8})) << "method " << method;
        EXPECT_EQ(c.lastSample, 8);
        std::remove(path.c_str());
    }
}

TEST(ZbhostSrzip, TruncatedAndGarbageArchivesFail) {
    const Capture c = RandomCapture(3, 20000, 2000);
    const std::string path = TempPath("trunc.sr");
    std::string error;
    ASSERT_TRUE(bissgen::WriteSrzip(path, c, &error)) << error;
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(bytes.size(), 1000u);
    for (const size_t keep : {size_t{0}, size_t{10}, bytes.size() / 2, bytes.size() - 30}) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(keep));
        }
        EXPECT_THROW(zbhost::ReadCapture(path, zbhost::CaptureFormat::Srzip, {}), CaptureError)
            << "kept " << keep;
    }
    // A damaged byte in the middle of the compressed samples.
    std::string damaged = bytes;
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 16; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
    }
    EXPECT_THROW(zbhost::ReadCapture(path, zbhost::CaptureFormat::Srzip, {}), CaptureError);
    std::remove(path.c_str());
    EXPECT_THROW(zbhost::ReadCapture(TempPath("does-not-exist.sr"), zbhost::CaptureFormat::Srzip, {}),
                 CaptureError);
}

// ---- VCD ----------------------------------------------------------------------------------------------

Capture ReadText(const std::string& text, zbhost::CaptureFormat format, zbhost::ReadOptions o = {}) {
    return zbhost::ReadAll(*zbhost::OpenCaptureBytes(text, format, o));
}

Capture ReadVcdText(const std::string& text, zbhost::ReadOptions o = {}) {
    return ReadText(text, zbhost::CaptureFormat::Vcd, o);
}

const char* kVcdHead =
    "$date today $end\n$version hand $end\n$timescale 10 ns $end\n$scope module top $end\n"
    "$var wire 1 ! clk $end\n$var wire 1 # data $end\n$var wire 4 % bus [3:0] $end\n$upscope $end\n"
    "$enddefinitions $end\n";

TEST(ZbhostVcd, ReadsChangesAtTheSampleRate) {
    const std::string body =
        std::string(kVcdHead) +
        "#0\n$dumpvars\n1!\nx#\nb0000 %\n$end\n#3\n0!\n#5\nz#\nb1111 %\n#5\n1!\n#9\n0!\n0#\n#12\n";
    zbhost::ReadOptions o;
    o.ma = "clk";
    o.slo = "data";
    // Default: one sample per time unit (10 ns, 100 MHz).
    Capture c = ReadVcdText(body, o);
    EXPECT_EQ(c.sampleRate, 100'000'000u);
    ASSERT_EQ(c.changes.size(), 4u);
    EXPECT_EQ(c.changes[0].position, 0);
    EXPECT_EQ(c.changes[0].ma, 1);
    EXPECT_EQ(c.changes[0].slo, 0);  // x reads as 0
    EXPECT_EQ(c.changes[1].position, 3);
    EXPECT_EQ(c.changes[2].position, 5);  // z reads as 1, MA back to 1 at the same time
    EXPECT_EQ(c.changes[2].ma, 1);
    EXPECT_EQ(c.changes[2].slo, 1);
    EXPECT_EQ(c.changes[3].position, 9);
    EXPECT_EQ(c.lastSample, 12);
    // At 200 MHz every time unit is two samples; a vector's last bit is its level.
    o.sampleRate = 200'000'000;
    o.slo = "bus[3:0]";
    c = ReadVcdText(body, o);
    EXPECT_EQ(c.lastSample, 24);
    ASSERT_GE(c.changes.size(), 3u);
    EXPECT_EQ(c.changes[1].position, 6);
}

// Both lines read low from position 0 until the file sets them, and a change after the last time
// (no time closes the file) is kept.
TEST(ZbhostVcd, StartsLowAndKeepsAChangeAfterTheLastTime) {
    zbhost::ReadOptions o;
    o.ma = "clk";
    o.slo = "data";
    const Capture c = ReadVcdText(std::string(kVcdHead) + "#5\n1!\n#9\n1#\n", o);
    ASSERT_EQ(c.changes.size(), 3u);
    EXPECT_EQ(c.changes[0].position, 0);
    EXPECT_EQ(c.changes[0].ma + c.changes[0].slo, 0);
    EXPECT_EQ(c.changes[1].position, 5);
    EXPECT_EQ(c.changes[2].position, 9);
    EXPECT_EQ(c.changes[2].slo, 1);
    EXPECT_EQ(c.lastSample, 9);
}

TEST(ZbhostVcd, BrokenFilesFail) {
    const std::pair<std::string, const char*> cases[] = {
        {"$var wire 1 ! clk $end\n$var wire 1 # data $end\n$enddefinitions $end\n#0\n1!\n", "timescale"},
        {std::string(kVcdHead) + "#5\n1!\n#3\n0!\n", "backwards"},
        {std::string(kVcdHead) + "#0\n1!\n#x5\n", "bad time"},
        {std::string(kVcdHead) + "#0\nhello\n", "unexpected"},
        {"$timescale 1 ns $end\n$var wire 1 ! clk $end\n", "enddefinitions"},
        {"$timescale 3 ns $end\n$enddefinitions $end\n", "timescale"},
        {"$timescale 1 ns $end\n$var wire 1 ! clk $end\n$enddefinitions $end\n", "no channel"},
        {"$comment never ends", "ends inside"},
        {"garbage\n", "unexpected"},
        {std::string(kVcdHead) + "#0\nb1010", "ends inside"},
        {std::string(kVcdHead) + "#18446744073709551615\n", "beyond"},
        {std::string(kVcdHead) + "#99999999999999999999\n", "bad time"},
    };
    for (const auto& [text, expect] : cases) {
        zbhost::ReadOptions o;
        o.ma = "clk";
        o.slo = "data";
        try {
            ReadVcdText(text, o);
            ADD_FAILURE() << "no error for: " << text;
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    }
    // An over-long token is refused without growing without bound; 4096 characters are the most.
    zbhost::ReadOptions o;
    EXPECT_THROW(ReadVcdText(std::string(kVcdHead) + std::string(100000, 'b'), o), CaptureError);
    const std::string comment = std::string(kVcdHead) + "$comment ";
    EXPECT_NO_THROW(ReadVcdText(comment + std::string(4096, 'c') + " $end\n#0\n", o));
    EXPECT_THROW(ReadVcdText(comment + std::string(4097, 'c') + " $end\n#0\n", o), CaptureError);
}

TEST(ZbhostVcd, WriterRoundTrip) {
    const Capture c = RandomCapture(11, 500, 30);
    std::stringstream s;
    bissgen::WriteVcd(s, c);  // 200 MHz: 1 ns units, 5 per sample
    zbhost::ReadOptions o;
    o.ma = "MA";
    o.slo = "SLO";
    o.sampleRate = 200'000'000;
    const Capture back = ReadVcdText(s.str(), o);
    EXPECT_EQ(back.lastSample, c.lastSample);
    EXPECT_TRUE(SameChanges(c, back));
}

// ---- CSV ----------------------------------------------------------------------------------------------

Capture ReadCsvText(const std::string& text, zbhost::ReadOptions o = {}) {
    return ReadText(text, zbhost::CaptureFormat::Csv, o);
}

TEST(ZbhostCsv, SampleAndTransitionForms) {
    struct Case {
        std::string text;
        uint64_t rate;
        const char* ma;
        const char* slo;
        std::vector<int64_t> positions;
        int64_t last;
    };
    const std::vector<Case> cases = {
        {"; sigrok export\nD0,D1,D2\n1,1,0\n1,1,0\n0,1,0\n0,0,1\n", 0, "D0", "D1", {0, 2, 3}, 3},
        {"1,1\r\n0,1\r\n0,0\r\n", 0, "0", "1", {0, 1, 2}, 2},
        {"Time [s],MA,SLO\n-0.000001,1,1\n0.0000000,0,1\n0.000000025,1,1\n0.000005,1,1\n",
         200'000'000,
         "MA",
         "SLO",
         {0, 200, 205},
         1200},
        {"Time [us]; MA; SLO\n0;1;1\n0.5;0;1\n1.0;0;0\n", 1'000'000'000, "MA", "SLO", {0, 500, 1000}, 1000},
        {"Sample,\"clk\",\"dat\"\n100,1,1\n104,0,1\n110,0,0\n", 0, "clk", "dat", {0, 4, 10}, 10},
        // Channel names and the rate in comments, columns named by type, a time column named by its unit.
        {"; Channels (2/2): MA, SLO\n; Samplerate: 1 "
         "GHz\nnanoseconds,logic,logic\n1,1,1\n2,1,1\n3,0,1\n9,0,0\n",
         0,
         "MA",
         "SLO",
         {0, 2, 8},
         8},
        {"; Channels (3/3): A, MA, SLO\nlogic,logic,logic\n1,1,1\n1,0,1\n", 0, "MA", "SLO", {0, 1}, 1},
    };
    for (const Case& k : cases) {
        zbhost::ReadOptions o;
        o.ma = k.ma;
        o.slo = k.slo;
        o.sampleRate = k.rate;
        const Capture c = ReadCsvText(k.text, o);
        std::vector<int64_t> got;
        for (const auto& ch : c.changes) got.push_back(ch.position);
        EXPECT_EQ(got, k.positions) << k.text;
        EXPECT_EQ(c.lastSample, k.last) << k.text;
    }
}

TEST(ZbhostCsv, BrokenFilesFail) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "no rows"},
        {"MA,SLO\n", "no samples"},
        {"MA,SLO\n1,2\n", "not 0 or 1"},
        {"MA,SLO\n1,1,1\n", "fields"},
        {"MA,SLO\nhello\n", "fields"},
        {"Time [s],MA,SLO\n0.1,1,1\n0.05,0,1\n", "backwards"},
        {"Time [s],MA,SLO\nabc,1,1\n", "bad position"},
        {"Time [fortnights],MA,SLO\n0,1,1\n", "unknown time unit"},
        {"A,B\n1,1\n", "no channel 'MA'"},
        {"MA,SLO\n" + std::string(70000, '1') + "\n", "too long"},
    };
    for (const auto& [text, expect] : cases) {
        zbhost::ReadOptions o;
        o.ma = "MA";
        o.slo = "SLO";
        o.sampleRate = 1000;
        try {
            ReadCsvText(text, o);
            ADD_FAILURE() << "no error for: " << text.substr(0, 60);
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    }
    zbhost::ReadOptions noRate;
    noRate.ma = "MA";
    noRate.slo = "SLO";
    EXPECT_THROW(ReadCsvText("Time [s],MA,SLO\n0,1,1\n", noRate), CaptureError);
}

TEST(ZbhostCsv, WriterRoundTrips) {
    const Capture c = RandomCapture(5, 400, 25);
    zbhost::ReadOptions o;
    o.ma = "MA";
    o.slo = "SLO";
    o.sampleRate = c.sampleRate;
    std::stringstream transitions;
    zbhost::WriteCsvTransitions(c, transitions);
    Capture back = ReadCsvText(transitions.str(), o);
    EXPECT_TRUE(SameChanges(c, back));
    EXPECT_EQ(back.lastSample, c.lastSample);
    std::stringstream samples;
    zbhost::WriteCsvSamples(c, samples);
    o.sampleRate = 0;
    back = ReadCsvText(samples.str(), o);
    EXPECT_TRUE(SameChanges(c, back));
    EXPECT_EQ(back.lastSample, c.lastSample);
}

// ---- Raw samples --------------------------------------------------------------------------------------

TEST(ZbhostBinary, RawSamplesRoundTrip) {
    struct Case {
        unsigned unit;
        const char* ma;
        const char* slo;
        unsigned maBit, sloBit;
    };
    const Case cases[] = {{1, "0", "1", 0, 1}, {3, "D17", "4", 17, 4}, {8, "63", "D40", 63, 40}};
    zbhost::ReadOptions o;
    for (const Case& k : cases) {
        const Capture c = RandomCapture(k.unit, 2000, 300);
        std::string bytes(static_cast<size_t>(c.lastSample + 1) * k.unit, '\0');
        std::mt19937_64 rng(k.unit);
        const uint64_t lines = (uint64_t{1} << k.maBit) | (uint64_t{1} << k.sloBit);
        size_t at = 0;
        for (int64_t s = 0; s <= c.lastSample; ++s) {
            while (at + 1 < c.changes.size() && c.changes[at + 1].position <= s) ++at;
            // The other channels toggle at random; only MA and SLO count.
            const uint64_t v = (rng() & ~lines) | (uint64_t{c.changes[at].ma} << k.maBit) |
                               (uint64_t{c.changes[at].slo} << k.sloBit);
            std::memcpy(&bytes[static_cast<size_t>(s) * k.unit], &v, k.unit);
        }
        o.ma = k.ma;
        o.slo = k.slo;
        o.unitSize = k.unit;
        o.sampleRate = 24'000'000;
        const Capture back = ReadText(bytes, zbhost::CaptureFormat::Binary, o);
        EXPECT_TRUE(SameChanges(c, back)) << "unit " << k.unit;
        EXPECT_EQ(back.lastSample, c.lastSample);
        EXPECT_EQ(back.sampleRate, 24'000'000u);
    }
    o.unitSize = 2;
    o.ma = "0";
    o.slo = "1";
    EXPECT_THROW(ReadText(std::string(5, 'x'), zbhost::CaptureFormat::Binary, o), CaptureError);
    EXPECT_THROW(ReadText("", zbhost::CaptureFormat::Binary, o), CaptureError);
    o.slo = "D16";  // beyond a two-byte sample
    EXPECT_THROW(ReadText(std::string(4, 'x'), zbhost::CaptureFormat::Binary, o), CaptureError);
}

TEST(ZbhostReaders, FormatByNameAndDispatch) {
    EXPECT_EQ(zbhost::FormatFromPath("a/b/x.SR"), zbhost::CaptureFormat::Srzip);
    EXPECT_EQ(zbhost::FormatFromPath("x.vcd"), zbhost::CaptureFormat::Vcd);
    EXPECT_EQ(zbhost::FormatFromPath("x.csv"), zbhost::CaptureFormat::Csv);
    EXPECT_EQ(zbhost::FormatFromPath("x.bin"), zbhost::CaptureFormat::Binary);
    EXPECT_EQ(zbhost::ParseFormatName("binary"), zbhost::CaptureFormat::Binary);
    EXPECT_THROW(zbhost::FormatFromPath("x.wav"), CaptureError);
    EXPECT_THROW(zbhost::FormatFromPath("-"), CaptureError);  // standard input needs --format
    EXPECT_THROW(zbhost::ParseFormatName("wav"), CaptureError);
    EXPECT_THROW(zbhost::ReadCapture(TempPath("missing.vcd"), zbhost::CaptureFormat::Auto, {}), CaptureError);
}

}  // namespace

namespace {

// Damaged copies of valid files: every reader either reads them or throws a CaptureError.
TEST(ZbhostReaders, DamagedFilesNeverEscapeAsOtherFailures) {
    const Capture c = RandomCapture(21, 300, 20);
    std::stringstream vcd, csv;
    bissgen::WriteVcd(vcd, c);
    zbhost::WriteCsvTransitions(c, csv);
    const std::string srPath = TempPath("fuzz_src.sr");
    std::string error;
    ASSERT_TRUE(bissgen::WriteSrzip(srPath, c, &error)) << error;
    std::string sr;
    {
        std::ifstream in(srPath, std::ios::binary);
        sr.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::mt19937 rng(99);
    zbhost::ReadOptions o;
    o.ma = "MA";
    o.slo = "SLO";
    o.sampleRate = 200000000;
    const std::string mutated = TempPath("fuzz.sr");
    for (int round = 0; round < 300; ++round) {
        const int kind = round % 3;
        std::string text = kind == 0 ? vcd.str() : kind == 1 ? csv.str() : sr;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
                case 0:
                    text[at] = static_cast<char>(rng());
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 16);
                    break;
                default:
                    text.insert(at, std::string(1 + rng() % 4, static_cast<char>(rng())));
                    break;
            }
            if (text.empty()) text = "x";
        }
        try {
            if (kind == 2) {
                std::ofstream out(mutated, std::ios::binary | std::ios::trunc);
                out.write(text.data(), static_cast<std::streamsize>(text.size()));
                out.close();
                zbhost::ReadCapture(mutated, zbhost::CaptureFormat::Srzip, o);
            } else {
                ReadText(text, kind == 0 ? zbhost::CaptureFormat::Vcd : zbhost::CaptureFormat::Csv, o);
            }
        } catch (const CaptureError&) {
        }
    }
    std::remove(srPath.c_str());
    std::remove(mutated.c_str());
}

}  // namespace
