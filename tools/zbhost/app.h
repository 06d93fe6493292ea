// The zbhost command: argument parsing and the decode, info and demo commands.
#pragma once

#include <string>
#include <vector>

#include "capture_readers.h"
#include "host_session.h"
#include "host_settings.h"
#include "outputs.h"

namespace zbhost {

struct DecodeRequest {
    std::string capturePath;
    CaptureFormat format = CaptureFormat::Auto;
    ReadOptions read;
    uint64_t memoryLimit = SampleSource::kDefaultMemoryLimit;
    std::string pluginPath;
    bool useDefaultsExport = false;
    std::vector<SettingArg> settings;
    uint32_t hostFlags = 0;
    std::string tempDir;
    std::string labelsPath;  // "-" = standard output
    LabelFormat labelsFormat = LabelFormat::Text;
    std::string reportPath;
    std::string reportCsvPath;
    bool reportColours = false;
    ReportVia reportVia = ReportVia::Block;
    std::string svgPath;
    SvgRange svgRange;
    bool progress = true;
};

// Parses the decode command's arguments (after the command word); false with a message.
bool ParseDecodeArgs(const std::vector<std::string>& args, DecodeRequest& request, std::string& error);
// Reads the capture, decodes it through the plug-in and writes the outputs; the exit status.
int RunDecode(const DecodeRequest& request);
// Decodes the capture the source serves (used by RunDecode).
int DecodeCapture(const DecodeRequest& request, SampleSource& source);
int RunDemo(const std::vector<std::string>& args);
int RunGenerate(const std::vector<std::string>& args);
int RunApp(int argc, char** argv);

}  // namespace zbhost
