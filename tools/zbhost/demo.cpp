// zbhost demo and zbhost generate. The demo makes the built-in example capture, writes it as a
// capture file, reads it back like any other file, decodes it through the plug-in and writes the
// labels, the report, the frames table, the summary and the SVG pictures. generate writes bulk example
// traffic for benchmarks.
#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app.h"
#include "bissgen/srzip.h"
#include "bissgen/vcd.h"
#include "capture_writers.h"
#include "traffic.h"

namespace zbhost {

namespace {

bool MakeDirectory(const std::string& dir) {
#if defined(_WIN32)
    _mkdir(dir.c_str());
#else
    mkdir(dir.c_str(), 0755);
#endif
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && (st.st_mode & S_IFDIR) != 0;
}

// Writes `capture` by the extension of `path`; false with a message.
bool WriteCaptureFile(const bissgen::Capture& capture, const std::string& path, std::string& error) {
    CaptureFormat format;
    try {
        format = FormatFromPath(path);
    } catch (const CaptureError& e) {
        error = e.what();
        return false;
    }
    if (format == CaptureFormat::Srzip) {
#if defined(BISSGEN_HAVE_SRZIP)
        return bissgen::WriteSrzip(path, capture, &error);
#else
        error = "this build writes no sigrok session files";
        return false;
#endif
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write '" + path + "'";
        return false;
    }
    if (format == CaptureFormat::Vcd) {
        bissgen::WriteVcd(out, capture);
    } else {
        WriteCsvTransitions(capture, out);
    }
    out.flush();
    if (!out) {
        error = "writing '" + path + "' failed";
        return false;
    }
    return true;
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
    std::string outDir = "out";
    std::string plugin;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--out" || args[i] == "--plugin") && i + 1 < args.size()) {
            (args[i] == "--out" ? outDir : plugin) = args[i + 1];
            ++i;
        } else {
            std::fprintf(stderr, "zbhost demo: unknown argument %s\n", args[i].c_str());
            return 2;
        }
    }
    if (!MakeDirectory(outDir)) {
        std::fprintf(stderr, "zbhost demo: cannot make the directory '%s'\n", outDir.c_str());
        return 1;
    }
    const bissgen::Generator traffic = MakeDemoTraffic();
    const bissgen::Capture generated = traffic.Finish();
    const std::string capturePath = outDir + (SrzipSupported() ? "/demo.sr" : "/demo.vcd");
    std::string error;
    if (!WriteCaptureFile(generated, capturePath, error)) {
        std::fprintf(stderr, "zbhost demo: %s\n", error.c_str());
        return 1;
    }

    DecodeRequest r;
    r.capturePath = capturePath;
    r.pluginPath = plugin;
    r.read.ma = "MA";
    r.read.slo = "SLO";
    r.read.sampleRate = generated.sampleRate;
    // The configured length gives the multi-turn/single-turn split; the length itself is detected.
    r.settings = {{"data-length", "25"},
                  {"data-length", "auto"},
                  {"st-bits", "13"},
                  {"crc-bits", "6"},
                  {"crc-poly", "43"}};
    r.labelsPath = outDir + "/labels.txt";
    r.reportPath = outDir + "/report.txt";
    r.reportCsvPath = outDir + "/report.csv";
    r.reportColours = false;
    r.svgPath = outDir + "/demo.svg";
    r.framesPath = outDir + "/frames.csv";
    r.summaryPath = outDir + "/summary.json";
    r.plotPath = outDir + "/positions.svg";
    // The picture shows the first frame; a second one the frame with the wrong CRC.
    const auto& frames = traffic.Frames();
    auto frameRange = [&](size_t k) {
        const int64_t period = static_cast<int64_t>(traffic.PeriodSamples());
        return SampleRange(
            std::max<int64_t>(0, frames[k].firstFall - 2 * period),
            (frames[k].rises.empty() ? frames[k].firstFall : frames[k].rises.back()) + 5 * period);
    };
    r.svgRange = frameRange(0);
    int status = RunDecode(r);
    if (status != 0) return status;

    DecodeRequest crcError = r;
    crcError.labelsPath.clear();
    crcError.reportPath.clear();
    crcError.reportCsvPath.clear();
    crcError.framesPath.clear();
    crcError.summaryPath.clear();
    crcError.plotPath.clear();
    crcError.svgPath = outDir + "/demo-crc-error.svg";
    crcError.svgRange = frameRange(3);
    crcError.progress = false;
    crcError.quiet = true;
    status = RunDecode(crcError);
    if (status != 0) return status;

    // The same capture seen as register traffic from the master's side.
    DecodeRequest master = r;
    master.settings.push_back({"mode", "master"});
    master.labelsPath = outDir + "/labels-master.txt";
    master.reportPath.clear();
    master.reportCsvPath = outDir + "/report-master.csv";
    master.framesPath = outDir + "/accesses-master.csv";
    master.summaryPath.clear();
    master.plotPath.clear();
    master.svgPath.clear();
    status = RunDecode(master);
    if (status != 0) return status;

    std::printf("capture:         %s\n", capturePath.c_str());
    std::printf("labels:          %s\n", r.labelsPath.c_str());
    std::printf("report (wire):   %s\n", r.reportPath.c_str());
    std::printf("report (CSV):    %s\n", r.reportCsvPath.c_str());
    std::printf("frames table:    %s\n", r.framesPath.c_str());
    std::printf("summary (JSON):  %s\n", r.summaryPath.c_str());
    std::printf("register report: %s\n", master.reportCsvPath.c_str());
    std::printf("register table:  %s\n", master.framesPath.c_str());
    std::printf("waveform (SVG):  %s\n", r.svgPath.c_str());
    std::printf("CRC error (SVG): %s\n", crcError.svgPath.c_str());
    std::printf("positions (SVG): %s\n", r.plotPath.c_str());
    return 0;
}

int RunGenerate(const std::vector<std::string>& args) {
    BulkTraffic spec;
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const char* v = hasValue ? args[i + 1].c_str() : "";
        if (a == "--frames" && hasValue)
            spec.frames = std::atoi(v), ++i;
        else if (a == "--samples" && hasValue)
            spec.minSamples = std::atoll(v), ++i;
        else if (a == "--clock" && hasValue)
            spec.clockHz = static_cast<double>(ParseSampleRate(v)), ++i;
        else if (a == "--samplerate" && hasValue)
            spec.sampleRate = ParseSampleRate(v), ++i;
        else if (a == "--registers-every" && hasValue)
            spec.registerEvery = std::atoi(v), ++i;
        else if (a == "--seed" && hasValue)
            spec.seed = std::strtoull(v, nullptr, 10), ++i;
        else if (a[0] != '-' && path.empty())
            path = a;
        else {
            std::fprintf(stderr, "zbhost generate: bad argument %s\n", a.c_str());
            return 2;
        }
    }
    if (path.empty() || spec.frames < 1 || spec.frames > 10000000 || spec.minSamples < 0 ||
        spec.clockHz <= 0 || spec.sampleRate == 0 || spec.registerEvery < 0) {
        std::fprintf(stderr,
                     "usage: zbhost generate OUT.sr|OUT.vcd|OUT.csv [--frames N] [--samples N] [--clock HZ]\n"
                     "                       [--samplerate HZ] [--registers-every N] [--seed N]\n");
        return 2;
    }
    const bissgen::Generator traffic = MakeBulkTraffic(spec);
    const bissgen::Capture capture = traffic.Finish();
    std::string error;
    if (!WriteCaptureFile(capture, path, error)) {
        std::fprintf(stderr, "zbhost generate: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "zbhost generate: %s: %zu frames, %zu register accesses, %lld samples, %zu changes\n",
                 path.c_str(), traffic.Frames().size(), traffic.Accesses().size(),
                 static_cast<long long>(capture.lastSample + 1), capture.changes.size());
    return 0;
}

}  // namespace zbhost
