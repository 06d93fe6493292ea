// Reads sigrok session files (srzip): a zip archive with an ini-style "metadata" member that
// describes the logic channels and the sample rate, and the raw samples in members named after
// "capturefile" ("logic-1-1", "logic-1-2", ... or one member "logic-1"). Opening reads the
// metadata and the members' sizes (so the sample count is known at once); the members are then
// inflated and scanned in parallel by the session stream.
#include <zip.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "capture_readers.h"
#include "session_stream.h"

namespace zbhost {

namespace {

constexpr zip_uint64_t kMaxMetadataBytes = 1 << 20;
constexpr int kMaxProbes = 64;
constexpr unsigned kMaxChunks = 10'000'000;

struct ArchiveCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct MemberCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Member = std::unique_ptr<zip_file_t, MemberCloser>;

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

struct Metadata {
    std::string captureFile;
    int probes = -1;
    int unitSize = -1;
    uint64_t sampleRate = 0;
    std::vector<std::string> names;  // index = channel number (probe N is channel N - 1)
};

bool ParseInt(const std::string& text, long lo, long hi, long& out) {
    if (text.empty() || text.size() > 12) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

// The ini text: sections in brackets, key=value lines. The logic device is the section that names
// a capturefile; the [global] section holds only the format version.
Metadata ParseMetadata(const std::string& text) {
    Metadata m;
    std::vector<std::pair<std::string, std::string>> device;
    std::vector<std::pair<std::string, std::string>> section;
    auto closeSection = [&]() {
        for (const auto& kv : section) {
            if (kv.first == "capturefile" && device.empty()) {
                device = section;
                break;
            }
        }
        section.clear();
    };
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            closeSection();
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) throw CaptureError("metadata: line without '=': " + line.substr(0, 60));
        section.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    closeSection();
    if (device.empty()) throw CaptureError("metadata names no capturefile (not a logic capture)");

    std::vector<std::pair<long, std::string>> probeNames;
    for (const auto& [key, value] : device) {
        long n = 0;
        if (key == "capturefile") {
            m.captureFile = value;
        } else if (key == "total probes") {
            if (!ParseInt(value, 1, kMaxProbes, n))
                throw CaptureError("metadata: bad total probes '" + value + "'");
            m.probes = static_cast<int>(n);
        } else if (key == "unitsize") {
            if (!ParseInt(value, 1, 8, n)) {
                throw CaptureError("metadata: unitsize '" + value + "' is not 1..8 bytes");
            }
            m.unitSize = static_cast<int>(n);
        } else if (key == "samplerate") {
            m.sampleRate = ParseSampleRate(value);
            if (m.sampleRate == 0) throw CaptureError("metadata: bad samplerate '" + value + "'");
        } else if (key.compare(0, 5, "probe") == 0) {
            if (!ParseInt(key.substr(5), 1, kMaxProbes, n))
                throw CaptureError("metadata: bad key '" + key + "'");
            probeNames.emplace_back(n, value);
        }
    }
    if (m.captureFile.empty() || m.captureFile.size() > 200) throw CaptureError("metadata: bad capturefile");
    if (m.probes < 0) throw CaptureError("metadata: no 'total probes'");
    if (m.unitSize < 0) m.unitSize = (m.probes + 7) / 8;
    if (m.probes > m.unitSize * 8) throw CaptureError("metadata: more probes than bits in a sample");
    m.names.assign(static_cast<size_t>(m.probes), std::string());
    for (const auto& [n, name] : probeNames) {
        if (n > m.probes) throw CaptureError("metadata: probe" + std::to_string(n) + " beyond total probes");
        m.names[static_cast<size_t>(n - 1)] = name;
    }
    return m;
}

std::string ZipMessage(zip_t* z) {
    return zip_error_strerror(zip_get_error(z));
}

std::string ReadMetadata(zip_t* z) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(z, "metadata", 0, &st) != 0)
        throw CaptureError("no 'metadata' member (not a sigrok session file)");
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > kMaxMetadataBytes)
        throw CaptureError("metadata member too large");
    Member f(zip_fopen(z, "metadata", 0));
    if (!f) throw CaptureError("cannot open metadata: " + ZipMessage(z));
    std::string text(static_cast<size_t>(st.size), '\0');
    const zip_int64_t got = zip_fread(f.get(), text.data(), st.size);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
        throw CaptureError("metadata member is damaged");
    return text;
}

}  // namespace

bool SrzipSupported() {
    return true;
}

std::unique_ptr<ChangeStream> OpenSrzip(const std::string& path, const ReadOptions& options) {
    int error = 0;
    Archive z(OpenArchive(path, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!z) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        const std::string message = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        throw CaptureError("cannot open '" + path + "' as a sigrok session: " + message);
    }
    const Metadata meta = ParseMetadata(ReadMetadata(z.get()));
    SessionLayout layout;
    layout.path = path;
    layout.unitSize = static_cast<unsigned>(meta.unitSize);
    layout.maBit = static_cast<unsigned>(ResolveChannel(options.ma, meta.names, "MA"));
    layout.sloBit = static_cast<unsigned>(ResolveChannel(options.slo, meta.names, "SLO"));
    layout.sampleRate = options.sampleRate != 0 ? options.sampleRate : meta.sampleRate;

    // The sample members in order: one member named like capturefile, or capturefile-1, -2, ...
    std::vector<std::pair<zip_int64_t, std::string>> names;
    const zip_int64_t single = zip_name_locate(z.get(), meta.captureFile.c_str(), 0);
    if (single >= 0) names.emplace_back(single, meta.captureFile);
    for (unsigned k = 1; k <= kMaxChunks && single < 0; ++k) {
        const std::string name = meta.captureFile + "-" + std::to_string(k);
        const zip_int64_t index = zip_name_locate(z.get(), name.c_str(), 0);
        if (index < 0) break;
        names.emplace_back(index, name);
    }
    if (names.empty()) throw CaptureError("no sample data member '" + meta.captureFile + "-1'");
    uint64_t bytes = 0;
    for (const auto& [index, name] : names) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(z.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0) {
            throw CaptureError("cannot read member '" + name + "': " + ZipMessage(z.get()));
        }
        const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
        if ((st.valid & needed) != needed) throw CaptureError("member '" + name + "' has no size or CRC");
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            throw CaptureError("member '" + name + "' is encrypted");
        }
        if (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE) {
            throw CaptureError("member '" + name + "' is compressed with method " +
                               std::to_string(st.comp_method) +
                               " (only stored and deflated members are read)");
        }
        // Every member holds whole samples, so that the members can be scanned each on its own.
        if (st.size % static_cast<zip_uint64_t>(meta.unitSize) != 0) {
            throw CaptureError("member '" + name + "' ends inside a sample");
        }
        SampleMember m;
        m.index = static_cast<uint64_t>(index);
        m.name = name;
        m.size = st.size;
        m.crc = st.crc;
        m.method = static_cast<uint16_t>(st.comp_method);
        m.firstSample = static_cast<int64_t>(bytes / static_cast<uint64_t>(meta.unitSize));
        if (st.size > (uint64_t{1} << 60) - bytes) throw CaptureError("the members hold too many samples");
        bytes += st.size;
        layout.members.push_back(std::move(m));
    }
    layout.samples = static_cast<int64_t>(bytes / static_cast<uint64_t>(meta.unitSize));
    if (layout.samples == 0) throw CaptureError("the capture holds no samples");
    return OpenSessionStream(std::move(layout), options.threads);
}

}  // namespace zbhost
