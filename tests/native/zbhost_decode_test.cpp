// End to end through zbhost's command line and the built plug-in: generator traffic written as a
// capture file (sigrok session, VCD, CSV), decoded as `zbhost FILE --frames F --summary S ...`, and
// the frames table (or the register-access table) and the summary's counts compared with what the
// generator sent. Also the size of the pictures of a whole long capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <map>
#include <regex>

#include "app.h"
#include "bissgen/scenario.h"
#include "native/zbhost_files.h"
#include "support/scratch_dir.h"
#include "traffic.h"

namespace {

using Row = std::map<std::string, std::string>;

using zbtest::Args;
using zbtest::ReadFile;

// zbhost run as `zbhost FILE ARGS...` with the arguments of `line` (a word "@name" is the file of
// that name in `dir`) and those every run here takes, its temporary directory `dir`.
int Zbhost(const zbtest::ScratchDir& dir, const std::string& line) {
    std::vector<std::string> args = {"zbhost"};
    for (const std::string& a : Args(line)) args.push_back(a[0] == '@' ? dir.File(a.substr(1)) : a);
    for (const std::string& a : Args("--no-progress --quiet --samplerate 200MHz --plugin")) args.push_back(a);
    args.insert(args.end(), {zbtest::TestPlugin(), "--temp-dir", dir.Path()});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return zbhost::RunApp(static_cast<int>(argv.size()), argv.data());
}

// A CSV table whose cells hold no commas or quotes, as the frames tables do.
std::vector<Row> ReadTable(const std::string& path) {
    std::istringstream in(ReadFile(path));
    std::vector<std::string> names;
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
        if (line.back() == ',') cells.emplace_back();
        if (names.empty()) {
            names = cells;
            continue;
        }
        Row row;
        for (size_t i = 0; i < names.size() && i < cells.size(); ++i) row[names[i]] = cells[i];
        rows.push_back(row);
    }
    return rows;
}

// Every "name": integer of a JSON text (the names of the summary's counts are unique).
std::map<std::string, long long> ReadCounts(const std::string& path) {
    const std::string text = ReadFile(path);
    std::map<std::string, long long> counts;
    const std::regex pair("\"([a-z_]+)\": (-?[0-9]+)[,}]");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair); it != std::sregex_iterator(); ++it)
        counts[(*it)[1]] = std::stoll((*it)[2]);
    return counts;
}

std::string Hex(uint64_t v, int digits) {
    std::ostringstream text;
    text << "0x" << std::uppercase << std::hex << std::setfill('0') << std::setw(digits) << v;
    return text.str();
}

// The table's rows against the generator's frames: one row per slave whose CRC arrived, and for a
// frame the master broke off one more row with the outcome the decoder gives it (an acknowledge of
// more than one clock after an earlier complete CRC is a busy slave, or a time-out beyond 40 us).
void ExpectFrames(const bissgen::Generator& g, bool combined, const std::vector<Row>& rows,
                  std::map<std::string, long long> counts) {
    const bissgen::Layout& l = g.GetLayout();
    const double rate = static_cast<double>(g.GetTiming().sampleRate);
    const int crcDigits = (l.crc.bits + 3) / 4;
    std::map<std::string, long long> want;
    bool crcSeen = false;
    size_t row = 0;
    auto next = [&](const bissgen::FrameTruth& f, size_t slave, const char* status) -> const Row& {
        static const Row kNone;
        if (row >= rows.size()) return ADD_FAILURE() << "no row for frame " << f.index, kNone;
        const Row& r = rows[row++];
        const std::string where = "frame " + std::to_string(f.index) + " slave " + std::to_string(slave);
        EXPECT_EQ(r.at("frame"), std::to_string(f.index)) << where;
        EXPECT_EQ(r.at("slave"), std::to_string(slave)) << where;
        EXPECT_EQ(r.at("sample"), std::to_string(f.rises[0])) << where;
        EXPECT_EQ(r.at("status"), status) << where;
        return r;
    };
    for (const bissgen::FrameTruth& f : g.Frames()) {
        const size_t edges = f.rises.size();
        size_t complete = 0;
        bool bad = false, err = false, warn = false;
        for (const bissgen::SlaveTruth& t : f.slaves) {
            err |= static_cast<size_t>(t.errEdge) < edges && t.word.err == 0;
            warn |= static_cast<size_t>(t.warnEdge) < edges && t.word.warn == 0;
            if (static_cast<size_t>(t.crcEdge + l.crc.bits) > edges) break;
            bad |= t.crc != t.crcCorrect;
            const Row& r = next(f, complete++, t.crc == t.crcCorrect ? "ok" : "crc_error");
            if (r.empty()) return;
            if (combined) {
                EXPECT_EQ(r.at("position"), std::to_string(t.data)) << f.index;
            } else {
                EXPECT_EQ(r.at("multi_turn"), l.multiTurnBits > 0 ? std::to_string(t.word.multiTurn) : "")
                    << f.index;
                EXPECT_EQ(r.at("single_turn"), std::to_string(t.word.singleTurn)) << f.index;
            }
            EXPECT_EQ(r.at("nerr") + r.at("nwarn"), std::to_string(t.word.err) + std::to_string(t.word.warn));
            // A wrong CRC wider than 8 bits is known only by its low 8 bits (the record's payload).
            const bool whole = t.crc == t.crcCorrect || l.crc.bits <= 8;
            EXPECT_EQ(r.at("crc_received"),
                      whole ? Hex(t.crc, crcDigits)
                            : "0x" + std::string(crcDigits - 2, '?') + Hex(t.crc & 0xFF, 2).substr(2))
                << f.index;
            EXPECT_EQ(r.at("crc_expected"), Hex(t.crcCorrect, crcDigits)) << f.index;
            EXPECT_EQ(r.at("crc_ok"), t.crc == t.crcCorrect ? "1" : "0") << f.index;
        }
        crcSeen |= complete > 0;
        want["nerr_active"] += err;
        want["nwarn_active"] += warn;
        if (!f.cut) {
            ++want[bad ? "crc_bad" : "crc_good"];
            continue;
        }
        const size_t acks = std::min(static_cast<size_t>(f.ackClocks), edges);
        const double ackNs = static_cast<double>(f.rises[acks - 1] - f.rises[0]) * 1e9 / rate;
        const char* status = !crcSeen || acks < 2 ? "cut_short" : ackNs > 40000 ? "timeout" : "busy";
        ++want[std::string(status) == "cut_short" ? "cut_short"
               : status == std::string("busy")    ? "busy"
                                                  : "timeouts"];
        next(f, complete, status);
    }
    EXPECT_EQ(row, rows.size());
    want["total"] = static_cast<long long>(g.Frames().size());
    EXPECT_GT(want["cut_short"] + want["busy"] + want["timeouts"], 0);  // the scenario broke frames off
    for (const auto& [name, value] : want) EXPECT_EQ(counts[name], value) << name;
}

// The register-access rows against the generator's accesses (those complete in the capture).
void ExpectAccesses(const bissgen::Generator& g, bool slaveView, const std::vector<Row>& rows,
                    std::map<std::string, long long> counts) {
    size_t complete = 0, refused = 0;
    for (const bissgen::AccessTruth& a : g.Accesses()) {
        if (a.lastFrame < 0) break;
        ASSERT_LT(complete, rows.size());
        const Row& r = rows[complete++];
        const std::string where = "access " + std::to_string(a.index);
        const bissgen::RegisterAccess& q = a.request;
        const bool command = q.kind == bissgen::AccessKind::Command;
        const char* kind = !a.plan.valid                         ? "unknown"
                           : command                             ? "command"
                           : q.kind == bissgen::AccessKind::Read ? "read"
                                                                 : "write";
        refused += !a.plan.valid;
        EXPECT_EQ(r.at("kind"), kind) << where;
        EXPECT_EQ(r.at("status"), a.plan.valid ? "ok" : "refused") << where;
        std::string bytes;
        for (uint8_t b : a.plan.valid ? a.plan.bytes : std::vector<uint8_t>{}) {
            const bool shown = slaveView || q.kind == bissgen::AccessKind::Write;
            bytes += (bytes.empty() ? "" : " ") + (shown ? Hex(b, 2).substr(2) : std::string("??"));
        }
        EXPECT_EQ(r.at("bytes"), bytes) << where;
        if (!command) {
            EXPECT_EQ(r.at("rw"), std::to_string(a.plan.slaveRw >> 1) + std::to_string(a.plan.slaveRw & 1));
        }
        if (slaveView) continue;
        EXPECT_EQ(r.at("slave_id"), command ? "" : std::to_string(q.id & 7)) << where;
        EXPECT_EQ(r.at("address"), command ? "" : Hex(q.address & 0x7F, 2)) << where;
        EXPECT_EQ(r.at("ids"), command ? Hex(q.ids, 2) : "") << where;
        EXPECT_EQ(r.at("command"), command ? std::to_string(q.command & 3) : "") << where;
        EXPECT_EQ(r.at("address_crc"), Hex(a.plan.addressCrc, 1)) << where;
        EXPECT_EQ(r.at("address_crc_ok"), "1") << where;
    }
    EXPECT_GT(complete, 10u);
    EXPECT_EQ(counts["total"], static_cast<long long>(rows.size()));
    EXPECT_EQ(counts["refused"], static_cast<long long>(refused));
}

// The example layout sampled at 200 MHz, clocked at 2.5 MHz.
bissgen::Generator ExampleGenerator() {
    bissgen::Timing timing;
    timing.sampleRate = 200000000;
    timing.clockHz = 2500000;
    return bissgen::Generator(timing, zbhost::ExampleLayout());
}

struct Case {
    const char* file;
    void (*traffic)(bissgen::ScenarioOptions&);
    const char* args;
};

TEST(ZbhostDecode, FramesAndSummaryMatchTheGenerator) {
    const auto registers = [](bissgen::ScenarioOptions& o) {
        o.mode = bissgen::TrafficMode::Register;
        o.frames = 600;
    };
    const Case cases[] = {
        {"scd.sr",
         [](bissgen::ScenarioOptions& o) {
             o.frames = 60;
             o.layout.multiTurnBits = 12;
             o.layout.singleTurnBits = 13;
             o.crcErrorEvery = 7;
             o.flagEvery = 5;
             o.cutEvery = 3;
             o.busyEvery = 4;
         },
         "--data-length 25 --data-length auto --st-bits 13"},
        {"chain.vcd",
         [](bissgen::ScenarioOptions& o) {
             o.frames = 30;
             o.slaves = 3;
             o.layout.singleTurnBits = 16;
             o.layout.crc = {16, 0x1021, 0};
             o.ackClocks = 100;  // 50 us: a frame broken off in it is a time-out
             o.cutEvery = 4;
             o.crcErrorEvery = 5;
         },
         "--data-length 16 --data-channels 3 --combine on --crc-bits 16 --crc-poly 1021"},
        {"master.csv", registers, "--mode master --data-length 12"},
        {"slave.vcd", registers, "--mode slave --data-length 12"},
    };
    zbtest::ScratchDir dir("zbhost_decode");
    ASSERT_TRUE(dir.Ok());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        bissgen::ScenarioOptions options;
        c.traffic(options);
        const bissgen::Generator g = bissgen::RunScenario(options);
        zbtest::WriteCaptureFile(g.Finish(), zbhost::FormatFromPath(c.file), dir.File(c.file));
        ASSERT_EQ(Zbhost(dir, std::string("@") + c.file +
                                  " --frames @frames.csv --summary @summary.json --svg @wave.svg " + c.args),
                  0);
        const std::vector<Row> rows = ReadTable(dir.File("frames.csv"));
        const auto counts = ReadCounts(dir.File("summary.json"));
        if (options.mode == bissgen::TrafficMode::SingleCycle)
            ExpectFrames(g, options.slaves > 1, rows, counts);
        else
            ExpectAccesses(g, std::string(c.file) == "slave.vcd", rows, counts);
        const std::string wave = ReadFile(dir.File("wave.svg"));
        EXPECT_NE(wave.find("; the first frames"), std::string::npos);
        EXPECT_EQ(wave.find("nan"), std::string::npos);  // a range was chosen, and the picture drawn in it
        EXPECT_EQ(wave.find("inf"), std::string::npos);
    }
    // The plug-in's own directory in --temp-dir is gone, and no partial output is left.
    EXPECT_EQ(dir.EntryCount(), std::size(cases) + 3);
}

// Pictures of a whole long capture stay small and printable, say what they show, and the plot
// follows the decode range given in time.
TEST(ZbhostDecode, PicturesOfAWholeLongCaptureStaySmall) {
    zbhost::BulkTraffic spec;  // 4,000 frames over 600,000,000 samples
    const bissgen::Capture capture = zbhost::MakeBulkTraffic(spec).Finish();
    zbtest::ScratchDir dir("zbhost_pictures");
    ASSERT_TRUE(dir.Ok());
    zbtest::WriteCaptureFile(capture, zbhost::CaptureFormat::Vcd, dir.File("long.vcd"));
    ASSERT_EQ(Zbhost(dir,
                     "@long.vcd --data-length 25 --st-bits 13 --range 1s:2s --summary @summary.json "
                     "--svg @all.svg --svg-range all --plot @plot.svg"),
              0);
    const std::string svg = ReadFile(dir.File("all.svg"));
    const std::string plot = ReadFile(dir.File("plot.svg"));
    EXPECT_LT(svg.size(), 64u * 1024);
    EXPECT_LT(plot.size(), 64u * 1024);
    for (const std::string* text : {&svg, &plot}) {
        EXPECT_EQ(std::count_if(text->begin(), text->end(),
                                [](char c) { return (c < 0x20 && c != '\n') || c > 0x7E; }),
                  0);
    }
    EXPECT_NE(svg.find("samples 0 .. 600,"), std::string::npos);  // the picture says what it shows
    EXPECT_NE(svg.find(">CRC good</text>"), std::string::npos);   // frames drawn as blocks
    auto counts = ReadCounts(dir.File("summary.json"));
    EXPECT_EQ(counts["from_sample"], 200000000);
    EXPECT_EQ(counts["to_sample"], 399999999);
    EXPECT_NE(plot.find("frames, samples 200,000,000 .. 399,999,999 (1.000 s .. 2.000 s)"),
              std::string::npos);
}

// One frame's jump among a thousand steady ones still shows when a pixel column of the plot holds
// a dozen frames: the column's trace reaches its highest value.
TEST(ZbhostDecode, PositionPlotKeepsAOneFrameGlitch) {
    bissgen::Generator g = ExampleGenerator();
    for (int i = 0; i < 1000; ++i) {
        bissgen::Frame f;
        f.slaves[0].singleTurn = i == 517 ? 8000 : 100;
        g.AddFrame(f);
    }
    zbtest::ScratchDir dir("zbhost_glitch");
    ASSERT_TRUE(dir.Ok());
    zbtest::WriteCaptureFile(g.Finish(), zbhost::CaptureFormat::Vcd, dir.File("glitch.vcd"));
    ASSERT_EQ(Zbhost(dir, "@glitch.vcd --data-length 25 --st-bits 13 --svg-width 200 --plot @plot.svg"), 0);
    const std::string plot = ReadFile(dir.File("plot.svg"));
    std::smatch path;
    ASSERT_TRUE(std::regex_search(plot, path, std::regex("stroke-width=\"1\" d=\"([^\"]*)\"")));
    double low = 1e9, high = -1e9;
    const std::string d = path[1];
    const std::regex y("[,V](-?[0-9.]+)");
    for (auto it = std::sregex_iterator(d.begin(), d.end(), y); it != std::sregex_iterator(); ++it) {
        low = std::min(low, std::stod((*it)[1]));
        high = std::max(high, std::stod((*it)[1]));
    }
    EXPECT_GT(high - low, 100);  // the whole height of the panel, 8000 above 100
}

// The label listing in both forms, exactly (tests/golden/zbhost_labels.*): sample, time, record
// code, text and colours of one frame with a wrong CRC.
TEST(ZbhostDecode, LabelListings) {
    bissgen::Generator g = ExampleGenerator();
    bissgen::Frame f;
    f.slaves[0].multiTurn = 5;
    f.slaves[0].singleTurn = 0x1A2B;
    f.slaves[0].crcXor = 0x15;
    g.AddFrame(f);
    zbtest::ScratchDir dir("zbhost_labels");
    ASSERT_TRUE(dir.Ok());
    zbtest::WriteCaptureFile(g.Finish(), zbhost::CaptureFormat::Vcd, dir.File("one.vcd"));
    for (const std::string form : {"csv", "text"}) {
        ASSERT_EQ(
            Zbhost(dir, "@one.vcd --data-length 25 --st-bits 13 --labels @labels --labels-format " + form),
            0);
        const std::string golden = ZB_GOLDEN_DIR "/zbhost_labels." + form;
        if (std::getenv("ZB_UPDATE_GOLDEN") != nullptr)
            std::ofstream(golden, std::ios::binary) << ReadFile(dir.File("labels"));
        EXPECT_EQ(ReadFile(dir.File("labels")), ReadFile(golden)) << form;
    }
}

// Register accesses whose address CRC or a data byte's CRC went out wrong: their rows say so and
// the summary counts them (the slave's view has no address CRC).
TEST(ZbhostDecode, AccessesWithWrongCrcsAreCounted) {
    bissgen::Generator g = ExampleGenerator();
    bissgen::RegisterAccess ok, badAddress, badByte;
    ok.address = badAddress.address = badByte.address = 0x21;
    ok.data = badAddress.data = {0x5A};
    badAddress.corruptAddressCrc = true;
    badByte.kind = bissgen::AccessKind::Write;
    badByte.data = {1, 2, 3};
    badByte.corruptByte = 1;
    for (const auto* a : {&ok, &badAddress, &badByte}) g.QueueAccess(*a);
    g.FlushControl();
    zbtest::ScratchDir dir("zbhost_access_crc");
    ASSERT_TRUE(dir.Ok());
    zbtest::WriteCaptureFile(g.Finish(), zbhost::CaptureFormat::Vcd, dir.File("regs.vcd"));
    const std::tuple<const char*, const char*, int> views[] = {{"master", "ok crc_error crc_error ", 2},
                                                               {"slave", "ok ok crc_error ", 1}};
    for (const auto& [view, statuses, crcErrors] : views) {
        ASSERT_EQ(Zbhost(dir, std::string("@regs.vcd --data-length 25 --st-bits 13 --frames @rows.csv "
                                          "--summary @summary.json --mode ") +
                                  view),
                  0);
        std::string got;
        for (const Row& r : ReadTable(dir.File("rows.csv"))) got += r.at("status") + " ";
        EXPECT_EQ(got, statuses) << view;
        auto counts = ReadCounts(dir.File("summary.json"));
        EXPECT_EQ(counts["crc_errors"], crcErrors) << view;
        EXPECT_EQ(counts["total"], 3) << view;
    }
}

}  // namespace
