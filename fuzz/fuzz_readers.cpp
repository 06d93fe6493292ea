// Fuzz target: zbhost's capture readers with arbitrary files: VCD and CSV text, raw samples, raw
// bytes as a sigrok session file, and well-formed session archives whose metadata and sample
// members are arbitrary. A reader either fails with a CaptureError or yields a capture a host can
// serve: changes in strictly increasing positions from 0, each a change of MA or SLO, the last
// sample not before the last change. A text capture is then served through a sample source with a
// tiny window, whose answers to random queries must be those of the whole change list.
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "capture_readers.h"
#include "fuzz_input.h"
#include "sample_source.h"

namespace {

// The archive the srzip cases are written to, one per process; removed after each input.
const std::string& TempPath() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        return std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/zbfuzz_reader_" +
               std::to_string(getpid()) + ".sr";
    }();
    return path;
}

struct RemoveTempFile {
    ~RemoveTempFile() { std::remove(TempPath().c_str()); }
};

// A session archive holding `metadata` and the sample bytes in one member or in two chunks.
bool WriteArchive(const std::string& path, const std::string& metadata, const std::string& samples,
                  int layout) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (z == nullptr) return false;
    auto add = [&](const char* name, const std::string& bytes) {
        zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
        if (src == nullptr) return;
        const zip_int64_t index = zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(src);
            return;
        }
        zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    };
    static const std::string kVersion = "2";  // libzip reads the buffers at zip_close
    add("version", kVersion);
    add("metadata", metadata);
    const size_t half = samples.size() / 2;
    const std::string first = samples.substr(0, half), second = samples.substr(half);
    if (layout == 0) {
        add("logic-1", samples);
    } else if (layout == 1) {
        add("logic-1-1", samples);
    } else {
        add("logic-1-1", first);
        add("logic-1-2", second);
    }
    return zip_close(z) == 0;
}

void Check(const bissgen::Capture& c) {
    for (size_t i = 0; i < c.changes.size(); ++i) {
        const bissgen::Change& ch = c.changes[i];
        ZB_FUZZ_CHECK2(ch.ma <= 1 && ch.slo <= 1, ch.ma, ch.slo);
        if (i == 0) {
            ZB_FUZZ_CHECK2(ch.position == 0, ch.position, 0);
        } else {
            const bissgen::Change& before = c.changes[i - 1];
            ZB_FUZZ_CHECK2(ch.position > before.position, ch.position, before.position);
            ZB_FUZZ_CHECK(ch.ma != before.ma || ch.slo != before.slo);
        }
    }
    if (!c.changes.empty())
        ZB_FUZZ_CHECK2(c.lastSample >= c.changes.back().position, c.lastSample, c.changes.back().position);
}

// Queries at pseudo-random positions (and the steps after them) against the list.
void CheckSource(const std::string& bytes, zbhost::CaptureFormat format, const zbhost::ReadOptions& options,
                 const bissgen::Capture& c, uint32_t seed) {
    if (c.changes.empty()) return;
    zbhost::SampleSource source(zbhost::OpenCaptureBytes(bytes, format, options), 1);
    const auto& ch = c.changes;
    for (int q = 0; q < 16; ++q) {
        seed = seed * 1103515245u + 12345u;
        int64_t pos = static_cast<int64_t>(seed % static_cast<uint32_t>(c.lastSample + 2));
        for (int step = 0; step < 8; ++step) {
            uint8_t levels = 0;
            const uint64_t next = source.Query(pos, levels);
            size_t i = 0;
            while (i + 1 < ch.size() && ch[i + 1].position <= pos) ++i;
            ZB_FUZZ_CHECK2((levels & 3) == zbhost::PackLevels(ch[i].ma, ch[i].slo), levels, pos);
            if (i + 1 < ch.size()) {
                ZB_FUZZ_CHECK2(next == static_cast<uint64_t>(ch[i + 1].position), next, pos);
            } else {
                // The end of a capture whose length the reader learns at its end: one marked change
                // at the last sample.
                const bool atEnd = pos >= c.lastSample;
                ZB_FUZZ_CHECK2(((levels & zbhost::SampleSource::kEndMark) != 0) == atEnd, levels, pos);
                ZB_FUZZ_CHECK2(next == (atEnd ? zbhost::SampleSource::kNoFurtherChange
                                              : static_cast<uint64_t>(c.lastSample)),
                               next, pos);
            }
            if (next == zbhost::SampleSource::kNoFurtherChange) break;
            pos = static_cast<int64_t>(next);
        }
    }
    ZB_FUZZ_CHECK(source.Failure().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::FuzzInput in(data, size);
    const uint8_t format = in.U8() % 5;
    zbhost::ReadOptions options;
    options.ma = in.Text(6);
    options.slo = in.Text(6);
    if (options.ma.empty()) options.ma = "0";
    if (options.slo.empty()) options.slo = "1";
    options.sampleRate = (in.U8() & 1) ? in.U32() : 0;
    options.unitSize = 1 + in.U8() % 8;
    options.threads = 1 + in.U8() % 2;
    const uint32_t seed = in.U32();
    try {
        if (format <= 2) {
            const std::string bytes = in.Rest();
            const auto kind = format == 0   ? zbhost::CaptureFormat::Vcd
                              : format == 1 ? zbhost::CaptureFormat::Csv
                                            : zbhost::CaptureFormat::Binary;
            const bissgen::Capture capture = zbhost::ReadAll(*zbhost::OpenCaptureBytes(bytes, kind, options));
            Check(capture);
            CheckSource(bytes, kind, options, capture, seed);
        } else if (format == 3) {
            const RemoveTempFile cleanup;
            std::ofstream(TempPath(), std::ios::binary | std::ios::trunc) << in.Rest();
            Check(zbhost::ReadCapture(TempPath(), zbhost::CaptureFormat::Srzip, options));
        } else {
            const int layout = in.U8() % 3;
            const uint16_t metaSize = in.U16();
            const std::string rest = in.Rest();
            const size_t split = rest.empty() ? 0 : metaSize % (rest.size() + 1);
            const RemoveTempFile cleanup;
            if (!WriteArchive(TempPath(), rest.substr(0, split), rest.substr(split), layout)) return 0;
            Check(zbhost::ReadCapture(TempPath(), zbhost::CaptureFormat::Srzip, options));
        }
    } catch (const zbhost::CaptureError&) {
        // A clear refusal is a valid outcome.
    }
    return 0;
}
