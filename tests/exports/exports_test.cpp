// The built plug-in driven through its exports as a host drives it: loaded by file name with
// zbhost's loader (LoadLibrary and GetProcAddress on Windows, dlopen and dlsym elsewhere) and
// called only through the function pointers it resolved. One source for both builds: natively it
// loads ZbBiSS64.so, cross-built it loads ZbBiSS64.dll under wine. The identification calls, the
// defaults, channel names and column headers, a decode with its published records, labels, and
// bad input to every call; fixed layouts are checked at their byte offsets. Host messages of every
// shape go through SetMsgInfo in fuzz/fuzz_dataconv.cpp; the report from the named block against
// the row callback's is zbhost's (zbhost_cli_block_equals_callback).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/record_code.h"
#include "bissgen/generator.h"
#include "dialog/dialog_template.h"
#include "plugin_library.h"
#include "support/memory_host.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using zb::HostRecord;
using zb::MakeCode;
using zb::RecordKind;

constexpr uint8_t kFill = 0xEE;

std::vector<uint8_t> Filled(size_t size) {
    return std::vector<uint8_t>(size, kFill);
}

uint32_t U32(const void* p, size_t offset) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + offset, 4);
    return v;
}

// Five frames of 12 data bits (4 multi-turn, 8 single-turn) with the default CRC: multi-turn 3,
// single-turn firstSingleTurn + i.
bissgen::Capture FiveFrames(uint64_t firstSingleTurn) {
    bissgen::Layout layout;
    layout.multiTurnBits = 4;
    layout.singleTurnBits = 8;
    std::vector<bissgen::Frame> frames(5);
    for (int i = 0; i < 5; ++i) {
        frames[i].slaves[0].multiTurn = 0x3;
        frames[i].slaves[0].singleTurn = firstSingleTurn + static_cast<uint64_t>(i);
    }
    return bissgen::MakeCapture(bissgen::Timing{}, layout, frames);
}

class Exports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        if (!plugin_.Load(ZB_PLUGIN_PATH, error)) ADD_FAILURE() << error;
    }
    void SetUp() override { ASSERT_NE(x().Analysis, nullptr) << "the plug-in did not load"; }
    static const zbhost::PluginExports& x() { return plugin_.Exports(); }

    static zbhost::PluginLibrary plugin_;
};
zbhost::PluginLibrary Exports::plugin_;

// ---- Identification --------------------------------------------------------------------------

TEST_F(Exports, EveryListedExportIsThereAndDrawItIsDeleteNotify) {
    // Under wine a path of the build machine is reached through drive Z:.
    std::ifstream list(ZB_EXPECTED_EXPORTS);
    if (!list) list.open(std::string("Z:") + ZB_EXPECTED_EXPORTS);
    int names = 0;
    for (std::string name; std::getline(list, name);) {
        if (name.empty()) continue;
        EXPECT_NE(plugin_.Symbol(name.c_str()), nullptr) << name;
        ++names;
    }
    EXPECT_EQ(names, 12);
    EXPECT_EQ(plugin_.Symbol("DrawIt"), plugin_.Symbol("DeleteNotify"));
    EXPECT_EQ(x().DrawIt(), 1u);
}

TEST_F(Exports, PluginInfoRecord) {
    std::vector<uint8_t> info = Filled(176 + 16);
    EXPECT_EQ(x().GetPluginInfo(reinterpret_cast<zb::PluginInfo*>(info.data())), 2u);
    const uint32_t words[] = {176, 512, 220, 2, 0xFFFFFFFF};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(U32(info.data(), 4 * i), words[i]) << "word " << i;
    EXPECT_EQ(std::memcmp(info.data() + 0x14, "BiSS-C\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20), 0);
    const uint32_t* widths;
    std::memcpy(&widths, info.data() + 0x28, sizeof widths);
    ASSERT_NE(widths, nullptr);
    const uint32_t initial[] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(widths[i], initial[i]) << "width " << i;
    for (size_t i = 0x30; i < 176; ++i) EXPECT_EQ(info[i], 0) << "byte " << i;
    for (size_t i = 176; i < info.size(); ++i) EXPECT_EQ(info[i], kFill) << "past the record, byte " << i;
    EXPECT_EQ(x().GetPluginInfo(nullptr), 2u);
}

TEST_F(Exports, DisplayNameAndQuickSetInfo) {
    std::vector<uint8_t> name = Filled(32);
    EXPECT_EQ(x().GetDisplayName(reinterpret_cast<char*>(name.data())), 1u);
    EXPECT_EQ(std::memcmp(name.data(), "BiSS\0\xEE", 6), 0);
    EXPECT_EQ(x().GetDisplayName(nullptr), 0u);
    // The extended request (upper half 0x9694) gets the same three fields and nothing more.
    for (uint32_t request : {0u, 0x96940000u, 0x96941234u, 0x12340000u}) {
        std::vector<uint8_t> info = Filled(sizeof(zb::QuickSetInfo));
        std::memcpy(info.data(), &request, 4);
        EXPECT_EQ(x().GetQuickSetInfo(reinterpret_cast<zb::QuickSetInfo*>(info.data())), 1u);
        EXPECT_EQ(U32(info.data(), 0), 2u) << std::hex << request;
        EXPECT_EQ(U32(info.data(), 4), 1600u);
        EXPECT_EQ(U32(info.data(), 8) | uint64_t{U32(info.data(), 12)} << 32, 200000000u);
        for (size_t i = 0x10; i < info.size(); ++i)
            ASSERT_EQ(info[i], kFill) << std::hex << request << " " << i;
    }
    EXPECT_EQ(x().GetQuickSetInfo(nullptr), 0u);
}

TEST_F(Exports, ChannelNames) {
    struct Row {
        uint32_t index, size;
        std::string expected;
    };
    const Row rows[] = {
        {0, 32, "MA"},        {1, 32, "SLO"}, {7, 32, "-1"}, {255, 32, "77"}, {2, 32, "0"},
        {0xFFFFFFFF, 32, ""}, {1, 3, "SL"},   {1, 1, ""},    {5, 5, "1234"},
    };
    for (const Row& r : rows) {
        HostRecord host{};
        host.channelTable[5] = 1234;
        host.channelTable[7] = 0xFFFFFFFF;
        host.channelTable[255] = 77;
        std::vector<uint8_t> buffer = Filled(r.size + 8);
        EXPECT_EQ(x().ChannelName(&host, r.index, reinterpret_cast<char*>(buffer.data()), r.size), 1u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), r.expected)
            << r.index << "/" << r.size;
        for (size_t i = r.size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kFill) << "index " << r.index;
        EXPECT_EQ(host.dialogResult, 2u);
        EXPECT_EQ(host.channelTable[5], 1234u);  // the settings go back unchanged
    }
    std::vector<uint8_t> buffer = Filled(8);
    HostRecord host{};
    EXPECT_EQ(x().ChannelName(nullptr, 0, reinterpret_cast<char*>(buffer.data()), 8), 0u);
    EXPECT_EQ(x().ChannelName(&host, 0, reinterpret_cast<char*>(buffer.data()), 0), 1u);
    EXPECT_EQ(buffer, Filled(8));
    EXPECT_EQ(x().ChannelName(&host, 0, nullptr, 32), 1u);
}

// ---- Settings --------------------------------------------------------------------------------

TEST_F(Exports, DefaultSettingsWriteTheirWordsAndKeepTheHostsBytes) {
    HostRecord host;
    std::memset(&host, 0x5A, sizeof host);
    const HostRecord before = host;
    EXPECT_EQ(x().DefaultSettings(&host), 1u);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&host);
    const uint8_t* old = reinterpret_cast<const uint8_t*>(&before);
    // Initialised version 4; two decoder channels, MA 0 and SLO 1; not after OK; SCD, 12 bits,
    // auto length; colour slots; 8 single-turn bits, CRC 6 bits 0x43 from 0; no alignment, BiSS-C.
    EXPECT_EQ(raw[0x194] | raw[0x195] << 8, 9);
    const std::pair<size_t, uint32_t> words[] = {
        {0x0A0, 2},          {0x0F8, 2},          {0x198, 0}, {0x19C, 1}, {0x698, 0x2000C200},
        {0x69C, 0x70555200}, {0x6A0, 0x0000000D}, {0x6A4, 8}, {0x6A8, 6}, {0x6AC, 0x43},
        {0x6B0, 0},          {0x6B4, 0},          {0x6B8, 0},
    };
    for (const auto& [offset, value] : words) EXPECT_EQ(U32(raw, offset), value) << std::hex << offset;
    for (size_t i = 0x6BC; i < 0x718; ++i) ASSERT_EQ(raw[i], 0) << "reserved byte " << i;
    const std::pair<size_t, size_t> kept[] = {
        {0x000, 0x0A0}, {0x0A4, 0x0F8}, {0x0FC, 0x194}, {0x1A0, 0x698}, {0x718, 0x748}};
    for (const auto& [from, to] : kept) {
        for (size_t i = from; i < to; ++i) ASSERT_EQ(raw[i], old[i]) << "host byte " << i;
    }
    EXPECT_EQ(x().DefaultSettings(nullptr), 0u);
}

TEST_F(Exports, ReportColumnHeaderIsCutToTheBuffer) {
    HostRecord host{};
    EXPECT_EQ(x().GetReportColumnStr(nullptr, nullptr, 64), 0u);
    EXPECT_EQ(x().GetReportColumnStr(&host, nullptr, 64), 1u);
    for (int32_t size : {0, -1, -1000, 1, 2, 6, 300}) {
        const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
        std::vector<uint8_t> buffer = Filled(room + 8);
        EXPECT_EQ(x().GetReportColumnStr(&host, reinterpret_cast<char*>(buffer.data()), size), 1u);
        if (room > 0) {
            EXPECT_NE(std::memchr(buffer.data(), 0, room), nullptr) << "unterminated, size " << size;
        }
        for (size_t i = room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kFill) << size;
    }
    const HostRecord zero{};
    EXPECT_EQ(std::memcmp(&host, &zero, sizeof host), 0) << "nothing is written back";

    // The record as it stands, not normalised: a never-initialised one reads as register access.
    char header[300];
    x().GetReportColumnStr(&host, header, sizeof header);
    EXPECT_STREQ(header, "Clock,CTS,ID(IDS),ADR(CMD),Hdr CRC(h),R/W,D0,D1,D2,D3,D4,D5,D6,D7,Information");
    x().DefaultSettings(&host);
    host.hostFlags = zb::HostFlag::kUtf8;  // the same ASCII text for a host that takes UTF-8
    x().GetReportColumnStr(&host, header, sizeof header);
    EXPECT_STREQ(header, "Clock,CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information");
    x().GetReportColumnStr(&host, header, 6);
    EXPECT_STREQ(header, "Clock");
}

#if !defined(_WIN32)
// Without a window system ConfigDialog shows nothing: the settings are brought up to date (here
// the defaults for a record never initialised), everything else of the record stays, and it
// answers Cancel. Under Windows it shows the dialog (tests/win/dialog_host.cpp).
TEST_F(Exports, ConfigDialogWithoutWindowsOnlyNormalises) {
    HostRecord record{}, defaults{};
    record.captureChannelCount = 16;
    record.channelTable[5] = 99;
    record.dialogResult = 1;
    x().ConfigDialog(&record);
    x().DefaultSettings(&defaults);
    EXPECT_EQ(std::memcmp(record.decoderWords, defaults.decoderWords, sizeof defaults.decoderWords), 0);
    EXPECT_EQ(record.settingsState, 9);
    EXPECT_EQ(record.dialogResult, 2u);
    EXPECT_EQ(record.captureChannelCount, 16u);
    EXPECT_EQ(record.channelTable[5], 99u);
}
#endif

TEST_F(Exports, ConfigDialogWithoutARecordDoesNothing) {
    x().ConfigDialog(nullptr);
    EXPECT_EQ(x().DrawIt(), 1u);
}

#if defined(_WIN32)
// Dialog 9001 as a host finds it: the same extended template in English (US), Chinese
// (Traditional) and Chinese (Simplified), with the caption, size, font, style and item count of
// the item list (the items themselves are checked in the shown dialog by dialog_host); and the
// 96 x 64, 24-bit bitmap 9000.
TEST_F(Exports, DialogAndBitmapResources) {
    const HMODULE module = GetModuleHandleA("ZbBiSS64.dll");
    ASSERT_NE(module, nullptr);
    auto resource = [&](LPCSTR type, int id, WORD language) {
        HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), language);
        if (found == nullptr) return std::string();
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(bytes, SizeofResource(module, found));
    };
    const std::string english = resource(reinterpret_cast<LPCSTR>(RT_DIALOG), 9001, 1033);
    ASSERT_GT(english.size(), 30u);
    for (WORD language : {WORD{1028}, WORD{2052}})
        EXPECT_EQ(resource(reinterpret_cast<LPCSTR>(RT_DIALOG), 9001, language), english) << language;
    // DLGTEMPLATEEX: version 1 and FFFF, help id, extended style, style, item count, x, y, cx, cy,
    // no menu, the dialog's own class, the caption, then point size, weight, italic, character set
    // and the font's name.
    const zb::ui::DialogTemplate& d = zb::kSettingsTemplate;
    std::string head = std::string("\x01\x00\xFF\xFF", 4) + std::string(8, '\0');
    head += std::string(reinterpret_cast<const char*>(&d.style), 4);
    const uint16_t shape[] = {static_cast<uint16_t>(d.itemCount), 0, 0, static_cast<uint16_t>(d.width),
                              static_cast<uint16_t>(d.height),    0, 0};
    head += std::string(reinterpret_cast<const char*>(shape), sizeof shape);
    auto wide = [](const std::string& text) {
        std::string w;
        for (char c : text) w += std::string{c, '\0'};
        return w + std::string(2, '\0');
    };
    head += wide(d.caption);
    const uint16_t font[] = {static_cast<uint16_t>(d.pointSize), static_cast<uint16_t>(d.weight), 0};
    head += std::string(reinterpret_cast<const char*>(font), sizeof font) + wide(d.fontName);
    EXPECT_EQ(english.substr(0, head.size()), head);

    const std::string bitmap = resource(reinterpret_cast<LPCSTR>(RT_BITMAP), 9000, 1033);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER) + 96 * 3 * 64);
    BITMAPINFOHEADER info;
    std::memcpy(&info, bitmap.data(), sizeof info);
    EXPECT_EQ(info.biWidth, 96);
    EXPECT_EQ(info.biHeight, 64);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biCompression, static_cast<DWORD>(BI_RGB));
}
#endif

// ---- Analysis --------------------------------------------------------------------------------

// Default settings with MA on channel 3 and SLO on channel 9, the capture served there, and
// what `more` sets on top.
struct Host : zbtest::MemoryHost {
    explicit Host(const bissgen::Capture& c, const std::function<void(zb::SettingsView)>& more = {})
        : MemoryHost(c, 3, 9) {
        zb::DecoderSettings block{};
        zb::CopySettingsIn(Record(), block);
        zb::SettingsView v(&block);
        v.ApplyDefaults();
        v.SetChannel(0, 3);
        v.SetChannel(1, 9);
        if (more) more(v);
        zb::CopySettingsOut(block, Record());
    }
};

TEST_F(Exports, AnalysisAbortedAtEntryTouchesNothing) {
    EXPECT_EQ(x().Analysis(nullptr), 0u);
    Host host(FiveFrames(0x40));
    host.AbortFromPoll(1);
    HostRecord& r = host.Record();
    uint32_t stop = 7;
    r.stopFlag = &stop;
    r.progress = 123;
    const HostRecord before = r;
    EXPECT_EQ(x().Analysis(&r), 0u);
    EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0);
    EXPECT_EQ(stop, 7u);
}

TEST_F(Exports, AnalysisPublishesTheFramesAndCopiesTheSettingsBack) {
    Host host(FiveFrames(0x40));
    HostRecord& r = host.Record();
    uint32_t stop = 1;  // left over from an earlier run: cleared at the start
    r.stopFlag = &stop;
    const uint32_t count = x().Analysis(&r);
    ASSERT_GT(count, 20u);
    EXPECT_EQ(stop, 0u);
    EXPECT_EQ(r.progress, 1000u);
    EXPECT_GE(host.AbortPollCount(), 1u);
    EXPECT_EQ(host.Misuse(), "");
    EXPECT_EQ(r.settingsState, 9);
    EXPECT_EQ(r.dialogResult, 2u);
    EXPECT_EQ(U32(r.decoderWords, 8) >> 4 & 0x3F, 12u) << "the detected length is copied back";
    ASSERT_NE(r.codeArray, nullptr);
    ASSERT_NE(r.positionArray, nullptr);
    EXPECT_EQ(zb::KindOf(r.codeArray[0]), RecordKind::FirstFrame);
    std::vector<uint32_t> single, multi, crcs;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t code = r.codeArray[i];
        if (zb::KindOf(code) == RecordKind::SingleTurnLow) single.push_back(zb::PayloadOf(code));
        if (zb::KindOf(code) == RecordKind::MultiTurnLow) multi.push_back(zb::PayloadOf(code));
        if (zb::KindOf(code) == RecordKind::Crc) crcs.push_back(zb::PayloadOf(code) & 0x100);
        if (i > 0) {
            EXPECT_GE(r.positionArray[i], r.positionArray[i - 1]) << i;
        }
    }
    EXPECT_EQ(single, (std::vector<uint32_t>{0x40, 0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(multi, std::vector<uint32_t>(5, 3));
    EXPECT_EQ(crcs, std::vector<uint32_t>(5, 0)) << "five CRCs, none wrong";
}

TEST_F(Exports, AnalysisFailuresGiveOneRecord) {
    Host reversed(FiveFrames(0x40), [](zb::SettingsView v) {
        v.SetRangeFrom(2);  // Cursor A to Cursor B, B before A
        v.SetRangeTo(3);
    });
    HostRecord& r = reversed.Record();
    r.stopFlag = nullptr;  // a host without a stop word
    r.cursorPosition[1] = 5000;
    r.cursorPosition[2] = 1000;
    ASSERT_EQ(x().Analysis(&r), 1u);
    EXPECT_EQ(r.codeArray[0], 0u);
    EXPECT_EQ(r.positionArray[0], 0);
    EXPECT_EQ(r.progress, 1000u);
}

// ---- Labels ----------------------------------------------------------------------------------

constexpr uint32_t kSentinel = 0xA5A5A5A5;
constexpr uint32_t kRed = 0x003333E1, kWhite = 0x00FFFFFF, kGreen = 0x0000FF00, kLightBlue = 0x00FFCC99;

class DataConvExport : public Exports {
  protected:
    // Default settings with Ack red (slot 0 = 14) and Start sky blue (slot 1 = 13), a UTF-8 host.
    void SetUp() override {
        Exports::SetUp();
        zb::DecoderSettings block{};
        zb::SettingsView view(&block);
        view.ApplyDefaults();
        view.SetAutoLength(false);
        view.SetColourSlot(0, 14);
        view.SetColourSlot(1, 13);
        zb::CopySettingsOut(block, record_);
        record_.hostFlags = zb::HostFlag::kUtf8;
        record_.dialogResult = 77;
        record_.labelTextColour = record_.labelBackColour = record_.labelColourMask = kSentinel;
    }
    // The label of a code (or of a code list), the buffer checked for writes past `size`.
    std::string Label(uint64_t codeOrList, uint32_t size = 64) {
        std::memset(text_, '#', sizeof text_);
        EXPECT_EQ(x().DataConv(&record_, codeOrList, text_, size), 1u);
        for (size_t i = size; i < sizeof text_; ++i) EXPECT_EQ(text_[i], '#') << i;
        return text_[0] == '#' ? "<untouched>" : std::string(text_);
    }
    static uint64_t List(const uint32_t* list) { return reinterpret_cast<uintptr_t>(list); }
    // Acknowledge's colours: red (slot 0 = 14) with white text.
    void ExpectRed() {
        EXPECT_TRUE(record_.labelColourMask == 24 && record_.labelBackColour == kRed &&
                    record_.labelTextColour == kWhite);
    }

    HostRecord record_{};
    char text_[80];
};

TEST_F(DataConvExport, CodesListsBuffersAndBadArguments) {
    EXPECT_EQ(Label(0xDEADBEEF00000000ull | MakeCode(RecordKind::Ack)), "ACK");  // the low 32 bits
    ExpectRed();
    record_.hostFlags |= zb::HostFlag::kCodeList;
    const uint32_t list[] = {3, MakeCode(RecordKind::MultiTurnHigh), MakeCode(RecordKind::MultiTurnMid),
                             MakeCode(RecordKind::MultiTurnLow, 5)};
    EXPECT_EQ(Label(List(list)), "Multi-Turn: 5");
    record_.hostFlags |= zb::HostFlag::kShortLabels;
    EXPECT_EQ(Label(List(list)), "5");
    // A count far beyond the codes given: only three codes are ever read.
    const uint32_t huge[] = {0xFFFFFFFF, MakeCode(RecordKind::Crc, 0x105), 0, 0};
    EXPECT_EQ(Label(List(huge)), "05");
    EXPECT_EQ(record_.labelBackColour, kRed);
    // One byte: the NUL only, with the colour. (No code, no buffer or a null one: no text and no
    // colour, which fuzz/fuzz_dataconv.cpp checks for every input.)
    record_.hostFlags = zb::HostFlag::kUtf8;
    EXPECT_EQ(Label(MakeCode(RecordKind::Ack), 1), "");
    ExpectRed();
    EXPECT_EQ(Label(zb::MakeStatus(zb::StatusCode::Timeout, 3), 5), "Time");
    char keep[8] = "keep";
    EXPECT_EQ(x().DataConv(nullptr, MakeCode(RecordKind::Ack), keep, sizeof keep), 1u);
    EXPECT_STREQ(keep, "keep");
}

// The plug-in keeps labels that depend only on their code: asked again after a change of the
// settings, a label follows them; a label cut to a small buffer is whole again in a large one.
TEST_F(DataConvExport, LabelsAskedAgainFollowTheSettings) {
    const uint32_t ack = MakeCode(RecordKind::Ack), err = MakeCode(RecordKind::Err, 0),
                   id = MakeCode(RecordKind::Id, 5), timeout = zb::MakeStatus(zb::StatusCode::Timeout, 3);
    auto words = [this](const std::function<void(zb::SettingsView&)>& change) {
        zb::DecoderSettings block{};
        zb::CopySettingsIn(record_, block);
        zb::SettingsView view(&block);
        change(view);
        zb::CopySettingsOut(block, record_);
    };
    struct Row {
        uint32_t code;
        std::function<void()> change;
        uint32_t size;
        const char* text;
        uint32_t back;
    };
    const Row rows[] = {
        {ack, [] {}, 64, "ACK", kRed},
        {ack, [&] { words([](zb::SettingsView& v) { v.SetColourSlot(0, 11); }); }, 64, "ACK", kGreen},
        {ack, [&] { record_.hostFlags |= zb::HostFlag::kShortLabels; }, 64, "A", kGreen},
        {ack, [&] { record_.hostFlags &= ~zb::HostFlag::kShortLabels; }, 64, "ACK", kGreen},
        {ack, [] {}, 3, "AC", kGreen},
        {err, [] {}, 64, "nErr:0", kRed},  // active (low) in BiSS-C
        {err, [&] { words([](zb::SettingsView& v) { v.SetProtocol(1); }); }, 64, "nErr:0", kLightBlue},
        {id, [&] { words([](zb::SettingsView& v) { v.SetValueType(0); }); }, 64, "ID:5", kLightBlue},
        {id, [&] { words([](zb::SettingsView& v) { v.SetValueType(3); }); }, 64, "ID:101", kLightBlue},
        {timeout, [] {}, 5, "Time", kRed},
        {timeout, [] {}, 64, "Timeout 3 clk", kRed},
    };
    for (const Row& row : rows) {
        row.change();
        EXPECT_EQ(Label(row.code, row.size), row.text) << row.text;
        EXPECT_EQ(record_.labelBackColour, row.back) << row.text;
    }
}

TEST_F(DataConvExport, SettingsComeBackUnchangedAndAreNotNormalised) {
    const HostRecord before = record_;
    EXPECT_EQ(Label(MakeCode(RecordKind::Ack)), "ACK");
    EXPECT_EQ(record_.dialogResult, 2u);
    EXPECT_EQ(std::memcmp(record_.decoderWords, before.decoderWords, sizeof before.decoderWords), 0);
    EXPECT_EQ(std::memcmp(record_.channelTable, before.channelTable, sizeof before.channelTable), 0);
    EXPECT_EQ(record_.settingsState, before.settingsState);
    EXPECT_EQ(record_.hostFlags, before.hostFlags);
    // A never-initialised record is labelled as it is (its colour slots read 0), not defaulted.
    HostRecord blank{};
    blank.hostFlags = zb::HostFlag::kUtf8;
    char text[16];
    EXPECT_EQ(x().DataConv(&blank, MakeCode(RecordKind::Crc, 0x05), text, sizeof text), 1u);
    EXPECT_STREQ(text, "CRC:05");
    EXPECT_EQ(blank.labelBackColour, kGreen) << "the CRC matched";
    EXPECT_EQ(blank.settingsState, 0u);
}

}  // namespace
