// The decode command: open the capture, load the plug-in, write the settings into a host record,
// send the temporary directory (host message 0), call Analysis (which reads the capture through the
// sample source as it decodes), then list labels, write the report and draw the SVG.
#include "app.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "report_table.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zbhost {

namespace {

constexpr uint32_t kTempDirMessage = 0;
// The first changes of a capture kept for a picture whose range is chosen from the capture's start
// (more than the default picture spans).
constexpr size_t kPictureStartChanges = 1000;
constexpr size_t kTempDirMax = 259;

const char* kUsage =
    "usage: zbhost [decode] CAPTURE [options]     decode a capture (.sr, .vcd, .csv, .bin; - for stdin)\n"
    "       zbhost demo [--out DIR]               make, decode and draw a built-in example\n"
    "       zbhost read CAPTURE [capture options] read a capture only and count its changes\n"
    "       zbhost info [--plugin PATH]           show what the plug-in says about itself\n"
    "       zbhost generate OUT [options]         write bulk example traffic (zbhost generate for help)\n"
    "\n"
    "Capture:\n"
    "  --format auto|sr|vcd|csv|binary   reader (default: by extension; standard input needs it)\n"
    "  --ma CH, --slo CH         channel by probe name or 0-based number (default 0 and 1)\n"
    "  --samplerate RATE         e.g. 200MHz: turns VCD/CSV times into samples; the rate of binary input\n"
    "  --unitsize N              binary input: bytes per sample, 1..8 (default 1)\n"
    "  --memory-limit MIB        changes kept for the decode's second walk over piped input (default 128)\n"
    "Host:\n"
    "  --plugin PATH             the plug-in (default: ZbBiSS64 next to zbhost)\n"
    "  --temp-dir DIR            directory for the plug-in's temporary files (host message 0)\n"
    "  --short-labels --utf8 --gray-to --gray-from   host flags\n"
    "  --no-progress             no progress bar (it is shown only on a terminal anyway)\n"
    "Outputs (without any: labels as text on standard output):\n"
    "  --labels FILE|-           records with their labels; --labels-format text|csv\n"
    "  --report FILE             the report's wire text\n"
    "  --report-csv FILE         the report as CSV; --report-colours adds each cell's colour\n"
    "  --report-via block|callback   named shared-memory block (default) or row callback\n"
    "  --svg FILE                MA and SLO with the labels; --svg-range FROM:TO in samples,\n"
    "                            --svg-width PIXELS (default 1400)\n";

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

std::string DefaultTempDir() {
#if defined(_WIN32)
    char buf[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof buf, buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
#else
    const char* t = std::getenv("TMPDIR");
    std::string dir = t && *t ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
#endif
}

// Opens `path` for writing, or standard output for "-".
class Output {
  public:
    bool Open(const std::string& path, std::string& error) {
        if (path == "-") {
            out_ = &std::cout;
            return true;
        }
        file_.open(path, std::ios::binary | std::ios::trunc);
        if (!file_) {
            error = "cannot write '" + path + "'";
            return false;
        }
        out_ = &file_;
        return true;
    }
    std::ostream& Stream() { return *out_; }
    bool Finish(const std::string& path, std::string& error) {
        out_->flush();
        if (!*out_) {
            error = "writing '" + path + "' failed";
            return false;
        }
        return true;
    }

  private:
    std::ofstream file_;
    std::ostream* out_ = nullptr;
};

}  // namespace

bool ParseDecodeArgs(const std::vector<std::string>& args, DecodeRequest& r, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
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
            uint64_t n = 0;
            if (!ParseCount(v, n) || n < 1 || n > 8) {
                error = "bad --unitsize '" + v + "' (1..8 bytes per sample)";
                return false;
            }
            r.read.unitSize = static_cast<unsigned>(n);
        } else if (a == "--memory-limit") {
            if (!TakeValue(args, i, v, error)) return false;
            uint64_t mib = 0;
            if (!ParseCount(v, mib) || mib < 1 || mib > (uint64_t{1} << 20)) {
                error = "bad --memory-limit '" + v + "' (MiB, at least 1)";
                return false;
            }
            r.memoryLimit = mib << 20;
        } else if (a == "--plugin") {
            if (!TakeValue(args, i, r.pluginPath, error)) return false;
        } else if (a == "--temp-dir") {
            if (!TakeValue(args, i, r.tempDir, error)) return false;
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
        } else if (a == "--svg") {
            if (!TakeValue(args, i, r.svgPath, error)) return false;
        } else if (a == "--svg-width") {
            if (!TakeValue(args, i, v, error)) return false;
            uint64_t w = 0;
            if (!ParseCount(v, w) || w < 200 || w > 100000) {
                error = "bad --svg-width '" + v + "' (200..100000 pixels)";
                return false;
            }
            r.svgRange.width = static_cast<double>(w);
        } else if (a == "--svg-range") {
            if (!TakeValue(args, i, v, error)) return false;
            const size_t colon = v.find(':');
            uint64_t from = 0, to = 0;
            if (colon == std::string::npos || !ParseCount(v.substr(0, colon), from) ||
                !ParseCount(v.substr(colon + 1), to) || to <= from) {
                error = "bad --svg-range '" + v + "' (FROM:TO in samples)";
                return false;
            }
            r.svgRange.from = static_cast<int64_t>(from);
            r.svgRange.to = static_cast<int64_t>(to);
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

int DecodeCapture(const DecodeRequest& r, SampleSource& source) {
    std::string error;
    PluginLibrary plugin;
    const std::string pluginPath = r.pluginPath.empty() ? PluginLibrary::DefaultPath() : r.pluginPath;
    if (!plugin.Load(pluginPath, error)) {
        std::fprintf(stderr, "zbhost: %s\n", error.c_str());
        return 1;
    }
    const PluginExports& x = plugin.Exports();

    // Host message 0: the directory for the plug-in's temporary files, ending in a separator.
    std::string tempDir = r.tempDir.empty() ? DefaultTempDir() : r.tempDir;
    if (!tempDir.empty() && tempDir.back() != '/' && tempDir.back() != '\\') tempDir += '/';
    if (tempDir.size() > kTempDirMax) {
        std::fprintf(stderr, "zbhost: temporary directory path longer than %zu characters\n", kTempDirMax);
        return 2;
    }
    x.SetMsgInfo(kTempDirMessage, tempDir.c_str());

    // A picture needs the changes over its range after the decode; they are kept as they pass.
    if (!r.svgPath.empty()) source.KeepForPicture(r.svgRange.from, r.svgRange.to, kPictureStartChanges);
    HostSession session(x, source);
    session.ShowProgress(r.progress);
    HostSettings settings;
    if (r.useDefaultsExport) {
        if (x.DefaultSettings == nullptr) {
            std::fprintf(stderr, "zbhost: the plug-in has no DefaultSettings export\n");
            return 1;
        }
        x.DefaultSettings(&session.Record());
        settings.LoadFrom(session.Record());
    }
    for (const auto& s : r.settings) {
        if (!settings.Apply(s, error)) {
            std::fprintf(stderr, "zbhost: %s\n", error.c_str());
            return 2;
        }
    }
    settings.SetHostFlags(r.hostFlags);
    settings.StoreInto(session.Record());

    const bool wantReport = !r.reportPath.empty() || !r.reportCsvPath.empty();
    const auto start = std::chrono::steady_clock::now();
    if (!session.Analyse(wantReport ? r.reportVia : ReportVia::None, error)) {
        std::fprintf(stderr, "zbhost: %s: %s\n", r.capturePath.c_str(), error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const ReadStats read = source.Stats();
    std::fprintf(stderr,
                 "zbhost: %u records from %lld samples (%llu changes) in %.3f s, of which %.3f s waiting for "
                 "the capture\n",
                 session.RecordCount(), static_cast<long long>(read.samples),
                 static_cast<unsigned long long>(read.changes), seconds, read.waitSeconds);

    bool ok = true;
    auto write = [&](const std::string& path, auto&& body) {
        if (path.empty()) return;
        Output out;
        if (!out.Open(path, error) || (body(out.Stream()), !out.Finish(path, error))) {
            std::fprintf(stderr, "zbhost: %s\n", error.c_str());
            ok = false;
        }
    };
    const bool anyOutput = wantReport || !r.labelsPath.empty() || !r.svgPath.empty();
    write(anyOutput ? r.labelsPath : std::string("-"),
          [&](std::ostream& o) { WriteLabels(session, source.SampleRate(), r.labelsFormat, o); });
    write(r.reportPath, [&](std::ostream& o) { o << session.Report(); });
    if (!r.reportCsvPath.empty()) {
        ReportTable table;
        if (!ParseReport(session.Report(), table, error)) {
            std::fprintf(stderr, "zbhost: the report cannot be read: %s\n", error.c_str());
            ok = false;
        } else {
            write(r.reportCsvPath, [&](std::ostream& o) { WriteReportCsv(table, o, r.reportColours); });
        }
    }
    if (!r.svgPath.empty()) {
        const bissgen::Capture picture = source.Picture();
        if (!source.Failure().empty()) {
            std::fprintf(stderr, "zbhost: %s: %s\n", r.capturePath.c_str(), source.Failure().c_str());
            return 1;
        }
        write(r.svgPath, [&](std::ostream& o) { WriteSvg(session, picture, r.svgRange, o); });
    }
    return ok ? 0 : 1;
}

int RunDecode(const DecodeRequest& r) {
    std::unique_ptr<ChangeStream> stream;
    try {
        stream = OpenCapture(r.capturePath, r.format, r.read);
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s: %s\n", r.capturePath.c_str(), e.what());
        return 1;
    }
    SampleSource source(std::move(stream), r.memoryLimit);
    return DecodeCapture(r, source);
}

// Reads a capture and tells what it holds, without the plug-in (a reader check and timing aid).
static int RunRead(const std::vector<std::string>& args) {
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

static int RunInfo(const std::vector<std::string>& args) {
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (args[i] == "--plugin" && TakeValue(args, i, path, error)) continue;
        std::fprintf(stderr, "zbhost: unknown argument %s\n", args[i].c_str());
        return 2;
    }
    if (path.empty()) path = PluginLibrary::DefaultPath();
    PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(path, error)) {
        std::fprintf(stderr, "zbhost: %s\n", error.c_str());
        return 1;
    }
    const PluginExports& x = plugin.Exports();
    std::printf("plug-in:      %s\n", path.c_str());
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
    if (x.GetReportColumnStr && x.DefaultSettings) {
        SampleSource empty{bissgen::Capture{}};
        HostSession session(x, empty);
        x.DefaultSettings(&session.Record());
        std::printf("columns:      %s\n", session.ColumnHeader().c_str());
    }
    return 0;
}

int RunApp(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        std::fputs(SettingsHelp(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    if (command == "demo") return RunDemo(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "generate") return RunGenerate(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "read") return RunRead(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "info") return RunInfo(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "decode") args.erase(args.begin());
    DecodeRequest request;
    std::string error;
    try {
        if (!ParseDecodeArgs(args, request, error)) {
            std::fprintf(stderr, "zbhost: %s (zbhost --help lists the options)\n", error.c_str());
            return 2;
        }
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s\n", e.what());
        return 2;
    }
    return RunDecode(request);
}

}  // namespace zbhost
