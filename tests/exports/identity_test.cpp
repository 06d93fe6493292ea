// The built plug-in loaded with dlopen and driven through its exports, as a host does: the
// identification calls, channel names, defaults, column headers, host messages, the do-nothing
// entries, and bad input to every one of them (null records and buffers, undersized buffers,
// message codes and sub-codes out of range, channel indexes past the table).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "abi/host_record.h"
#include "support/message_sweep.h"

namespace {

using zb::HostRecord;

using GetPluginInfoFn = uint32_t (*)(void*);
using GetDisplayNameFn = uint32_t (*)(char*);
using GetQuickSetInfoFn = uint32_t (*)(void*);
using ChannelNameFn = uint32_t (*)(HostRecord*, uint32_t, char*, uint32_t);
using DefaultSettingsFn = uint32_t (*)(HostRecord*);
using GetReportColumnStrFn = uint32_t (*)(HostRecord*, char*, int32_t);
using DrawItFn = uint32_t (*)();
using SetMsgInfoFn = void (*)(uint64_t, const void*);

// Every export the plug-in must offer.
const char* const kExports[] = {"GetPluginInfo",   "GetDisplayName",     "GetQuickSetInfo", "ChannelName",
                                "DefaultSettings", "GetReportColumnStr", "DrawIt",          "DeleteNotify",
                                "SetMsgInfo",      "Analysis",           "DataConv",        "ConfigDialog"};

class Exports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = dlopen(ZB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); }
    static void TearDownTestSuite() {
        if (library_ != nullptr) dlclose(library_);  // runs the module end: the engine goes
        library_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(library_, nullptr) << dlerror(); }

    template <typename Fn>
    static Fn Get(const char* name) {
        return reinterpret_cast<Fn>(dlsym(library_, name));
    }

    static void* library_;
};
void* Exports::library_ = nullptr;

constexpr uint8_t kFill = 0xEE;

std::vector<uint8_t> Filled(size_t size) {
    return std::vector<uint8_t>(size, kFill);
}

uint32_t U32(const void* p, size_t offset) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + offset, 4);
    return v;
}

TEST_F(Exports, EveryExportIsThere) {
    for (const char* name : kExports) EXPECT_NE(dlsym(library_, name), nullptr) << name;
}

TEST_F(Exports, DrawItAndDeleteNotifyAreOneFunctionThatDoesNothing) {
    const auto drawIt = Get<DrawItFn>("DrawIt");
    const auto deleteNotify = Get<DrawItFn>("DeleteNotify");
    ASSERT_NE(drawIt, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(drawIt), reinterpret_cast<void*>(deleteNotify));
    EXPECT_EQ(drawIt(), 1u);
    EXPECT_EQ(deleteNotify(), 1u);
}

TEST_F(Exports, PluginInfoRecord) {
    const auto getPluginInfo = Get<GetPluginInfoFn>("GetPluginInfo");
    std::vector<uint8_t> info = Filled(176 + 16);
    EXPECT_EQ(getPluginInfo(info.data()), 2u);
    EXPECT_EQ(U32(info.data(), 0x00), 176u);
    EXPECT_EQ(U32(info.data(), 0x04), 512u);
    EXPECT_EQ(U32(info.data(), 0x08), 220u);
    EXPECT_EQ(U32(info.data(), 0x0C), 2u);
    EXPECT_EQ(U32(info.data(), 0x10), 0xFFFFFFFFu);
    EXPECT_STREQ(reinterpret_cast<const char*>(info.data() + 0x14), "BiSS-C");
    for (size_t i = 0x14 + 7; i < 0x28; ++i) EXPECT_EQ(info[i], 0) << "byte " << i;
    const uint32_t* widths;
    std::memcpy(&widths, info.data() + 0x28, sizeof widths);
    ASSERT_NE(widths, nullptr);
    const uint32_t initial[] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(widths[i], initial[i]) << "width " << i;
    for (size_t i = 0x30; i < 176; ++i) EXPECT_EQ(info[i], 0) << "byte " << i;
    for (size_t i = 176; i < info.size(); ++i) EXPECT_EQ(info[i], kFill) << "past the record, byte " << i;

    // The table's address never changes.
    std::vector<uint8_t> again(176);
    getPluginInfo(again.data());
    EXPECT_EQ(std::memcmp(again.data() + 0x28, info.data() + 0x28, 8), 0);
    EXPECT_EQ(getPluginInfo(nullptr), 2u);
}

TEST_F(Exports, DisplayName) {
    const auto getDisplayName = Get<GetDisplayNameFn>("GetDisplayName");
    std::vector<uint8_t> buffer = Filled(32);
    EXPECT_EQ(getDisplayName(reinterpret_cast<char*>(buffer.data())), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "BiSS");
    for (size_t i = 5; i < 32; ++i) EXPECT_EQ(buffer[i], kFill);
    EXPECT_EQ(getDisplayName(nullptr), 0u);
}

TEST_F(Exports, QuickSetInfoWritesTheSameThreeFieldsWithOrWithoutTheExtendedRequest) {
    const auto getQuickSetInfo = Get<GetQuickSetInfoFn>("GetQuickSetInfo");
    for (uint32_t request : {0u, 0x96940000u, 0x96941234u, 0x12340000u}) {
        std::vector<uint8_t> info = Filled(0x18 + 7 * 8);
        std::memcpy(info.data(), &request, 4);
        EXPECT_EQ(getQuickSetInfo(info.data()), 1u);
        EXPECT_EQ(U32(info.data(), 0x00), 2u) << std::hex << request;
        EXPECT_EQ(U32(info.data(), 0x04), 1600u);
        uint64_t rate;
        std::memcpy(&rate, info.data() + 0x08, 8);
        EXPECT_EQ(rate, 200000000u);
        for (size_t i = 0x10; i < info.size(); ++i)
            ASSERT_EQ(info[i], kFill) << std::hex << request << " byte " << i;
    }
    EXPECT_EQ(getQuickSetInfo(nullptr), 0u);
}

TEST_F(Exports, ChannelNames) {
    const auto channelName = Get<ChannelNameFn>("ChannelName");
    struct Row {
        uint32_t index;
        uint32_t size;
        std::string expected;
    };
    const Row rows[] = {
        {0, 32, "MA"}, {1, 32, "SLO"}, {5, 32, "1234"}, {7, 32, "-1"},        {255, 32, "77"},
        {2, 32, "0"},  {256, 32, ""},  {1000, 32, ""},  {0xFFFFFFFF, 32, ""}, {1, 3, "SL"},
        {1, 2, "S"},   {1, 1, ""},     {5, 3, "12"},    {5, 5, "1234"},       {7, 2, "-"},
    };
    for (const Row& r : rows) {
        HostRecord host{};
        host.channelTable[5] = 1234;
        host.channelTable[7] = 0xFFFFFFFF;
        host.channelTable[255] = 77;
        std::vector<uint8_t> buffer = Filled(r.size + 8);
        EXPECT_EQ(channelName(&host, r.index, reinterpret_cast<char*>(buffer.data()), r.size), 1u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), r.expected)
            << "index " << r.index << " size " << r.size;
        for (size_t i = r.size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kFill) << "index " << r.index;
        EXPECT_EQ(host.dialogResult, 2u);
        EXPECT_EQ(host.channelTable[5], 1234u);  // the frame writes the settings back unchanged
    }
}

TEST_F(Exports, ChannelNameBadInputTouchesNoBuffer) {
    const auto channelName = Get<ChannelNameFn>("ChannelName");
    std::vector<uint8_t> buffer = Filled(8);
    EXPECT_EQ(channelName(nullptr, 0, reinterpret_cast<char*>(buffer.data()), 8), 0u);
    EXPECT_EQ(buffer, Filled(8));

    HostRecord host{};
    EXPECT_EQ(channelName(&host, 0, reinterpret_cast<char*>(buffer.data()), 0), 1u);
    EXPECT_EQ(buffer, Filled(8));
    EXPECT_EQ(channelName(&host, 0, nullptr, 32), 1u);
}

TEST_F(Exports, DefaultSettingsOnAZeroRecord) {
    const auto defaultSettings = Get<DefaultSettingsFn>("DefaultSettings");
    HostRecord host{};
    EXPECT_EQ(defaultSettings(&host), 1u);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&host);
    EXPECT_EQ(raw[0x194] | raw[0x195] << 8, 9);  // initialised, version 4
    EXPECT_EQ(U32(raw, 0x0A0), 2u);              // decoderChannelCount
    EXPECT_EQ(U32(raw, 0x0F8), 2u);              // dialogResult: not after OK
    EXPECT_EQ(U32(raw, 0x198), 0u);              // MA on channel 0
    EXPECT_EQ(U32(raw, 0x19C), 1u);              // SLO on channel 1
    EXPECT_EQ(U32(raw, 0x698), 0x2000C200u);     // SCD, 12 bits, auto length
    EXPECT_EQ(U32(raw, 0x69C), 0x70555200u);     // colour slots 0..7
    EXPECT_EQ(U32(raw, 0x6A0), 0x0000000Du);     // colour slot 8
    EXPECT_EQ(U32(raw, 0x6A4), 8u);              // single-turn bits
    EXPECT_EQ(U32(raw, 0x6A8), 6u);              // CRC bits
    EXPECT_EQ(U32(raw, 0x6AC), 0x43u);           // CRC polynomial
}

TEST_F(Exports, DefaultSettingsKeepTheHostFieldsAndClearTheReservedWords) {
    const auto defaultSettings = Get<DefaultSettingsFn>("DefaultSettings");
    HostRecord host;
    std::memset(&host, 0x5A, sizeof host);
    HostRecord before = host;
    EXPECT_EQ(defaultSettings(&host), 1u);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&host);
    const uint8_t* old = reinterpret_cast<const uint8_t*>(&before);
    for (size_t i = 0x6BC; i < 0x718; ++i) ASSERT_EQ(raw[i], 0) << "reserved byte " << i;
    // Host-owned bytes stay: everything before the settings, the capture facts, the names and
    // the outputs, the channel table beyond the two inputs.
    const std::pair<size_t, size_t> kept[] = {
        {0x000, 0x0A0}, {0x0A4, 0x0F8}, {0x0FC, 0x194}, {0x1A0, 0x698}, {0x718, 0x748}};
    for (const auto& [from, to] : kept) {
        for (size_t i = from; i < to; ++i) ASSERT_EQ(raw[i], old[i]) << "host byte " << i;
    }
    EXPECT_EQ(defaultSettings(nullptr), 0u);
}

TEST_F(Exports, ReportColumnHeaderIsCutToTheBuffer) {
    const auto getReportColumnStr = Get<GetReportColumnStrFn>("GetReportColumnStr");
    HostRecord host{};
    EXPECT_EQ(getReportColumnStr(nullptr, nullptr, 64), 0u);
    for (int32_t size : {0, -1, -1000}) {
        std::vector<uint8_t> buffer = Filled(16);
        EXPECT_EQ(getReportColumnStr(&host, reinterpret_cast<char*>(buffer.data()), size), 1u) << size;
        EXPECT_EQ(buffer, Filled(16)) << size;
    }
    EXPECT_EQ(getReportColumnStr(&host, nullptr, 64), 1u);
    // Nothing is written back into the record.
    const HostRecord zero{};
    EXPECT_EQ(std::memcmp(&host, &zero, sizeof host), 0);

    for (int32_t size : {1, 2, 6, 300}) {
        std::vector<uint8_t> buffer = Filled(static_cast<size_t>(size) + 8);
        EXPECT_EQ(getReportColumnStr(&host, reinterpret_cast<char*>(buffer.data()), size), 1u);
        EXPECT_NE(std::memchr(buffer.data(), 0, static_cast<size_t>(size)), nullptr)
            << "unterminated, size " << size;
        for (size_t i = static_cast<size_t>(size); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], kFill) << size;
    }

    // The header reads the record as it stands, without normalising it: the all-zero record of a
    // never-initialised host gives the register-access columns, the defaults SCD, BiSS-C, separate
    // turns.
    std::vector<char> header(300);
    getReportColumnStr(&host, header.data(), 300);
    EXPECT_STREQ(header.data(),
                 "Clock,CTS,ID(IDS),ADR(CMD),Hdr CRC(h),R/W,D0,D1,D2,D3,D4,D5,D6,D7,Information");
    HostRecord defaults{};
    Get<DefaultSettingsFn>("DefaultSettings")(&defaults);
    getReportColumnStr(&defaults, header.data(), 300);
    EXPECT_STREQ(header.data(), "Clock,CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information");
    getReportColumnStr(&defaults, header.data(), 6);
    EXPECT_STREQ(header.data(), "Clock");
}

TEST_F(Exports, HostMessagesOfEveryShapeAreAccepted) {
    const auto setMsgInfo = Get<SetMsgInfoFn>("SetMsgInfo");
    zbtest::SendMessagesOfEveryShape(setMsgInfo, "/tmp/");
    // The plug-in is still answering.
    EXPECT_EQ(Get<DrawItFn>("DrawIt")(), 1u);
    setMsgInfo(0, "");
}

}  // namespace
