// srzip output through libzip. Every chunk file is a function source that renders its slice of
// the change list on demand while libzip compresses it, so only libzip's read buffer (and, for a
// layout other than the default byte, one block of scratch samples) is in memory.
#include "bissgen/srzip.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "bissgen/samples.h"

namespace bissgen {

namespace {

constexpr int kCompressionLevel = 1;        // the samples are long runs; speed matters more than size
constexpr size_t kScratchSamples = 65536;   // samples expanded per block for a remapped layout
constexpr unsigned kLevelCombinations = 4;  // the expander's byte: kMaBit and kSloBit

bool IsDefaultLayout(const SrzipLayout& layout) {
    return layout.unitSize == 1 && layout.maBit == 0 && layout.sloBit == 1;
}

// Turns the expander's one byte per sample into samples of the chosen layout.
class SampleRenderer {
  public:
    SampleRenderer(const Capture& capture, const SrzipLayout& layout)
        : expander_(capture), unit_(layout.unitSize), direct_(IsDefaultLayout(layout)) {
        for (unsigned level = 0; level < kLevelCombinations; ++level) {
            uint64_t pattern = 0;
            if (level & kMaBit) pattern |= uint64_t{1} << layout.maBit;
            if (level & kSloBit) pattern |= uint64_t{1} << layout.sloBit;
            for (unsigned b = 0; b < kSrzipMaxUnitSize; ++b) {
                bytes_[level][b] = static_cast<uint8_t>(pattern >> (8 * b));  // little-endian
            }
        }
        if (!direct_) scratch_.resize(kScratchSamples);
    }

    unsigned Unit() const { return unit_; }
    uint64_t SampleCount() const { return expander_.SampleCount(); }

    // Writes `count` whole samples from `first` on into out (count * Unit() bytes).
    void Render(uint64_t first, size_t count, uint8_t* out) {
        if (direct_) {
            expander_.Fill(first, count, out);
            return;
        }
        while (count > 0) {
            const size_t n = std::min(count, scratch_.size());
            expander_.Fill(first, n, scratch_.data());
            // The levels come in runs: write a run's first sample, then copy what is written in
            // doubling pieces.
            for (size_t i = 0; i < n;) {
                const uint8_t level = scratch_[i];
                size_t run = 1;
                while (i + run < n && scratch_[i + run] == level) ++run;
                uint8_t* at = out + i * unit_;
                std::memcpy(at, bytes_[level & (kMaBit | kSloBit)].data(), unit_);
                for (size_t done = 1; done < run;) {
                    const size_t copy = std::min(done, run - done);
                    std::memcpy(at + done * unit_, at, copy * unit_);
                    done += copy;
                }
                i += run;
            }
            first += n;
            count -= n;
            out += n * unit_;
        }
    }

  private:
    SampleExpander expander_;
    unsigned unit_;
    bool direct_;
    std::array<std::array<uint8_t, kSrzipMaxUnitSize>, kLevelCombinations> bytes_{};
    std::vector<uint8_t> scratch_;
};

// One "logic-1-N" file: samples [start, start + count), served byte by byte so that a read whose
// length is not a whole number of samples still gets every byte.
struct ChunkSource {
    SampleRenderer* renderer = nullptr;
    uint64_t start = 0;
    uint64_t count = 0;
    uint64_t doneBytes = 0;
    zip_error_t error{};

    uint64_t Bytes() const { return count * renderer->Unit(); }

    zip_int64_t Read(uint8_t* out, uint64_t len) {
        const uint64_t unit = renderer->Unit();
        const uint64_t n = std::min<uint64_t>(len, Bytes() - doneBytes);
        uint64_t written = 0;
        while (written < n) {
            const uint64_t at = doneBytes + written;
            const uint64_t sample = start + at / unit;
            const uint64_t skip = at % unit;
            if (skip == 0 && n - written >= unit) {
                const uint64_t whole = (n - written) / unit;
                renderer->Render(sample, static_cast<size_t>(whole), out + written);
                written += whole * unit;
            } else {  // a sample split between two reads
                uint8_t one[kSrzipMaxUnitSize];
                renderer->Render(sample, 1, one);
                const uint64_t take = std::min(unit - skip, n - written);
                std::memcpy(out + written, one + skip, static_cast<size_t>(take));
                written += take;
            }
        }
        doneBytes += n;
        return static_cast<zip_int64_t>(n);
    }
};

zip_int64_t ChunkCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* chunk = static_cast<ChunkSource*>(userdata);
    switch (cmd) {
        case ZIP_SOURCE_OPEN:
            chunk->doneBytes = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return chunk->Read(static_cast<uint8_t*>(data), len);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = chunk->Bytes();
            st->mtime = std::time(nullptr);
            st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&chunk->error, data, len);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&chunk->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

struct ArchiveCloser {
    void operator()(zip_t* z) const {
        if (z != nullptr) zip_discard(z);
    }
};

bool AddBuffer(zip_t* z, const char* name, const std::string& text, std::string* error) {
    zip_source_t* src = zip_source_buffer(z, text.data(), text.size(), 0);
    if (src == nullptr || zip_file_add(z, name, src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        if (src != nullptr) zip_source_free(src);
        if (error != nullptr) *error = std::string("cannot add ") + name + ": " + zip_strerror(z);
        return false;
    }
    return true;
}

}  // namespace

std::string CheckSrzipLayout(const SrzipLayout& layout) {
    if (layout.unitSize < 1 || layout.unitSize > kSrzipMaxUnitSize) {
        return "sample size " + std::to_string(layout.unitSize) + " bytes (1 to " +
               std::to_string(kSrzipMaxUnitSize) + " are possible)";
    }
    const unsigned bits = layout.unitSize * 8;
    if (layout.maBit >= bits || layout.sloBit >= bits) {
        return "MA bit " + std::to_string(layout.maBit) + " or SLO bit " + std::to_string(layout.sloBit) +
               " outside a " + std::to_string(bits) + "-bit sample";
    }
    if (layout.maBit == layout.sloBit) return "MA and SLO on the same bit " + std::to_string(layout.maBit);
    if (layout.probeNames.size() > bits) {
        return std::to_string(layout.probeNames.size()) + " probe names for a " + std::to_string(bits) +
               "-bit sample";
    }
    for (const std::string& name : layout.probeNames) {
        if (name.find_first_of("\r\n") != std::string::npos) return "a probe name with a line break";
    }
    return {};
}

std::string SamplerateText(uint64_t rate) {
    if (rate != 0 && rate % 1000000000 == 0) return std::to_string(rate / 1000000000) + " GHz";
    if (rate != 0 && rate % 1000000 == 0) return std::to_string(rate / 1000000) + " MHz";
    if (rate != 0 && rate % 1000 == 0) return std::to_string(rate / 1000) + " kHz";
    return std::to_string(rate) + " Hz";
}

std::string SrzipMetadata(uint64_t sampleRate, const SrzipLayout& layout) {
    std::string m = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n";
    m += "total probes=" + std::to_string(layout.probeNames.size()) + "\n";
    if (sampleRate != 0) m += "samplerate=" + SamplerateText(sampleRate) + "\n";
    m += "total analog=0\n";
    for (size_t i = 0; i < layout.probeNames.size(); ++i) {
        m += "probe" + std::to_string(i + 1) + "=" + layout.probeNames[i] + "\n";
    }
    m += "unitsize=" + std::to_string(layout.unitSize) + "\n";
    return m;
}

bool WriteSrzip(const std::string& path, const Capture& capture, std::string* error, uint64_t chunkSamples,
                const SrzipLayout& layout) {
    const std::string bad = CheckSrzipLayout(layout);
    if (!bad.empty()) {
        if (error != nullptr) *error = "cannot write " + path + ": " + bad;
        return false;
    }
    if (chunkSamples == 0) chunkSamples = kSrzipChunkSamples;
    int code = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, code);
        if (error != nullptr) *error = "cannot create " + path + ": " + zip_error_strerror(&ze);
        zip_error_fini(&ze);
        return false;
    }
    zip_t* z = archive.get();
    // The buffers, the renderer and the chunk states must live until the archive is closed.
    const std::string version = "2";
    const std::string metadata = SrzipMetadata(capture.sampleRate, layout);
    if (!AddBuffer(z, "version", version, error) || !AddBuffer(z, "metadata", metadata, error)) return false;

    SampleRenderer renderer(capture, layout);
    const uint64_t total = renderer.SampleCount();
    const uint64_t chunkCount = (total + chunkSamples - 1) / chunkSamples;
    std::vector<ChunkSource> chunks(static_cast<size_t>(chunkCount));
    for (uint64_t i = 0; i < chunkCount; ++i) {
        ChunkSource& c = chunks[static_cast<size_t>(i)];
        c.renderer = &renderer;
        c.start = i * chunkSamples;
        c.count = std::min(chunkSamples, total - c.start);
        zip_error_init(&c.error);
        const std::string name = "logic-1-" + std::to_string(i + 1);
        zip_source_t* src = zip_source_function(z, ChunkCallback, &c);
        const zip_int64_t index = src == nullptr ? -1 : zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
        if (index < 0) {
            if (src != nullptr) zip_source_free(src);
            if (error != nullptr) *error = "cannot add " + name + ": " + zip_strerror(z);
            return false;
        }
        zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kCompressionLevel);
    }
    if (zip_close(z) != 0) {
        if (error != nullptr) *error = "cannot write " + path + ": " + zip_strerror(z);
        return false;  // the archive is discarded by its owner
    }
    archive.release();
    for (ChunkSource& c : chunks) zip_error_fini(&c.error);
    return true;
}

}  // namespace bissgen
