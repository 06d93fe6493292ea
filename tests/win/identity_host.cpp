// A Windows host stand-in for the plug-in's identification and settings exports: it loads the DLL
// named on its command line, finds every export by name, and calls them through function pointers
// on a host record laid out byte by byte (win_host.h). Prints each failure and exits non-zero when
// there was any.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/message_sweep.h"
#include "win/win_host.h"

namespace {

using namespace zbwin;

// Every export the plug-in must offer; a new export adds its name here.
const char* const kExpectedExports[] = {
    "GetPluginInfo",   "GetDisplayName",     "GetQuickSetInfo", "ChannelName",
    "DefaultSettings", "GetReportColumnStr", "DrawIt",          "DeleteNotify",
    "SetMsgInfo",      "Analysis",           "DataConv",        "ConfigDialog",
};

using GetPluginInfoFn = uint32_t(WINAPI*)(void*);
using GetDisplayNameFn = uint32_t(WINAPI*)(char*);
using GetQuickSetInfoFn = uint32_t(WINAPI*)(void*);
using ChannelNameFn = uint32_t(WINAPI*)(void*, uint32_t, char*, uint32_t);
using DefaultSettingsFn = uint32_t(WINAPI*)(void*);
using GetReportColumnStrFn = uint32_t(WINAPI*)(void*, char*, int32_t);
using DrawItFn = uint32_t(WINAPI*)();
using SetMsgInfoFn = void(WINAPI*)(uint64_t, const void*);

void CheckExportsPresent(const PluginDll& p) {
    for (const char* name : kExpectedExports) {
        Expect(p.Has(name), "export %s is missing", name);
    }
}

void CheckDrawIt(const PluginDll& p) {
    const auto drawIt = p.Export<DrawItFn>("DrawIt");
    const auto deleteNotify = p.Export<DrawItFn>("DeleteNotify");
    if (drawIt == nullptr || deleteNotify == nullptr) return;
    Expect(reinterpret_cast<void*>(drawIt) == reinterpret_cast<void*>(deleteNotify),
           "DrawIt and DeleteNotify are different functions");
    Expect(drawIt() == 1, "DrawIt did not return 1");
    Expect(deleteNotify() == 1, "DeleteNotify did not return 1");
}

void CheckPluginInfo(const PluginDll& p) {
    const auto getPluginInfo = p.Export<GetPluginInfoFn>("GetPluginInfo");
    if (getPluginInfo == nullptr) return;
    std::vector<uint8_t> info(176 + 16, 0xEE);
    Expect(getPluginInfo(info.data()) == 2, "GetPluginInfo did not return 2");
    const uint32_t expected[] = {176, 512, 220, 2, 0xFFFFFFFF};
    for (size_t i = 0; i < 5; ++i) {
        Expect(Get32(info.data(), i * 4) == expected[i], "PluginInfo word at 0x%02zx is %u, expected %u",
               i * 4, Get32(info.data(), i * 4), expected[i]);
    }
    Expect(std::memcmp(info.data() + 0x14, "BiSS-C\0", 7) == 0, "PluginInfo name is not BiSS-C");
    const uint32_t* widths;
    std::memcpy(&widths, info.data() + 0x28, sizeof widths);
    Expect(widths != nullptr, "PluginInfo has no column-width table");
    if (widths != nullptr) {
        const uint32_t initial[] = {40, 130, 130, 60, 75, 60, 40, 500, 0};
        for (size_t i = 0; i < 9; ++i)
            Expect(widths[i] == initial[i], "column width %zu is %u", i, widths[i]);
    }
    for (size_t i = 0x30; i < 176; ++i) Expect(info[i] == 0, "PluginInfo byte 0x%02zx is not 0", i);
    for (size_t i = 176; i < info.size(); ++i) Expect(info[i] == 0xEE, "GetPluginInfo wrote past 176 bytes");
    Expect(getPluginInfo(nullptr) == 2, "GetPluginInfo(null) did not return 2");
}

void CheckDisplayName(const PluginDll& p) {
    const auto getDisplayName = p.Export<GetDisplayNameFn>("GetDisplayName");
    if (getDisplayName == nullptr) return;
    char name[32];
    std::memset(name, 'x', sizeof name);
    Expect(getDisplayName(name) == 1, "GetDisplayName did not return 1");
    Expect(std::strcmp(name, "BiSS") == 0, "display name is not BiSS");
    Expect(getDisplayName(nullptr) == 0, "GetDisplayName(null) did not return 0");
}

void CheckQuickSetInfo(const PluginDll& p) {
    const auto getQuickSetInfo = p.Export<GetQuickSetInfoFn>("GetQuickSetInfo");
    if (getQuickSetInfo == nullptr) return;
    for (uint32_t request : {0u, 0x96940000u, 0x96940001u}) {
        uint8_t info[0x18 + 7 * 8];
        std::memset(info, 0xEE, sizeof info);
        Put32(info, 0, request);
        Expect(getQuickSetInfo(info) == 1, "GetQuickSetInfo did not return 1");
        uint64_t rate;
        std::memcpy(&rate, info + 8, 8);
        Expect(Get32(info, 0) == 2 && Get32(info, 4) == 1600 && rate == 200000000,
               "QuickSetInfo fields wrong for request 0x%08x", request);
        for (size_t i = 0x10; i < sizeof info; ++i) {
            Expect(info[i] == 0xEE, "QuickSetInfo byte 0x%02zx written for request 0x%08x", i, request);
        }
    }
    Expect(getQuickSetInfo(nullptr) == 0, "GetQuickSetInfo(null) did not return 0");
}

void CheckDefaultSettings(const PluginDll& p) {
    const auto defaultSettings = p.Export<DefaultSettingsFn>("DefaultSettings");
    if (defaultSettings == nullptr) return;
    RecordBuffer record;
    Expect(defaultSettings(record.data()) == 1, "DefaultSettings did not return 1");
    Expect((record[kSettingsState] | record[kSettingsState + 1] << 8) == 9, "settingsState is not 9");
    struct Word {
        size_t offset;
        uint32_t value;
        const char* name;
    };
    const Word words[] = {
        {kDecoderChannelCount, 2, "decoderChannelCount"},
        {kDialogResult, 2, "dialogResult"},
        {kChannelTable, 0, "MA channel"},
        {kChannelTable + 4, 1, "SLO channel"},
        {kDecoderWords + 0x00, 0x2000C200, "option word"},
        {kDecoderWords + 0x04, 0x70555200, "colour word"},
        {kDecoderWords + 0x08, 0x0000000D, "aux word"},
        {kDecoderWords + 0x0C, 8, "single-turn bits"},
        {kDecoderWords + 0x10, 6, "CRC bits"},
        {kDecoderWords + 0x14, 0x43, "CRC polynomial"},
        {kDecoderWords + 0x18, 0, "CRC initial value"},
        {kDecoderWords + 0x1C, 0, "alignment"},
        {kDecoderWords + 0x20, 0, "protocol"},
    };
    for (const Word& w : words) {
        Expect(Get32(record.data(), w.offset) == w.value, "defaults: %s is 0x%x, expected 0x%x", w.name,
               Get32(record.data(), w.offset), w.value);
    }

    // On a record full of host data: the reserved words are cleared, the host's bytes stay.
    RecordBuffer busy(0x5A);
    const RecordBuffer before = busy;
    defaultSettings(busy.data());
    for (size_t i = kDecoderWords + 0x24; i < kDecoderWordsEnd; ++i) {
        Expect(busy[i] == 0, "defaults: reserved byte 0x%03zx not cleared", i);
    }
    const size_t kept[][2] = {{0x000, 0x0A0}, {0x0A4, 0x0F8}, {0x0FC, 0x194}, {0x1A0, 0x698}, {0x718, 0x748}};
    for (const auto& range : kept) {
        for (size_t i = range[0]; i < range[1]; ++i) {
            if (busy[i] != before[i]) {
                Expect(false, "defaults: host byte 0x%03zx changed", i);
                break;
            }
        }
    }
    Expect(defaultSettings(nullptr) == 0, "DefaultSettings(null) did not return 0");
}

void CheckChannelName(const PluginDll& p) {
    const auto channelName = p.Export<ChannelNameFn>("ChannelName");
    if (channelName == nullptr) return;
    struct Row {
        uint32_t index;
        uint32_t size;
        const char* expected;
    };
    const Row rows[] = {
        {0, 32, "MA"}, {1, 32, "SLO"},       {5, 32, "1234"}, {7, 32, "-1"}, {255, 32, "77"},
        {256, 32, ""}, {0xFFFFFFFF, 32, ""}, {1, 2, "S"},     {1, 1, ""},    {5, 3, "12"},
    };
    for (const Row& r : rows) {
        RecordBuffer record;
        Put32(record.data(), kChannelTable + 5 * 4, 1234);
        Put32(record.data(), kChannelTable + 7 * 4, 0xFFFFFFFF);
        Put32(record.data(), kChannelTable + 255 * 4, 77);
        std::vector<char> buffer(r.size + 8, '#');
        Expect(channelName(record.data(), r.index, buffer.data(), r.size) == 1,
               "ChannelName(%u) did not return 1", r.index);
        Expect(std::strcmp(buffer.data(), r.expected) == 0,
               "ChannelName(%u, size %u) gave \"%s\", expected \"%s\"", r.index, r.size, buffer.data(),
               r.expected);
        for (size_t i = r.size; i < buffer.size(); ++i) {
            Expect(buffer[i] == '#', "ChannelName(%u, size %u) wrote past the buffer", r.index, r.size);
        }
        Expect(Get32(record.data(), kDialogResult) == 2, "ChannelName did not write dialogResult 2");
    }
    RecordBuffer record;
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    Expect(channelName(nullptr, 0, buffer, 8) == 0 && buffer[0] == '#',
           "ChannelName(null record) not refused");
    Expect(channelName(record.data(), 0, buffer, 0) == 1 && buffer[0] == '#', "ChannelName size 0 wrote");
    Expect(channelName(record.data(), 0, nullptr, 32) == 1, "ChannelName(null buffer) did not return 1");
}

void CheckReportColumnStr(const PluginDll& p) {
    const auto getReportColumnStr = p.Export<GetReportColumnStrFn>("GetReportColumnStr");
    const auto defaultSettings = p.Export<DefaultSettingsFn>("DefaultSettings");
    if (getReportColumnStr == nullptr || defaultSettings == nullptr) return;
    RecordBuffer record;
    defaultSettings(record.data());
    const RecordBuffer before = record;

    Expect(getReportColumnStr(nullptr, nullptr, 64) == 0, "GetReportColumnStr(null record) not refused");
    for (int32_t size : {0, -1, -100000}) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        Expect(getReportColumnStr(record.data(), buffer, size) == 1, "GetReportColumnStr size %d: result",
               size);
        Expect(buffer[0] == '#', "GetReportColumnStr size %d wrote", size);
    }
    for (int32_t size : {1, 2, 6, 300}) {
        std::vector<char> buffer(static_cast<size_t>(size) + 8, '#');
        Expect(getReportColumnStr(record.data(), buffer.data(), size) == 1,
               "GetReportColumnStr size %d: result", size);
        Expect(std::memchr(buffer.data(), 0, static_cast<size_t>(size)) != nullptr,
               "header unterminated, size %d", size);
        for (size_t i = static_cast<size_t>(size); i < buffer.size(); ++i) {
            Expect(buffer[i] == '#', "GetReportColumnStr size %d wrote past the buffer", size);
        }
    }
    Expect(record == before, "GetReportColumnStr changed the record");

    char header[300];
    getReportColumnStr(record.data(), header, sizeof header);
    Expect(std::strcmp(header, "Clock,CDS,Multi-Turn,Single-Turn,nError,nWarning,CRC,CDM,Information") == 0,
           "column header is \"%s\"", header);
    getReportColumnStr(record.data(), header, 6);
    Expect(std::strcmp(header, "Clock") == 0, "column header cut to 6 is \"%s\"", header);
    // A host that takes UTF-8 gets the same ASCII header.
    Put32(record.data(), kHostFlags, 0x20000);
    getReportColumnStr(record.data(), header, sizeof header);
    Expect(std::strncmp(header, "Clock,", 6) == 0, "UTF-8 host's column header is \"%s\"", header);
}

void CheckSetMsgInfo(const PluginDll& p) {
    const auto setMsgInfo = p.Export<SetMsgInfoFn>("SetMsgInfo");
    if (setMsgInfo == nullptr) return;
    zbtest::SendMessagesOfEveryShape(setMsgInfo, "C:\\temp\\");
    setMsgInfo(0, "");
}

}  // namespace

int main(int argc, char** argv) {
    PluginDll plugin;
    const int loaded = plugin.LoadFromCommandLine(argc, argv, "identity_host");
    if (loaded != kExitPassed) return loaded;
    CheckExportsPresent(plugin);
    CheckDrawIt(plugin);
    CheckPluginInfo(plugin);
    CheckDisplayName(plugin);
    CheckQuickSetInfo(plugin);
    CheckDefaultSettings(plugin);
    CheckChannelName(plugin);
    CheckReportColumnStr(plugin);
    CheckSetMsgInfo(plugin);
    Expect(plugin.Free(), "FreeLibrary failed");
    return Finish("identity_host");
}
