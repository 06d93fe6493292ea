// The zbhost command: argument parsing and the decode, read, info and demo commands.
#pragma once

#include <string>
#include <vector>

#include "capture_readers.h"
#include "channel_pick.h"
#include "host_session.h"
#include "host_settings.h"
#include "outputs.h"
#include "position_plot.h"
#include "time_units.h"

namespace zbhost {

struct DecodeRequest {
    std::string capturePath;
    CaptureFormat format = CaptureFormat::Auto;
    ReadOptions read = AutoChannels();
    uint64_t memoryLimit = SampleSource::kDefaultMemoryLimit;
    std::string pluginPath;
    bool useDefaultsExport = false;
    std::vector<SettingArg> settings;  // cursor positions may be times until the capture is read
    RangeArg range;                    // --range: the decode range, through cursors D and E
    uint32_t hostFlags = 0;
    std::string tempDir;
    std::string labelsPath;  // "-" = standard output
    LabelFormat labelsFormat = LabelFormat::Text;
    std::string reportPath;
    std::string reportCsvPath;
    bool reportColours = false;
    ReportVia reportVia = ReportVia::Callback;
    std::string svgPath;
    RangeArg svgRange;  // not given: the first frames
    double svgWidth = 1400;
    std::string summaryPath;
    std::string framesPath;
    std::string plotPath;
    PlotValue plotValue = PlotValue::Position;
    RangeArg plotRange;  // not given: the decoded range
    bool progress = true;
    bool quiet = false;  // no summary on stderr

    // MA and SLO found by their names unless --ma and --slo are given.
    static ReadOptions AutoChannels();
};

// Parses the decode command's arguments (after the command word); false with a message.
bool ParseDecodeArgs(const std::vector<std::string>& args, DecodeRequest& request, std::string& error);
// Checks the outputs, reads the capture, decodes it through the plug-in, prints the summary and
// writes the outputs; the exit status (0, 1 for a failure, 2 for a bad request, 130 interrupted).
int RunDecode(const DecodeRequest& request);
int RunDemo(const std::vector<std::string>& args);
int RunGenerate(const std::vector<std::string>& args);
int RunApp(int argc, char** argv);

}  // namespace zbhost
