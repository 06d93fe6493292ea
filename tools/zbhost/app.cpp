// The zbhost command line: the commands, the decode options and their help, --version, and the
// read and info commands. The decode itself runs in decode_command.cpp.
#include "app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zbhost {

namespace {

constexpr char kVersion[] = "zbhost 1.1";

const char* kCommands =
    "usage: zbhost [decode] CAPTURE [options]     decode a capture (.sr, .vcd, .csv, .bin; - for stdin)\n"
    "       zbhost demo [--out DIR]               make, decode and draw a built-in example\n"
    "       zbhost read CAPTURE [capture options] read a capture only and count its changes\n"
    "       zbhost info [--plugin PATH]           show what the plug-in says about itself\n"
    "       zbhost generate OUT [options]         write bulk example traffic (zbhost generate for help)\n"
    "       zbhost --version                      zbhost's version and the plug-in it finds\n"
    "       zbhost decode --help                  the decode options below\n"
    "\n";

const char* kDecodeOptions =
    "Capture:\n"
    "  --format auto|sr|vcd|csv|binary   reader (default: by extension; standard input needs it)\n"
    "  --ma CH, --slo CH         channel by probe name, 0-based number or sigrok name (D3); by\n"
    "                            default the probes named MA and SLO (or CLK, CLOCK, SCK... and\n"
    "                            DATA, SL, SDA...), else the first two channels\n"
    "  --samplerate RATE         e.g. 200MHz: turns VCD/CSV times into samples; the rate of binary input\n"
    "  --unitsize N              binary input: bytes per sample, 1..8 (default 1)\n"
    "  --memory-limit MIB        changes kept for the decode's second walk over piped input (default 128)\n"
    "Positions (--range, --svg-range, --plot-range, --cursor) are samples (12000) or times with a\n"
    "unit (1.2ms, 350us, 2s, 1500ns). A RANGE is FROM:TO; either end may be left out, TO may be\n"
    "+LENGTH, and 'all' is the whole capture.\n"
    "  --range RANGE             decode only this range (through cursors D and E)\n"
    "Host:\n"
    "  --plugin PATH             the plug-in (default: ZbBiSS64 next to zbhost)\n"
    "  --temp-dir DIR            where the plug-in keeps its temporary files, in a directory of its\n"
    "                            own that is removed at the end (default: the system's)\n"
    "  --short-labels --utf8 --gray-to --gray-from   host flags\n"
    "  --no-progress             no progress bar (it is shown only on a terminal anyway)\n"
    "  --quiet                   no summary on stderr\n"
    "Outputs, each written whole or not at all (without any: labels as text on standard output):\n"
    "  --summary FILE            the summary as JSON (it is printed on stderr in any case)\n"
    "  --frames FILE             one row per frame and slave (register modes: one per access);\n"
    "                            CSV, or JSON Lines when FILE ends in .jsonl, .ndjson or .json\n"
    "  --labels FILE|-           records with their labels; --labels-format text|csv\n"
    "  --report FILE             the report's wire text\n"
    "  --report-csv FILE         the report as CSV; --report-colours adds each cell's colour\n"
    "  --report-via callback|block   row callback, written as it comes (default), or named block\n"
    "  --svg FILE                MA and SLO with the labels; --svg-range RANGE (default: the first\n"
    "                            frames), --svg-width PIXELS (default 1400, also the plot's)\n"
    "  --plot FILE               the position over time per slave, CRC errors, nErr, nWarn and\n"
    "                            broken frames marked; --plot-value position|single-turn|multi-turn,\n"
    "                            --plot-range RANGE (default: the decoded range)\n";

bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string& value, std::string& error) {
    if (i + 1 >= args.size()) {
        error = "missing value after " + args[i];
        return false;
    }
    value = args[++i];
    return true;
}

bool ParseCount(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

bool ParseRangeOption(const std::string& option, const std::string& text, RangeArg& range,
                      std::string& error) {
    if (ParseRange(text, range, error)) return true;
    error = option + ": " + error;
    return false;
}

void PrintHelp(std::FILE* out, bool commands) {
    if (commands)
        std::fputs(kCommands, out);
    else
        std::fputs("usage: zbhost [decode] CAPTURE [options]\n\n", out);
    std::fputs(kDecodeOptions, out);
    std::fputs(SettingsHelp(), out);
}

// Reads a capture and tells what it holds, without the plug-in (a reader check and timing aid).
int RunRead(const std::vector<std::string>& args) {
    DecodeRequest r;
    std::string error;
    try {
        if (!ParseDecodeArgs(args, r, error)) {
            std::fprintf(stderr, "zbhost: %s\n", error.c_str());
            return 2;
        }
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s\n", e.what());
        return 2;
    }
    uint64_t changes = 0;
    int64_t last = -1;
    uint64_t rate = 0;
    try {
        const std::unique_ptr<ChangeStream> stream = OpenCapture(r.capturePath, r.format, r.read);
        ChangeBlock block;
        while (stream->Next(block)) changes += block.Size();
        last = stream->LastSample();
        rate = stream->SampleRate();
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s: %s\n", r.capturePath.c_str(), e.what());
        return 1;
    }
    std::printf("%s: %lld samples at %llu Hz, %llu changes of MA and SLO\n", r.capturePath.c_str(),
                static_cast<long long>(last + 1), static_cast<unsigned long long>(rate),
                static_cast<unsigned long long>(changes));
    return 0;
}

bool LoadPlugin(const std::string& path, PluginLibrary& plugin) {
    std::string error;
    if (plugin.Load(path, error)) return true;
    std::fprintf(stderr, "zbhost: %s\n", error.c_str());
    return false;
}

void PrintPluginName(const PluginExports& x) {
    if (x.GetPluginInfo) {
        zb::PluginInfo info{};
        const uint32_t channels = x.GetPluginInfo(&info);
        info.name[sizeof info.name - 1] = '\0';
        std::printf("name:         %s (%u inputs)\n", info.name, channels);
    }
    if (x.GetDisplayName) {
        char name[32] = {};
        x.GetDisplayName(name);
        name[31] = '\0';
        std::printf("display name: %s\n", name);
    }
}

int RunInfo(const std::vector<std::string>& args) {
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (args[i] == "--plugin" && TakeValue(args, i, path, error)) continue;
        std::fprintf(stderr, "zbhost: unknown argument %s\n", args[i].c_str());
        return 2;
    }
    if (path.empty()) path = PluginLibrary::DefaultPath();
    PluginLibrary plugin;
    if (!LoadPlugin(path, plugin)) return 1;
    const PluginExports& x = plugin.Exports();
    std::printf("plug-in:      %s\n", path.c_str());
    PrintPluginName(x);
    if (x.GetReportColumnStr && x.DefaultSettings) {
        SampleSource empty{bissgen::Capture{}};
        HostSession session(x, empty);
        x.DefaultSettings(&session.Record());
        std::printf("columns:      %s\n", session.ColumnHeader().c_str());
    }
    return 0;
}

int RunVersion() {
    std::printf("%s\n", kVersion);
    const std::string path = PluginLibrary::DefaultPath();
    PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(path, error)) {
        std::printf("plug-in:      none loaded (%s)\n", error.c_str());
        return 0;
    }
    std::printf("plug-in:      %s\n", path.c_str());
    PrintPluginName(plugin.Exports());
    return 0;
}

}  // namespace

ReadOptions DecodeRequest::AutoChannels() {
    ReadOptions o;
    o.ma = kAutoChannel;
    o.slo = kAutoChannel;
    return o;
}

bool ParseDecodeArgs(const std::vector<std::string>& args, DecodeRequest& r, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        uint64_t n = 0;
        if (a.size() > 2 && a.compare(0, 2, "--") == 0 && IsSettingName(a.substr(2))) {
            if (!TakeValue(args, i, v, error)) return false;
            r.settings.emplace_back(a.substr(2), v);
        } else if (a == "--defaults") {
            r.useDefaultsExport = true;
        } else if (a == "--format") {
            if (!TakeValue(args, i, v, error)) return false;
            r.format = ParseFormatName(v);
        } else if (a == "--ma" || a == "--slo") {
            if (!TakeValue(args, i, v, error)) return false;
            if (v.empty()) {
                error = a + " needs a channel name or number";
                return false;
            }
            (a == "--ma" ? r.read.ma : r.read.slo) = v;
        } else if (a == "--samplerate") {
            if (!TakeValue(args, i, v, error)) return false;
            r.read.sampleRate = ParseSampleRate(v);
            if (r.read.sampleRate == 0) {
                error = "bad sample rate '" + v + "'";
                return false;
            }
        } else if (a == "--unitsize") {
            if (!TakeValue(args, i, v, error)) return false;
            if (!ParseCount(v, n) || n < 1 || n > 8) {
                error = "bad --unitsize '" + v + "' (1..8 bytes per sample)";
                return false;
            }
            r.read.unitSize = static_cast<unsigned>(n);
        } else if (a == "--memory-limit") {
            if (!TakeValue(args, i, v, error)) return false;
            if (!ParseCount(v, n) || n < 1 || n > (uint64_t{1} << 20)) {
                error = "bad --memory-limit '" + v + "' (MiB, at least 1)";
                return false;
            }
            r.memoryLimit = n << 20;
        } else if (a == "--range") {
            if (!TakeValue(args, i, v, error) || !ParseRangeOption(a, v, r.range, error)) return false;
        } else if (a == "--plugin") {
            if (!TakeValue(args, i, r.pluginPath, error)) return false;
        } else if (a == "--temp-dir") {
            if (!TakeValue(args, i, r.tempDir, error)) return false;
            if (r.tempDir.empty()) {
                error = "--temp-dir needs a directory";
                return false;
            }
        } else if (a == "--short-labels") {
            r.hostFlags |= zb::HostFlag::kShortLabels;
        } else if (a == "--utf8") {
            r.hostFlags |= zb::HostFlag::kUtf8;
        } else if (a == "--gray-to") {
            r.hostFlags |= zb::HostFlag::kToGray;
        } else if (a == "--gray-from") {
            r.hostFlags |= zb::HostFlag::kFromGray;
        } else if (a == "--no-progress") {
            r.progress = false;
        } else if (a == "--quiet") {
            r.quiet = true;
        } else if (a == "--labels") {
            if (!TakeValue(args, i, r.labelsPath, error)) return false;
        } else if (a == "--labels-format") {
            if (!TakeValue(args, i, v, error)) return false;
            if (v != "text" && v != "csv") {
                error = "bad --labels-format '" + v + "'";
                return false;
            }
            r.labelsFormat = v == "csv" ? LabelFormat::Csv : LabelFormat::Text;
        } else if (a == "--report") {
            if (!TakeValue(args, i, r.reportPath, error)) return false;
        } else if (a == "--report-csv") {
            if (!TakeValue(args, i, r.reportCsvPath, error)) return false;
        } else if (a == "--report-colours") {
            r.reportColours = true;
        } else if (a == "--report-via") {
            if (!TakeValue(args, i, v, error)) return false;
            if (v != "block" && v != "callback") {
                error = "bad --report-via '" + v + "' (block or callback)";
                return false;
            }
            r.reportVia = v == "block" ? ReportVia::Block : ReportVia::Callback;
        } else if (a == "--summary") {
            if (!TakeValue(args, i, r.summaryPath, error)) return false;
        } else if (a == "--frames") {
            if (!TakeValue(args, i, r.framesPath, error)) return false;
        } else if (a == "--svg") {
            if (!TakeValue(args, i, r.svgPath, error)) return false;
        } else if (a == "--svg-width") {
            if (!TakeValue(args, i, v, error)) return false;
            if (!ParseCount(v, n) || n < 200 || n > 100000) {
                error = "bad --svg-width '" + v + "' (200..100000 pixels)";
                return false;
            }
            r.svgWidth = static_cast<double>(n);
        } else if (a == "--svg-range") {
            if (!TakeValue(args, i, v, error) || !ParseRangeOption(a, v, r.svgRange, error)) return false;
        } else if (a == "--plot") {
            if (!TakeValue(args, i, r.plotPath, error)) return false;
        } else if (a == "--plot-value") {
            if (!TakeValue(args, i, v, error)) return false;
            if (!ParsePlotValue(v, r.plotValue)) {
                error = "bad --plot-value '" + v + "' (position, single-turn or multi-turn)";
                return false;
            }
        } else if (a == "--plot-range") {
            if (!TakeValue(args, i, v, error) || !ParseRangeOption(a, v, r.plotRange, error)) return false;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            error = "unknown option " + a;
            return false;
        } else if (r.capturePath.empty()) {
            r.capturePath = a;
        } else {
            error = "more than one capture file given";
            return false;
        }
    }
    if (r.capturePath.empty()) {
        error = "no capture file given";
        return false;
    }
    return true;
}

int RunApp(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(args.empty() ? stderr : stdout, true);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") return RunVersion();
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "demo") return RunDemo(rest);
    if (command == "generate") return RunGenerate(rest);
    if (command == "read") return RunRead(rest);
    if (command == "info") return RunInfo(rest);
    if (command == "decode") args.erase(args.begin());
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            PrintHelp(stdout, false);
            return 0;
        }
    }
    DecodeRequest request;
    std::string error;
    try {
        if (!ParseDecodeArgs(args, request, error)) {
            std::fprintf(stderr, "zbhost: %s (zbhost decode --help lists the options)\n", error.c_str());
            return 2;
        }
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s\n", e.what());
        return 2;
    }
    return RunDecode(request);
}

}  // namespace zbhost
