// A Windows host stand-in for the report: it loads the DLL named on its command line, serves each
// golden capture through its own sampleQuery callback, calls Analysis on a host record laid out
// byte by byte (win_host.h), then reads the report from the named shared-memory block with
// OpenFileMappingA - and in a second run through the reportRow callback - and compares it with the
// report part of tests/golden/<name>.txt.
// Prints each failure and exits non-zero when there was any.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden_scenarios.h"
#include "win/win_host.h"

namespace {

using namespace zbwin;

using DefaultSettingsFn = uint32_t(WINAPI*)(void*);
using AnalysisFn = uint32_t(WINAPI*)(void*);

// ---- The host's side of the callbacks -----------------------------------------------------------

const bissgen::Capture* gCapture = nullptr;
std::vector<std::string> gRows;
int gEndCalls = 0;

// MA on channel 0, SLO on channel 1: the levels at `position`, and the next change after it.
uint64_t WINAPI SampleQuery(uint64_t position, uint8_t* state16) {
    std::memset(state16, 0, 16);
    const std::vector<bissgen::Change>& changes = gCapture->changes;
    const auto pos = static_cast<int64_t>(position);
    size_t lo = 0, hi = changes.size();
    while (hi - lo > 1) {  // the last change at or before pos
        const size_t mid = (lo + hi) / 2;
        if (changes[mid].position <= pos) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    if (!changes.empty()) state16[0] = static_cast<uint8_t>(changes[lo].ma | (changes[lo].slo << 1));
    return lo + 1 < changes.size() ? static_cast<uint64_t>(changes[lo + 1].position) : ~uint64_t{0};
}
uint32_t WINAPI AbortPoll() {
    return 0;
}
int32_t WINAPI ReportRow(const char* text, uint32_t length) {
    if (text == nullptr && length == 0) {
        ++gEndCalls;
    } else {
        gRows.emplace_back(text, length);
    }
    return 1;
}

// ---- Settings as a host writes them ---------------------------------------------------------------

void ApplySettings(uint8_t* record, const zbtest::ScenarioSettings& st) {
    uint32_t option = Get32(record, kOptionWord);
    auto field = [&option](unsigned shift, unsigned width, uint32_t value) {
        const uint32_t mask = ((1u << width) - 1) << shift;
        option = (option & ~mask) | ((value << shift) & mask);
    };
    field(8, 4, st.mode);
    field(12, 8, static_cast<uint32_t>(st.dataLength));
    field(24, 4, st.slaves - 1);
    field(28, 1, st.combineTurns ? 1 : 0);
    field(29, 1, st.autoLength ? 1 : 0);
    field(30, 1, st.registerColumns >= 16 ? 1 : 0);
    Put<uint32_t>(record, kOptionWord, option);
    Put<int32_t>(record, kSingleTurnBits, st.singleTurnBits);
    Put<int32_t>(record, kCrcBits, st.crcBits);
    Put<uint32_t>(record, kCrcPolynomial, st.crcPolynomial);
    Put<uint32_t>(record, kCrcInitial, st.crcInitial);
    Put<int32_t>(record, kAlignmentBits, st.alignmentBits);
    Put<int32_t>(record, kProtocol, st.protocol);
    Put<uint32_t>(record, kHostValueFormat, st.hostValueFormat);
}

// ---- Golden files -------------------------------------------------------------------------------

// The report part of a golden file, with each line's CR LF restored.
bool GoldenReport(const std::string& name, std::string* report) {
    const char* dir = std::getenv("ZB_GOLDEN_DIR");
    std::string base = dir != nullptr ? dir : "tests/golden";
    std::ifstream in(base + "/" + name + ".txt", std::ios::binary);
    if (!in) in.open("Z:" + base + "/" + name + ".txt", std::ios::binary);
    if (!in) return false;
    std::string line;
    bool inReport = false;
    report->clear();
    while (std::getline(in, line)) {
        if (line.rfind("# report", 0) == 0) {
            inReport = true;
            continue;
        }
        if (inReport) *report += line + "\r\n";
    }
    return inReport;
}

std::string FirstDifference(const std::string& expected, const std::string& actual) {
    size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
    const size_t from = i > 40 ? i - 40 : 0;
    return "at byte " + std::to_string(i) + ": expected \"" + expected.substr(from, 100) + "\" got \"" +
           actual.substr(from, 100) + "\"";
}

// The two exports this host calls.
struct Plugin {
    DefaultSettingsFn defaultSettings = nullptr;
    AnalysisFn analysis = nullptr;
};

// Decodes one scenario and returns the report: from the named block, or from the row callback.
std::string RunReport(const Plugin& p, const zbtest::GoldenScenario& scenario,
                      const bissgen::Capture& capture, bool callback, const char* blockName) {
    RecordBuffer storage;
    uint8_t* record = storage.data();
    uint32_t stopWord = 0;
    gCapture = &capture;
    gRows.clear();
    gEndCalls = 0;
    Put(record, kSampleQuery, &SampleQuery);
    Put(record, kAbortPoll, &AbortPoll);
    Put(record, kReportRow, callback ? &ReportRow : nullptr);
    Put<uint32_t>(record, kCaptureChannelCount, 128);
    Put<int64_t>(record, kLastSample, capture.lastSample);
    Put<uint64_t>(record, kSampleRate, capture.sampleRate);
    std::snprintf(reinterpret_cast<char*>(record + kReportBlockName), 32, "%s", blockName);
    Put(record, kStopFlag, &stopWord);
    p.defaultSettings(record);
    ApplySettings(record, scenario.settings);
    const uint32_t count = p.analysis(record);
    Expect(count > 0, "%s: Analysis returned no records", scenario.name.c_str());

    if (callback) {
        Expect(gEndCalls == 1, "%s: %d end calls instead of 1", scenario.name.c_str(), gEndCalls);
        std::string text;
        for (const std::string& row : gRows) text += row;
        return text;
    }
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, blockName);
    Expect(block != nullptr, "%s: no block named %s", scenario.name.c_str(), blockName);
    if (block == nullptr) return std::string();
    std::string text;
    const auto* view = static_cast<const char*>(MapViewOfFile(block, FILE_MAP_READ, 0, 0, 0));
    if (view != nullptr) {
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(view, &info, sizeof info);
        const size_t length = strnlen(view, info.RegionSize);
        Expect(length < info.RegionSize, "%s: the block has no NUL", scenario.name.c_str());
        text.assign(view, length);
        UnmapViewOfFile(view);
    }
    CloseHandle(block);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    PluginDll dll;
    const int loaded = dll.LoadFromCommandLine(argc, argv, "report_host");
    if (loaded != kExitPassed) return loaded;
    Plugin p;
    p.defaultSettings = dll.Export<DefaultSettingsFn>("DefaultSettings");
    p.analysis = dll.Export<AnalysisFn>("Analysis");
    if (p.defaultSettings == nullptr || p.analysis == nullptr) {
        std::printf("FAIL: DefaultSettings or Analysis is not exported\n");
        return kExitFailed;
    }

    int checked = 0;
    for (const zbtest::GoldenScenario& scenario : zbtest::GoldenScenarios()) {
        std::string expected;
        if (!GoldenReport(scenario.name, &expected)) {
            Expect(false, "%s: golden file not found (set ZB_GOLDEN_DIR)", scenario.name.c_str());
            continue;
        }
        const bissgen::Capture capture = scenario.capture();
        char blockName[32];
        std::snprintf(blockName, sizeof blockName, "ZbReport_%lu", GetCurrentProcessId());
        const std::string fromBlock = RunReport(p, scenario, capture, false, blockName);
        Expect(fromBlock == expected, "%s (named block): %s", scenario.name.c_str(),
               FirstDifference(expected, fromBlock).c_str());
        const std::string fromRows = RunReport(p, scenario, capture, true, blockName);
        Expect(fromRows == expected, "%s (reportRow): %s", scenario.name.c_str(),
               FirstDifference(expected, fromRows).c_str());
        ++checked;
    }
    dll.Free();
    std::printf("%d captures checked\n", checked);
    return Finish("report_host");
}
