// The decode command's flow: open every output under a temporary name and make the plug-in's
// temporary directory (so a missing directory fails at once, not after the decode), open the
// capture, resolve the positions given as times, load the plug-in, write the settings into a host
// record, send the temporary directory (host message 0), call Analysis (which reads the capture
// through the sample source as it decodes), print the summary, write the outputs and give them
// their names.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>

#include "app.h"
#include "frames_table.h"
#include "report_stream.h"
#include "report_table.h"
#include "safe_output.h"
#include "summary.h"

namespace zbhost {

namespace {

constexpr uint32_t kTempDirMessage = 0;
constexpr int kInterruptedStatus = 130;
// The first changes of a capture kept for a picture whose range is chosen from the capture's start
// (more than the default picture spans).
constexpr size_t kPictureStartChanges = 1000;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One requested output and the text that fills it once the decode is done.
struct Output {
    const char* option = "";
    std::string path;
    OutputFile file;
};

// The outputs of a request, opened before anything is read; the same file twice is refused.
class Outputs {
  public:
    enum Which { kLabels, kReport, kReportCsv, kSvg, kSummary, kFrames, kPlot, kCount };

    bool Open(const DecodeRequest& r, std::string& error) {
        const bool any = !r.reportPath.empty() || !r.reportCsvPath.empty() || !r.labelsPath.empty() ||
                         !r.svgPath.empty() || !r.summaryPath.empty() || !r.framesPath.empty() ||
                         !r.plotPath.empty();
        const std::pair<const char*, std::string> wanted[kCount] = {
            {"--labels", any ? r.labelsPath : std::string("-")},
            {"--report", r.reportPath},
            {"--report-csv", r.reportCsvPath},
            {"--svg", r.svgPath},
            {"--summary", r.summaryPath},
            {"--frames", r.framesPath},
            {"--plot", r.plotPath}};
        for (int k = 0; k < kCount; ++k) {
            outputs_[k] = std::make_unique<Output>();
            outputs_[k]->option = wanted[k].first;
            outputs_[k]->path = wanted[k].second;
            const std::string& path = outputs_[k]->path;
            if (path.empty()) continue;
            if (path == r.capturePath) {
                error = std::string(wanted[k].first) + " names the capture '" + path + "' itself";
                return false;
            }
            for (int j = 0; j < k; ++j) {
                if (outputs_[j]->path == path && path != "-") {
                    error = std::string(wanted[j].first) + " and " + wanted[k].first +
                            " name the same file '" + path + "'";
                    return false;
                }
            }
            if (!outputs_[k]->file.Open(path, error)) return false;
        }
        return true;
    }
    bool Wanted(Which w) const { return outputs_[w] && outputs_[w]->file.IsOpen(); }
    bool OnStandardOutput(Which w) const { return Wanted(w) && outputs_[w]->path == "-"; }
    // How many of the outputs go to standard output (they must then be written one after another).
    int OnStandardOutput() const {
        int n = 0;
        for (const auto& o : outputs_) n += o && o->file.IsOpen() && o->path == "-" ? 1 : 0;
        return n;
    }
    std::ostream& Stream(Which w) { return outputs_[w]->file.Stream(); }
    // Renames every output to its name; false (with the first failure) when one could not be.
    bool CommitAll(std::string& error) {
        bool ok = true;
        for (auto& o : outputs_) {
            std::string why;
            if (o && o->file.IsOpen() && !o->file.Commit(why) && ok) {
                error = why;
                ok = false;
            }
        }
        return ok;
    }

  private:
    std::unique_ptr<Output> outputs_[kCount];
};

// Cursor positions may be times: they become samples once the capture's rate is known. --range
// becomes cursors D and E and the decode range between them.
bool ResolveSettings(const DecodeRequest& r, uint64_t sampleRate, int64_t lastSample,
                     std::vector<SettingArg>& settings, std::string& error) {
    settings.clear();
    bool explicitRange = false;
    for (const SettingArg& s : r.settings) {
        explicitRange |= s.first == "range-from" || s.first == "range-to";
        const size_t eq = s.second.find('=');
        if (s.first != "cursor" || eq == std::string::npos) {
            settings.push_back(s);
            continue;
        }
        PositionArg p;
        int64_t samples = 0;
        if (!ParsePosition(s.second.substr(eq + 1), false, p, error) ||
            !ResolvePosition(p, sampleRate, "--cursor", samples, error)) {
            error = "--cursor " + s.second + ": " + error;
            return false;
        }
        settings.emplace_back("cursor", s.second.substr(0, eq + 1) + std::to_string(samples));
    }
    if (!r.range.given) return true;
    if (explicitRange) {
        error = "--range and --range-from/--range-to exclude each other";
        return false;
    }
    int64_t from = 0, to = 0;
    if (!ResolveRange(r.range, sampleRate, lastSample, "--range", from, to, error)) return false;
    settings.insert(settings.end(), {{"cursor", "D=" + std::to_string(from)},
                                     {"cursor", "E=" + std::to_string(to)},
                                     {"range-from", "D"},
                                     {"range-to", "E"}});
    return true;
}

// Opens the capture; its changes are read as the decode asks for them.
std::unique_ptr<SampleSource> OpenTheCapture(const DecodeRequest& r) {
    ForgetChannelPicks();
    try {
        return std::make_unique<SampleSource>(OpenCapture(r.capturePath, r.format, r.read), r.memoryLimit);
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "zbhost: %s: %s\n", r.capturePath.c_str(), e.what());
        return nullptr;
    }
}

// The last sample that positions are checked against before the decode. A capture read as a
// stream (VCD, CSV, raw samples) tells its length only at its end: until then a range may reach
// anywhere, and an open end means the capture's end.
int64_t KnownLastSample(const SampleSource& source) {
    return source.LengthKnown() ? source.LastSample() : INT64_MAX / 2;
}

int Decode(const DecodeRequest& r) {
    std::string error;
    auto fail = [&](int status) {
        std::fprintf(stderr, "zbhost: %s\n", error.c_str());
        return status;
    };
    Outputs outputs;
    if (!outputs.Open(r, error)) return fail(1);
    PrivateTempDir tempDir;
    if (!tempDir.Create(r.tempDir, error)) return fail(1);

    const std::unique_ptr<SampleSource> opened = OpenTheCapture(r);
    if (!opened) return 1;
    SampleSource& source = *opened;
    ThrowIfInterrupted();
    const uint64_t rate = source.SampleRate();
    std::vector<SettingArg> settingArgs;
    int64_t svgFrom = -1, svgTo = -1;
    if (!ResolveSettings(r, rate, KnownLastSample(source), settingArgs, error)) return fail(2);
    if (r.svgRange.given &&
        !ResolveRange(r.svgRange, rate, KnownLastSample(source), "--svg-range", svgFrom, svgTo, error))
        return fail(2);
    // A picture needs the changes over its range after the decode; they are kept as they pass.
    if (outputs.Wanted(Outputs::kSvg)) source.KeepForPicture(svgFrom, svgTo, kPictureStartChanges);

    // The plug-in is unloaded (and its stores delete their files) before the directory goes.
    PluginLibrary plugin;
    if (!plugin.Load(r.pluginPath.empty() ? PluginLibrary::DefaultPath() : r.pluginPath, error))
        return fail(1);
    const PluginExports& x = plugin.Exports();
    x.SetMsgInfo(kTempDirMessage, tempDir.Path().c_str());

    HostSession session(x, source);
    session.ShowProgress(r.progress);
    HostSettings settings;
    if (r.useDefaultsExport) {
        if (x.DefaultSettings == nullptr) {
            error = "the plug-in has no DefaultSettings export";
            return fail(1);
        }
        x.DefaultSettings(&session.Record());
        settings.LoadFrom(session.Record());
    }
    for (const auto& s : settingArgs) {
        if (!settings.Apply(s, error)) return fail(2);
    }
    settings.SetHostFlags(r.hostFlags);
    settings.StoreInto(session.Record());

    const int32_t singleTurnBits = settings.Block().singleTurnBits;
    const bool wantReport = outputs.Wanted(Outputs::kReport) || outputs.Wanted(Outputs::kReportCsv);
    const ReportVia via = wantReport ? r.reportVia : ReportVia::None;
    // Through the row callback the report is written out while the plug-in builds it, unless it
    // shares standard output with another output, which would then have to wait behind it.
    const bool reportOnStandardOutput =
        outputs.OnStandardOutput(Outputs::kReport) || outputs.OnStandardOutput(Outputs::kReportCsv);
    std::unique_ptr<ReportStream> reportStream;
    if (via == ReportVia::Callback && !(reportOnStandardOutput && outputs.OnStandardOutput() > 1)) {
        reportStream = std::make_unique<ReportStream>(
            outputs.Wanted(Outputs::kReport) ? &outputs.Stream(Outputs::kReport) : nullptr,
            outputs.Wanted(Outputs::kReportCsv) ? &outputs.Stream(Outputs::kReportCsv) : nullptr,
            r.reportColours);
        session.StreamReportTo(reportStream.get());
    }
    const auto start = std::chrono::steady_clock::now();
    if (!session.Analyse(via, error)) {
        ThrowIfInterrupted();
        return fail(1);
    }
    const std::string reportError = reportStream ? reportStream->Finish() : std::string();
    const ReadStats stats = source.Stats();
    // The capture is read while the plug-in decodes: the decode's own time is what it did not
    // spend waiting for the readers.
    const double decodeSeconds = std::max(0.0, SecondsSince(start) - stats.waitSeconds);
    const DecodeLayout layout = LayoutAfterDecode(session.Record());
    const RecordView records = session.Records();

    DecodeSummary summary = Summarise(records, layout, LastChannelPicks(), stats, decodeSeconds);
    summary.capture = r.capturePath;
    // The plug-in fits the single-turn bits into the configured length before it detects one.
    if (layout.singleTurnSetting < singleTurnBits && layout.mode == ViewMode::SingleCycle) {
        summary.notes.push_back(
            "the single-turn bits were cut from " + std::to_string(singleTurnBits) + " to " +
            std::to_string(layout.singleTurnSetting) +
            " to fit the configured data length; with --data-length auto give the length as "
            "well (--data-length N --data-length auto) to keep them");
    }
    if (!r.quiet) PrintSummary(summary, stderr);
    // Ranges of the pictures are checked against the capture's length, now that it is known.
    const int64_t lastSample = source.LastSample() >= 0 ? source.LastSample() : KnownLastSample(source);
    int64_t plotFrom = 0, plotTo = 0;
    if (r.plotRange.given &&
        !ResolveRange(r.plotRange, rate, lastSample, "--plot-range", plotFrom, plotTo, error))
        return fail(2);
    if (r.svgRange.given && !ResolveRange(r.svgRange, rate, lastSample, "--svg-range", svgFrom, svgTo, error))
        return fail(2);
    if (outputs.Wanted(Outputs::kPlot) && !CanPlot(layout, r.plotValue, error)) return fail(2);

    if (outputs.Wanted(Outputs::kSummary)) WriteSummaryJson(summary, outputs.Stream(Outputs::kSummary));
    // The frames table and the report read only the published records and the report text; they
    // are written on a second thread while the labels, which ask the plug-in for every record, are
    // written here (one after the other when two of them go to standard output).
    auto writeTables = [&]() -> std::string {
        std::string why;
        if (outputs.Wanted(Outputs::kFrames)) {
            const TableFormat format = TableFormatFor(r.framesPath);
            WriteFramesTable(records, layout, format, outputs.Stream(Outputs::kFrames));
        }
        if (reportStream) return why;  // written as it arrived
        if (outputs.Wanted(Outputs::kReport)) outputs.Stream(Outputs::kReport) << session.Report();
        // Row by row: the report of a long capture has millions of rows.
        if (outputs.Wanted(Outputs::kReportCsv) &&
            !WriteReportCsv(session.Report(), outputs.Stream(Outputs::kReportCsv), r.reportColours, why))
            why = "the report cannot be read: " + why;
        return why;
    };
    const bool tablesAside =
        outputs.Wanted(Outputs::kLabels) && outputs.OnStandardOutput() < 2 &&
        (outputs.Wanted(Outputs::kFrames) ||
         (!reportStream && (outputs.Wanted(Outputs::kReport) || outputs.Wanted(Outputs::kReportCsv))));
    std::future<std::string> tables;
    if (tablesAside) tables = std::async(std::launch::async, writeTables);
    if (outputs.Wanted(Outputs::kLabels))
        WriteLabels(session, rate, r.labelsFormat, outputs.Stream(Outputs::kLabels));
    error = tablesAside ? tables.get() : writeTables();
    if (error.empty()) error = reportError;
    if (!error.empty()) return fail(1);
    ThrowIfInterrupted();
    if (outputs.Wanted(Outputs::kSvg)) {
        SvgRange range;
        range.from = svgFrom;
        range.to = svgTo;
        range.width = r.svgWidth;
        const bissgen::Capture picture = source.Picture();
        if (!source.Failure().empty()) {
            error = r.capturePath + ": " + source.Failure();
            return fail(1);
        }
        WriteSvg(session, picture, range, outputs.Stream(Outputs::kSvg));
    }
    if (outputs.Wanted(Outputs::kPlot)) {
        PlotOptions plot;
        plot.value = r.plotValue;
        plot.width = r.svgWidth;
        plot.from = plotFrom;
        plot.to = plotTo;
        WritePositionPlot(records, layout, plot, outputs.Stream(Outputs::kPlot));
    }
    ThrowIfInterrupted();
    if (!outputs.CommitAll(error)) return fail(1);
    return 0;
}

}  // namespace

int RunDecode(const DecodeRequest& r) {
    InstallInterruptCleanup();
    try {
        return Decode(r);
    } catch (const Interrupted&) {
        // Only where the handler cannot clean up by itself: the outputs and the plug-in's
        // directory have been removed on the way out.
        std::fprintf(stderr, "\nzbhost: interrupted; partial outputs and temporary files removed\n");
        return kInterruptedStatus;
    }
}

}  // namespace zbhost
