// Tests of zbhost's host side that need no decode: the settings packed from the command line (read
// back through the plug-in's own SettingsView, so both sides agree on every bit), the report wire
// format parsed back into a table and written as CSV, positions given as times, and the choice of
// the MA and SLO channels.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "app.h"
#include "capture_readers.h"
#include "channel_pick.h"
#include "host_settings.h"
#include "native/zbhost_files.h"
#include "report_stream.h"
#include "report_table.h"
#include "time_units.h"

namespace {

using zbhost::HostSettings;

TEST(ZbhostSettings, StartsFromTheDefaultsAtVersion4) {
    HostSettings s;
    zb::HostRecord record{};
    s.StoreInto(record);
    EXPECT_EQ(record.settingsState, 9);
    // The plug-in's own defaults applied to a block give the same settings words.
    zb::DecoderSettings fresh{};
    zb::SettingsView(&fresh).ApplyDefaults();
    EXPECT_EQ(std::memcmp(record.decoderWords, &fresh.optionWord, zb::kDecoderWordsSize), 0);
    EXPECT_EQ(record.channelTable[0], 0u);
    EXPECT_EQ(record.channelTable[1], 1u);
}

TEST(ZbhostSettings, EveryOptionLandsInItsField) {
    HostSettings s;
    std::string error;
    const zbhost::SettingArg args[] = {
        {"mode", "slave"},     {"protocol", "b"},       {"data-length", "24"},   {"st-bits", "13"},
        {"align", "2"},        {"combine", "on"},       {"crc-bits", "16"},      {"crc-poly", "0x1021"},
        {"crc-init", "ffff"},  {"data-channels", "3"},  {"slo-phase", "-7"},     {"reg-columns", "16"},
        {"value-type", "oct"}, {"host-format", "char"}, {"range-from", "A"},     {"range-to", "T"},
        {"cursor", "A=1000"},  {"cursor", "T=5000"},    {"colour-slot", "8=12"}, {"colour-slot", "3=9"}};
    for (const auto& a : args) ASSERT_TRUE(s.Apply(a, error)) << a.first << ": " << error;
    zb::HostRecord record{};
    s.StoreInto(record);
    zb::DecoderSettings block{};
    zb::CopySettingsIn(record, block);
    zb::SettingsView v(&block);
    EXPECT_EQ(v.Mode(), 1u);
    EXPECT_TRUE(v.IsBissB());
    EXPECT_EQ(v.DataLength(), 24);
    EXPECT_FALSE(v.AutoLength());
    EXPECT_EQ(v.SingleTurnBits(), 13);
    EXPECT_EQ(v.AlignmentBitsStored(), 2);
    EXPECT_TRUE(v.CombineTurns());
    EXPECT_EQ(v.CrcBits(), 16);
    EXPECT_EQ(v.CrcPolynomial(), 0x1021u);
    EXPECT_EQ(v.CrcInitial(), 0xFFFFu);
    EXPECT_EQ(v.DataChannels(), 2u);
    EXPECT_EQ(v.SloPhase(), -7);
    EXPECT_EQ(v.RegisterColumns(), 16u);
    EXPECT_EQ(v.ValueTypeSetting(), 2u);
    EXPECT_EQ(v.HostValueFormat(), 4u);
    EXPECT_EQ(v.RangeFrom(), 2u);
    EXPECT_EQ(v.RangeTo(), 1u);
    EXPECT_EQ(v.CursorPosition(1), 1000);
    EXPECT_EQ(v.CursorPosition(0), 5000);
    EXPECT_EQ(v.ColourSlot(8), 12u);
    EXPECT_EQ(v.ColourSlot(3), 9u);
    EXPECT_EQ(v.ColourSlot(2), 2u);  // untouched default
    EXPECT_EQ(v.Version(), 4u);
    ASSERT_TRUE(s.Apply({"data-length", "auto"}, error));
    ASSERT_TRUE(s.Apply({"slo-phase", "63"}, error));
    s.StoreInto(record);
    zb::CopySettingsIn(record, block);
    EXPECT_TRUE(v.AutoLength());
    EXPECT_EQ(v.DataLength(), 24);
    EXPECT_EQ(v.SloPhase(), 63);
}

TEST(ZbhostSettings, BadValuesAreRefused) {
    const zbhost::SettingArg bad[] = {
        {"mode", "fast"},    {"protocol", "d"},     {"data-length", "0"},      {"data-length", "65"},
        {"crc-bits", "17"},  {"crc-poly", "xyz"},   {"crc-init", "123456789"}, {"data-channels", "9"},
        {"slo-phase", "64"}, {"reg-columns", "12"}, {"value-type", "char"},    {"range-from", "F"},
        {"cursor", "Q=5"},   {"cursor", "A="},      {"colour-slot", "9=1"},    {"colour-slot", "1=16"},
        {"st-bits", "-1"},   {"nonsense", "1"}};
    for (const auto& a : bad) {
        HostSettings s;
        std::string error;
        EXPECT_FALSE(s.Apply(a, error)) << a.first << "=" << a.second;
        EXPECT_FALSE(error.empty());
    }
}

// A decode's command line with a bad option value or a wrong word is refused with the reason.
TEST(ZbhostSettings, BadCommandLinesAreRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"c.vcd --plot-value speed", "bad --plot-value 'speed' (position, single-turn or multi-turn)"},
        {"c.vcd --svg-width 199", "bad --svg-width '199' (200..100000 pixels)"},
        {"c.vcd --report-via pipe", "bad --report-via 'pipe' (block or callback)"},
        {"c.vcd --labels-format xml", "bad --labels-format 'xml'"},
        {"c.vcd --unitsize 9", "bad --unitsize '9' (1..8 bytes per sample)"},
        {"c.vcd --memory-limit 0", "bad --memory-limit '0' (MiB, at least 1)"},
        {"c.vcd --samplerate fast", "bad sample rate 'fast'"},
        {"c.vcd --svg-range 12000",
         "--svg-range: '12000' is not a range (FROM:TO, e.g. 1.2ms:1.5ms, 12000:+800, 2s: or all)"},
        {"c.vcd --ma", "missing value after --ma"},
        {"c.vcd --bogus", "unknown option --bogus"},
        {"c.vcd d.vcd", "more than one capture file given"},
        {"--quiet", "no capture file given"},
    };
    for (const auto& [line, message] : cases) {
        zbhost::DecodeRequest r;
        std::string error;
        EXPECT_FALSE(zbhost::ParseDecodeArgs(zbtest::Args(line), r, error)) << line;
        EXPECT_EQ(error, message) << line;
    }
}

// Two colour pairs (text, background) after the built-in pair, three columns.
const char* kWire =
    "||000000FFFFFF000000FFFF00FFFFFF3333E1||Clock,CDS,Multi-Turn,Information\r\n"
    "|@01234545|@1234,\"1\",\"a\\\"b\\\\c\",\" \"\r\n"
    "|@01452323|@99,\" \",\"x,y\",\"CRC error\"\r\n";

TEST(ZbhostReport, ParsesTheWireFormat) {
    zbhost::ReportTable t;
    std::string error;
    ASSERT_TRUE(zbhost::ParseReport(kWire, t, error)) << error;
    ASSERT_EQ(t.colours.size(), 6u);
    EXPECT_EQ(t.colours[4], 0xFFFFFFu);
    EXPECT_EQ(t.colours[5], 0x3333E1u);
    ASSERT_EQ(t.columns, (std::vector<std::string>{"CDS", "Multi-Turn", "Information"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].clock, 1234);
    EXPECT_EQ(t.rows[0].cells[1].text, "a\"b\\c");
    EXPECT_EQ(t.rows[0].cells[2].text, "");
    EXPECT_EQ(t.rows[0].cells[0].backColour, 0xFFFF00u);
    EXPECT_EQ(t.rows[1].cells[0].backColour, 0x3333E1u);
    EXPECT_EQ(t.rows[1].cells[0].textColour, 0xFFFFFFu);
    std::ostringstream csv;
    zbhost::WriteReportCsv(t, csv, true);
    EXPECT_EQ(csv.str(),
              "Clock,CDS,CDS colour,Multi-Turn,Multi-Turn colour,Information,Information colour\n"
              "1234,1,#00FFFF,\"a\"\"b\\c\",#E13333,,#E13333\n"
              "99,,#E13333,\"x,y\",#00FFFF,CRC error,#00FFFF\n");
    // Written as it arrives, a line to a chunk: the same wire text and the same CSV.
    std::ostringstream wire, streamed, whole;
    zbhost::ReportStream stream(&wire, &streamed, true, 1);
    for (std::string_view rest = kWire; !rest.empty(); rest.remove_prefix(rest.find('\n') + 1))
        stream.Lines(rest.substr(0, rest.find('\n') + 1));
    EXPECT_EQ(stream.Finish(), "");
    ASSERT_TRUE(zbhost::WriteReportCsv(kWire, whole, true, error)) << error;
    EXPECT_EQ(wire.str(), kWire);
    EXPECT_EQ(streamed.str(), whole.str());
    // A header without columns or colour pairs.
    ASSERT_TRUE(zbhost::ParseReport("||000000FFFFFF||Clock\r\n|@01|@7\r\n", t, error)) << error;
    EXPECT_TRUE(t.columns.empty());
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0].clock, 7);
}

TEST(ZbhostReport, MalformedLinesAreNamed) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"Clock,CDS\r\n", "||"},
        {"||00000||Clock\r\n", "colour table"},
        {"||000000FFFFFG||Clock\r\n", "hex"},
        {"||000000FFFFFF||Time\r\n", "Clock"},
        {"||000000FFFFFF||Clock,A\r\nxyz\r\n", "line 2"},
        {"||000000FFFFFF||Clock,A\r\n|@01|@5,\"a\"\r\n", "digits"},
        {"||000000FFFFFF||Clock,A\r\n|@0123|@5,\"a\"\r\n", "outside"},
        {"||000000FFFFFF||Clock,A\r\n|@0101|@x,\"a\"\r\n", "clock"},
        {"||000000FFFFFF||Clock,A\r\n|@0101|@5,\"a\r\n", "closing quote"},
        {"||000000FFFFFF||Clock,A\r\n|@0101|@5\r\n", "fewer"},
        {"||000000FFFFFF||Clock,A\r\n|@0101|@5,\"a\",\"b\"\r\n", "more"},
    };
    for (const auto& [wire, expect] : cases) {
        zbhost::ReportTable t;
        std::string error;
        EXPECT_FALSE(zbhost::ParseReport(wire, t, error)) << wire;
        EXPECT_NE(error.find(expect), std::string::npos) << wire << " -> " << error;
        std::ostringstream csv;
        zbhost::ReportStream stream(nullptr, &csv, false, 1);
        stream.Lines(wire);
        EXPECT_NE(stream.Finish().find(expect), std::string::npos) << wire;
    }
}

}  // namespace

namespace {

TEST(ZbhostTimes, RangesInSamplesOrTimes) {
    // 200 MHz, samples 0 .. 999,999.
    struct Case {
        const char* text;
        uint64_t rate;
        int64_t from, to;     // -1: refused
        const char* message;  // part of the refusal
    };
    const Case cases[] = {
        {"1.2ms:1.5ms", 200000000, 240000, 300000, ""},
        {"350us:+1500ns", 200000000, 70000, 70300, ""},
        {"1000:+500", 200000000, 1000, 1500, ""},
        {"2ms:", 200000000, 400000, 1000000, ""},
        {":", 0, 0, 1000000, ""},
        {"all", 200000000, 0, 1000000, ""},
        {"0.004 s:5 ms", 200000000, 800000, 1000000, ""},
        {"4ms:6ms", 200000000, -1, -1, "beyond the capture"},
        {"0:1000001", 200000000, -1, -1, "beyond the capture"},
        {"5000:4000", 200000000, -1, -1, "empty"},
        {"1ms:2ms", 0, -1, -1, "no sample rate"},
        {"1.5:2", 200000000, -1, -1, "plain number counts samples"},
        {"+5:10", 200000000, -1, -1, "only the end"},
        {"3 furlongs:", 200000000, -1, -1, "not a position"},
        {"-3:5", 200000000, -1, -1, "not a position"},
        {"12000", 200000000, -1, -1, "not a range"},
    };
    for (const Case& c : cases) {
        zbhost::RangeArg r;
        std::string error;
        int64_t from = -1, to = -1;
        const bool ok = zbhost::ParseRange(c.text, r, error) &&
                        zbhost::ResolveRange(r, c.rate, 999999, "--svg-range", from, to, error);
        EXPECT_EQ(ok, c.from >= 0) << c.text << ": " << error;
        if (ok) {
            EXPECT_EQ(from, c.from) << c.text;
            EXPECT_EQ(to, c.to) << c.text;
        } else {
            EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
        }
    }
}

TEST(ZbhostTimes, TextsAndAxes) {
    EXPECT_EQ(zbhost::FormatSeconds(2.979005e-3), "2.979 ms");
    EXPECT_EQ(zbhost::FormatSeconds(3.0), "3.000 s");
    EXPECT_EQ(zbhost::FormatSeconds(0), "0 s");
    EXPECT_EQ(zbhost::FormatSecondsAt(4.2e-6, 5e-9), "4.200 us");
    EXPECT_EQ(zbhost::SecondsOfSample(1044, 200000000), "0.000005220");
    EXPECT_EQ(zbhost::SecondsOfSample(1044, 0), "");
    EXPECT_EQ(zbhost::Grouped(-1234567), "-1,234,567");
    struct Case {
        double from, to;
        bool seconds;
        int maxTicks;
        const char* first;
        const char* last;
        const char* origin;
    };
    const Case cases[] = {
        {0, 2.979e-3, true, 9, "0.0 ms", "2.5 ms", ""},
        {0, 595800, false, 9, "0", "500000", ""},
        {1.500655, 1.500671, true, 9, "+0 us", "+14 us", "t0 = 1.500656 s"},  // not "1500656 us"
        {635600040, 635600440, false, 5, "+0", "+300", "t0 = sample 635600100"},
        {4.6e18, 4.6e18 + 1024, false, 10, "+0", "+1024",
         "t0 = sample 4600000000000000000"},  // steps below precision
    };
    for (const Case& c : cases) {
        const zbhost::AxisTicks t = zbhost::ChooseTicks(c.from, c.to, c.seconds, c.maxTicks);
        ASSERT_FALSE(t.labels.empty());
        EXPECT_LE(t.labels.size(), static_cast<size_t>(c.maxTicks) + 1);
        EXPECT_EQ(t.labels.front(), c.first);
        EXPECT_EQ(t.labels.back(), c.last);
        EXPECT_EQ(t.origin, c.origin);
    }
}

TEST(ZbhostChannels, PickedByNameNumberUsualNameOrRefused) {
    using zbhost::PickedBy;
    struct Case {
        std::vector<std::string> names;
        const char *ma, *slo;
        int maIndex, sloIndex;  // -1: refused
        PickedBy how;           // of MA
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {{"D0", "CLK+", "Data"}, "", "", 1, 2, PickedBy::Alias, ""},
        {{"slo", "ma"}, "", "", 1, 0, PickedBy::Alias, ""},
        {{"A", "B"}, "", "", 0, 1, PickedBy::Default, ""},
        {{"DATA", "A"}, "", "", 1, 0, PickedBy::Default, ""},
        {{"MA", "SLO", "X", "Y"}, "D3", "d2", 3, 2, PickedBy::SigrokName, ""},
        {{"MA", "SLO"}, "ma", "Slo", 0, 1, PickedBy::Name, ""},
        {{"x", "y", "z"}, "2", "0", 2, 0, PickedBy::Number, ""},
        {{"MA", "SLO"}, "MA", "0", -1, -1, PickedBy::Name, "both be channel 0"},
        {{"MA"}, "", "", -1, -1, PickedBy::Name, "no channel '' for SLO"},
        {{"MA", "SLO"}, "CLK2", "SLO", -1, -1, PickedBy::Name, "no channel 'CLK2' for MA (channels: 0=MA, 1=SLO)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        zbhost::ForgetChannelPicks();
        try {
            const size_t ma = zbhost::ResolveChannel(c.ma, c.names, "MA");
            const size_t slo = zbhost::ResolveChannel(c.slo, c.names, "SLO");
            EXPECT_EQ(static_cast<int>(ma), c.maIndex) << c.ma;
            EXPECT_EQ(static_cast<int>(slo), c.sloIndex) << c.slo;
            EXPECT_EQ(zbhost::LastChannelPicks().ma.how, c.how) << c.ma;
            EXPECT_EQ(zbhost::LastChannelPicks().slo.index, slo);
        } catch (const zbhost::CaptureError& e) {
            EXPECT_EQ(c.maIndex, -1) << c.ma << "/" << c.slo << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
