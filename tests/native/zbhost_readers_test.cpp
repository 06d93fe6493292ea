// Tests of zbhost's capture readers and writers: the change scanner against a plain per-sample
// scan, round trips through sigrok session, VCD, CSV and raw sample files, what the text forms read
// as, and one broken file per refusal rule, which must end in a CaptureError naming the reason (the
// fuzz target feeds the readers arbitrary bytes).
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

#include "native/zbhost_files.h"
#include "sample_scan.h"

namespace {

using bissgen::Capture;
using bissgen::Change;
using zbhost::CaptureError;

using zbhost::CaptureFormat;
using zbtest::TempFile;

// The changes as "position:MA SLO" words, then the last sample: "0:11 3:01 | 12".
std::string Text(const Capture& c) {
    std::string text;
    for (const Change& ch : c.changes)
        text += std::to_string(ch.position) + ":" + char('0' + ch.ma) + char('0' + ch.slo) + " ";
    return text + "| " + std::to_string(c.lastSample);
}

using zbtest::RandomCapture;

// The capture as raw samples of `unit` bytes: MA and SLO on the given bits, every other bit random.
std::string RawSamples(const Capture& c, unsigned unit, unsigned maBit, unsigned sloBit) {
    std::string bytes(static_cast<size_t>(c.lastSample + 1) * unit, '\0');
    std::mt19937_64 rng(unit);
    const uint64_t lines = (uint64_t{1} << maBit) | (uint64_t{1} << sloBit);
    size_t at = 0;
    for (int64_t s = 0; s <= c.lastSample; ++s) {
        while (at + 1 < c.changes.size() && c.changes[at + 1].position <= s) ++at;
        const uint64_t v = (rng() & ~lines) | (uint64_t{c.changes[at].ma} << maBit) |
                           (uint64_t{c.changes[at].slo} << sloBit);
        std::memcpy(&bytes[static_cast<size_t>(s) * unit], &v, unit);
    }
    return bytes;
}

// ---- Change scanning ------------------------------------------------------------------------------

// Fed in odd pieces that split samples and words, the scanner finds exactly the capture's changes,
// for every sample size and any two bits.
TEST(ZbhostScanner, FindsTheChangesForEverySampleSize) {
    for (unsigned unit = 1; unit <= 8; ++unit) {
        std::mt19937 rng(unit);
        const unsigned maBit = rng() % (unit * 8), sloBit = (maBit + 1 + rng() % (unit * 8 - 1)) % (unit * 8);
        const Capture c = RandomCapture(unit, 300, 50);
        const std::string data = RawSamples(c, unit, maBit, sloBit);
        zbhost::ChangeBlock got, want;
        for (const Change& ch : c.changes) want.Push(ch.position, zbhost::PackLevels(ch.ma, ch.slo));
        zbhost::SampleScanner scanner(unit, maBit, sloBit);
        for (size_t at = 0, n = 0; at < data.size(); at += n) {
            n = std::min<size_t>(data.size() - at, 1 + rng() % 97);
            scanner.Feed(reinterpret_cast<const uint8_t*>(data.data()) + at, n, got);
        }
        EXPECT_EQ(scanner.SampleCount(), c.lastSample + 1) << "unit " << unit;
        EXPECT_EQ(scanner.PendingBytes(), 0u);
        EXPECT_EQ(got.positions, want.positions) << "unit " << unit << " ma " << maBit << " slo " << sloBit;
        EXPECT_EQ(got.levels, want.levels) << "unit " << unit;
    }
}

TEST(ZbhostReaders, SampleRateTexts) {
    // clang-format off
    const std::pair<const char*, uint64_t> cases[] = {
        {"200 MHz", 200'000'000}, {"1.5MHz", 1'500'000}, {"48000", 48'000}, {"1 GHz", 1'000'000'000},
        {"500 kHz", 500'000}, {"10 Hz", 10}, {"fast", 0}, {"-5 MHz", 0}, {"5 parsecs", 0}, {"", 0}};
    // clang-format on
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
    const std::string path = TempFile("rt.sr");
    for (const Case& k : cases) {
        const Capture c = RandomCapture(k.unit * 7 + k.ma, 3000, 40);
        bissgen::SrzipLayout layout{k.unit, k.ma, k.slo, {}};
        for (unsigned i = 0; i < k.unit * 8; ++i) layout.probeNames.push_back("D" + std::to_string(i));
        if (k.unit == 1 && k.ma == 0) layout.probeNames = {"MA", "SLO"};
        std::string error;
        ASSERT_TRUE(bissgen::WriteSrzip(path, c, &error, k.chunkSamples, layout)) << error;
        // One worker, and more workers than processors: the members are joined in order.
        for (const unsigned threads : {1u, 3u}) {
            const Capture back =
                zbhost::ReadCapture(path, CaptureFormat::Srzip, {k.maSpec, k.sloSpec, 0, 1, threads});
            EXPECT_EQ(back.sampleRate, c.sampleRate);
            EXPECT_EQ(Text(back), Text(c)) << "unit " << k.unit << " threads " << threads;
        }
    }
    std::remove(path.c_str());
}

// Writes a zip archive of "metadata" (unless `meta` is "none") after a "[device 1]" head and the
// sample members logic-1-1, logic-1-2, ..., deflated or stored.
void WriteZip(const std::string& path, const std::string& meta, const std::vector<std::string>& samples,
              zip_int32_t method = ZIP_CM_DEFLATE) {
    std::vector<std::pair<std::string, std::string>> members;
    if (meta != "none")
        members.push_back({"metadata", "[global]\nsigrok version=0.5.2\n\n[device 1]\n" + meta});
    for (size_t i = 0; i < samples.size(); ++i)
        members.push_back({"logic-1-" + std::to_string(i + 1), samples[i]});
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

TEST(ZbhostSrzip, BrokenFilesAreRefusedWithTheReason) {
    const std::string good = "capturefile=logic-1\ntotal probes=2\nsamplerate=1 MHz\nprobe1=MA\nprobe2=SLO\n";
    const std::string s100(100, '\x03'), s7(7, 'x'), s9(9, 'x');
    struct Case {
        std::string meta;
        std::vector<std::string> samples;
        const char* ma;
        const char* expect;  // part of the message
    };
    const Case cases[] = {
        {"none", {s100}, "MA", "metadata"},
        {"capturefile=logic-1\ntotal probes=2\nunitsize=0\n", {s100}, "0", "unitsize"},
        {"capturefile=logic-1\ntotal probes=2\nunitsize=9\n", {s100}, "0", "unitsize"},
        {"capturefile=logic-1\ntotal probes=9\nunitsize=1\n", {s100}, "0", "probes"},
        {"capturefile=logic-1\ntotal probes=2\nprobe7=X\nunitsize=1\n", {s100}, "0", "beyond"},
        {"capturefile=logic-1\ntotal probes=2\nsamplerate=fast\n", {s100}, "0", "samplerate"},
        {"total probes=2\n", {s100}, "0", "capturefile"},
        {"capturefile=logic-1\nthis is not ini\n", {s100}, "0", "without"},
        {good, {s100}, "CLK", "no channel 'CLK'"},
        {good, {}, "MA", "no sample data"},
        {good, {""}, "MA", "no samples"},
        {"capturefile=logic-1\ntotal probes=9\nunitsize=2\n", {s7}, "0", "inside a sample"},
        {"capturefile=logic-1\ntotal probes=9\nunitsize=2\n",
         {s7, s9},
         "0",
         "'logic-1-1' ends inside a sample"},
    };
    const std::string path = TempFile("bad.sr");
    for (const Case& k : cases) {
        WriteZip(path, k.meta, k.samples);
        try {
            zbhost::ReadCapture(path, CaptureFormat::Srzip, {k.ma, "1"});
            ADD_FAILURE() << k.expect << ": no error";
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(k.expect), std::string::npos) << e.what();
        }
    }
    std::remove(path.c_str());
}

// Members stored without compression read as deflated ones; a change at a member's first sample
// counts, a repeated level across the boundary does not.
TEST(ZbhostSrzip, StoredAndDeflatedMembersReadAlike) {
    const std::string meta = "capturefile=logic-1\ntotal probes=2\nsamplerate=1 MHz\nunitsize=1\n";
    const std::string path = TempFile("stored.sr");
    for (const zip_int32_t method : {ZIP_CM_STORE, ZIP_CM_DEFLATE}) {
        WriteZip(path, meta, {std::string("\0\0\1\1", 4), "\3\3\2", "\2\1"}, method);
        EXPECT_EQ(Text(zbhost::ReadCapture(path, CaptureFormat::Srzip, {})), "0:00 2:10 4:11 6:01 8:10 | 8")
            << "method " << method;
    }
    std::remove(path.c_str());
}

// A deflated member whose compressed data stops before its end is refused, not waited on: a raw
// deflate stream of one stored block that is not the last, written as a stored member and then
// marked deflated (method 8) in its local header and in the central directory.
TEST(ZbhostSrzip, AMemberCutShortIsRefused) {
    const std::string path = TempFile("cut.sr");
    WriteZip(path, "capturefile=logic-1\ntotal probes=2\nunitsize=1\n",
             {std::string("\0\4\0\xFB\xFF\1\2\3\1", 9)}, ZIP_CM_STORE);
    std::string bytes = zbtest::ReadFile(path);
    const size_t local = bytes.find("logic-1-1"), central = bytes.find("logic-1-1", local + 1);
    ASSERT_NE(central, std::string::npos);
    bytes[local - 30 + 8] = bytes[central - 46 + 10] = 8;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    try {
        zbhost::ReadCapture(path, CaptureFormat::Srzip, {});
        ADD_FAILURE() << "no error";
    } catch (const CaptureError& e) {
        EXPECT_STREQ(e.what(), "member 'logic-1-1' is cut short");
    }
    std::remove(path.c_str());
}

// A cut archive, damaged compressed samples and a missing file are refused.
TEST(ZbhostSrzip, TruncatedDamagedAndMissingArchivesFail) {
    const std::string path = TempFile("trunc.sr");
    zbtest::WriteCaptureFile(RandomCapture(3, 20000, 2000), CaptureFormat::Srzip, path);
    const std::string bytes = zbtest::ReadFile(path);
    ASSERT_GT(bytes.size(), 1000u);
    std::string damaged = bytes;
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 16; ++i) damaged[i] ^= 0x5A;
    for (const std::string& variant :
         {bytes.substr(0, 0), bytes.substr(0, 10), bytes.substr(0, bytes.size() / 2),
          bytes.substr(0, bytes.size() - 30), damaged}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << variant;
        EXPECT_THROW(zbhost::ReadCapture(path, CaptureFormat::Srzip, {}), CaptureError) << variant.size();
    }
    std::remove(path.c_str());
    EXPECT_THROW(zbhost::ReadCapture(path, CaptureFormat::Srzip, {}), CaptureError);
}

// ---- VCD, CSV and raw samples -------------------------------------------------------------------------

Capture ReadText(const std::string& text, CaptureFormat format, zbhost::ReadOptions o) {
    return zbhost::ReadAll(*zbhost::OpenCaptureBytes(text, format, o));
}

const std::string kVcdHead =
    "$date today $end\n$version hand $end\n$timescale 10 ns $end\n$scope module top $end\n"
    "$var wire 1 ! clk $end\n$var wire 1 # data $end\n$var wire 4 % bus [3:0] $end\n$upscope $end\n"
    "$enddefinitions $end\n";

TEST(ZbhostReaders, TextFormsReadAsSampleChanges) {
    const std::string vcd =
        kVcdHead + "#0\n$dumpvars\n1!\nx#\nb0000 %\n$end\n#3\n0!\n#5\nz#\nb1111 %\n#5\n1!\n#9\n0!\n0#\n#12\n";
    struct Case {
        CaptureFormat format;
        std::string text;
        zbhost::ReadOptions options;
        const char* changes;
    };
    const CaptureFormat V = CaptureFormat::Vcd, C = CaptureFormat::Csv;
    // clang-format off
    const Case cases[] = {
        // One sample per time unit (10 ns) by default; x reads as 0, z as 1; a time given twice.
        {V, vcd, {"clk", "data"}, "0:10 3:00 5:11 9:00 | 12"},
        // At 200 MHz every time unit is two samples; a vector's last bit is its level.
        {V, vcd, {"clk", "bus[3:0]", 200'000'000}, "0:10 6:00 10:11 18:01 | 24"},
        // Both lines low until the file sets them; a change after the last time is kept.
        {V, kVcdHead + "#5\n1!\n#9\n1#\n", {"clk", "data"}, "0:00 5:10 9:11 | 9"},
        // A level set back at the same time, or set again, is no change.
        {V, kVcdHead + "#0\n1!\n#5\n0!\n1!\n#7\n1#\n#9\n1#\n#10\n", {"clk", "data"}, "0:10 7:11 | 10"},
        // Indentation, blank lines and CR LF line ends between the tokens.
        {V, "\t$timescale\r\n  1ns $end\r\n\r\n $var wire 1 ! clk $end $var wire 1 # data $end\r\n"
            "$enddefinitions $end\r\n\r\n#0 1!\r\n\t#4\r\n  1#  \r\n", {"clk", "data"}, "0:10 4:11 | 4"},
        {C, "; sigrok export\nD0,D1,D2\n1,1,0\n1,1,0\n0,1,0\n0,0,1\n", {"D0", "D1"}, "0:11 2:01 3:00 | 3"},
        {C, "1,1\r\n0,1\r\n0,0\r\n", {"0", "1"}, "0:11 1:01 2:00 | 2"},
        {C, "Time [s],MA,SLO\n-0.000001,1,1\n0.0000000,0,1\n0.000000025,1,1\n0.000005,1,1\n",
            {"MA", "SLO", 200'000'000}, "0:11 200:01 205:11 | 1200"},
        {C, "Time [us]; MA; SLO\n0;1;1\n0.5;0;1\n1.0;0;0\n", {"MA", "SLO", 1'000'000'000},
            "0:11 500:01 1000:00 | 1000"},
        {C, "Sample,\"clk\",\"dat\"\n100,1,1\n104,0,1\n110,0,0\n", {"clk", "dat"}, "0:11 4:01 10:00 | 10"},
        // Channel names and the rate in comments, columns named by type, a time column named by its unit.
        {C, "; Channels (2/2): MA, SLO\n; Samplerate: 1 GHz\nnanoseconds,logic,logic\n1,1,1\n2,1,1\n3,0,1\n9,0,0\n",
            {"MA", "SLO"}, "0:11 2:01 8:00 | 8"},
        {C, "; Channels (3/3): A, MA, SLO\nlogic,logic,logic\n1,1,1\n1,0,1\n", {"MA", "SLO"}, "0:11 1:01 | 1"},
    };
    // clang-format on
    for (const Case& k : cases) EXPECT_EQ(Text(ReadText(k.text, k.format, k.options)), k.changes) << k.text;
    EXPECT_EQ(ReadText(vcd, CaptureFormat::Vcd, {"clk", "data"}).sampleRate, 100'000'000u);
}

TEST(ZbhostReaders, BrokenTextsAreRefusedWithTheReason) {
    const CaptureFormat vcd = CaptureFormat::Vcd, csv = CaptureFormat::Csv;
    const std::tuple<CaptureFormat, std::string, const char*> cases[] = {
        {vcd, "$var wire 1 ! clk $end\n$var wire 1 # data $end\n$enddefinitions $end\n#0\n1!\n", "timescale"},
        {vcd, kVcdHead + "#5\n1!\n#3\n0!\n", "backwards"},
        {vcd, kVcdHead + "#0\n1!\n#x5\n", "bad time"},
        {vcd, kVcdHead + "#0\nhello\n", "unexpected"},
        {vcd, "$timescale 1 ns $end\n$var wire 1 ! clk $end\n", "enddefinitions"},
        {vcd, "$timescale 3 ns $end\n$enddefinitions $end\n", "timescale"},
        {vcd, "$timescale 1 ns $end\n$var wire 1 ! clk $end\n$enddefinitions $end\n", "no channel"},
        {vcd, kVcdHead + "#0\nb1010", "ends inside"},
        {vcd, kVcdHead + "#18446744073709551615\n", "beyond"},
        {vcd, kVcdHead + "#99999999999999999999\n", "bad time"},
        {csv, "", "no rows"},
        {csv, "MA,SLO\n", "no samples"},
        {csv, "MA,SLO\n1,2\n", "not 0 or 1"},
        {csv, "MA,SLO\n1,1,1\n", "fields"},
        {csv, "Time [s],MA,SLO\n0.1,1,1\n0.05,0,1\n", "backwards"},
        {csv, "Time [s],MA,SLO\nabc,1,1\n", "bad position"},
        {csv, "Time [fortnights],MA,SLO\n0,1,1\n", "unknown time unit"},
        {csv, "A,B\n1,1\n", "no channel 'MA'"},
        {csv, "MA,SLO\n" + std::string(70000, '1') + "\n", "too long"},
    };
    for (const auto& [format, text, expect] : cases) {
        try {
            ReadText(
                text, format,
                format == vcd ? zbhost::ReadOptions{"clk", "data"} : zbhost::ReadOptions{"MA", "SLO", 1000});
            ADD_FAILURE() << "no error for: " << text.substr(0, 60);
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    }
    // Times without a rate; an over-long VCD token (4096 characters are the most).
    EXPECT_THROW(ReadText("Time [s],MA,SLO\n0,1,1\n", csv, {"MA", "SLO"}), CaptureError);
    EXPECT_THROW(ReadText(kVcdHead + std::string(100000, 'b'), vcd, {}), CaptureError);
    const std::string comment = kVcdHead + "$comment ";
    EXPECT_NO_THROW(ReadText(comment + std::string(4096, 'c') + " $end\n#0\n", vcd, {}));
    EXPECT_THROW(ReadText(comment + std::string(4097, 'c') + " $end\n#0\n", vcd, {}), CaptureError);
}

TEST(ZbhostReaders, TextWritersRoundTrip) {
    const Capture c = RandomCapture(5, 400, 25);
    std::stringstream vcd, transitions, samples;
    bissgen::WriteVcd(vcd, c);  // 200 MHz: 1 ns units, 5 per sample
    zbhost::WriteCsvTransitions(c, transitions);
    zbhost::WriteCsvSamples(c, samples);
    EXPECT_EQ(Text(ReadText(vcd.str(), CaptureFormat::Vcd, {"MA", "SLO", c.sampleRate})), Text(c));
    EXPECT_EQ(Text(ReadText(transitions.str(), CaptureFormat::Csv, {"MA", "SLO", c.sampleRate})), Text(c));
    EXPECT_EQ(Text(ReadText(samples.str(), CaptureFormat::Csv, {"MA", "SLO"})), Text(c));
}

// Raw samples of 1, 3 and 8 bytes with MA and SLO on any bits and the other channels toggling.
TEST(ZbhostReaders, RawSamplesRoundTrip) {
    struct Case {
        unsigned unit;
        const char* ma;
        const char* slo;
        unsigned maBit, sloBit;
    };
    const Case cases[] = {{1, "0", "1", 0, 1}, {3, "D17", "4", 17, 4}, {8, "63", "D40", 63, 40}};
    for (const Case& k : cases) {
        const Capture c = RandomCapture(k.unit, 2000, 300);
        const std::string bytes = RawSamples(c, k.unit, k.maBit, k.sloBit);
        const Capture back = ReadText(bytes, CaptureFormat::Binary, {k.ma, k.slo, 24'000'000, k.unit});
        EXPECT_EQ(Text(back), Text(c)) << "unit " << k.unit;
        EXPECT_EQ(back.sampleRate, 24'000'000u);
    }
    // A part of a sample, no sample, a channel beyond a two-byte sample.
    EXPECT_THROW(ReadText(std::string(5, 'x'), CaptureFormat::Binary, {"0", "1", 0, 2}), CaptureError);
    EXPECT_THROW(ReadText("", CaptureFormat::Binary, {"0", "1", 0, 2}), CaptureError);
    EXPECT_THROW(ReadText(std::string(4, 'x'), CaptureFormat::Binary, {"0", "D16", 0, 2}), CaptureError);
}

TEST(ZbhostReaders, FormatByNameAndDispatch) {
    EXPECT_EQ(zbhost::FormatFromPath("a/b/x.SR"), CaptureFormat::Srzip);
    EXPECT_EQ(zbhost::FormatFromPath("x.vcd"), CaptureFormat::Vcd);
    EXPECT_EQ(zbhost::FormatFromPath("x.csv"), CaptureFormat::Csv);
    EXPECT_EQ(zbhost::FormatFromPath("x.bin"), CaptureFormat::Binary);
    EXPECT_EQ(zbhost::ParseFormatName("binary"), CaptureFormat::Binary);
    EXPECT_THROW(zbhost::FormatFromPath("x.wav"), CaptureError);
    EXPECT_THROW(zbhost::FormatFromPath("-"), CaptureError);  // standard input needs --format
    EXPECT_THROW(zbhost::ParseFormatName("wav"), CaptureError);
    EXPECT_THROW(zbhost::ReadCapture(TempFile("missing.vcd"), CaptureFormat::Auto, {}), CaptureError);
}

}  // namespace
