// srzip output through libzip. Every chunk file is a function source that expands its slice of
// the change list on demand while libzip compresses it, so only one read buffer is in memory.
#include "bissgen/srzip.h"

#include <zip.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

#include "bissgen/samples.h"

namespace bissgen {

namespace {

constexpr int kCompressionLevel = 1;  // the samples are long runs; speed matters more than size

struct ChunkSource {
    SampleExpander* expander = nullptr;
    uint64_t start = 0;
    uint64_t count = 0;
    uint64_t done = 0;
    zip_error_t error{};
};

zip_int64_t ChunkCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* chunk = static_cast<ChunkSource*>(userdata);
    switch (cmd) {
        case ZIP_SOURCE_OPEN:
            chunk->done = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const uint64_t n = std::min<uint64_t>(len, chunk->count - chunk->done);
            chunk->expander->Fill(chunk->start + chunk->done, static_cast<size_t>(n),
                                  static_cast<uint8_t*>(data));
            chunk->done += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = chunk->count;
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

std::string SamplerateText(uint64_t rate) {
    if (rate != 0 && rate % 1000000000 == 0) return std::to_string(rate / 1000000000) + " GHz";
    if (rate != 0 && rate % 1000000 == 0) return std::to_string(rate / 1000000) + " MHz";
    if (rate != 0 && rate % 1000 == 0) return std::to_string(rate / 1000) + " kHz";
    return std::to_string(rate) + " Hz";
}

std::string SrzipMetadata(uint64_t sampleRate) {
    std::string m = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=2\n";
    if (sampleRate != 0) m += "samplerate=" + SamplerateText(sampleRate) + "\n";
    m += "total analog=0\nprobe1=MA\nprobe2=SLO\nunitsize=1\n";
    return m;
}

bool WriteSrzip(const std::string& path, const Capture& capture, std::string* error, uint64_t chunkSamples) {
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
    // The buffers and chunk states must live until the archive is closed.
    const std::string version = "2";
    const std::string metadata = SrzipMetadata(capture.sampleRate);
    if (!AddBuffer(z, "version", version, error) || !AddBuffer(z, "metadata", metadata, error)) return false;

    SampleExpander expander(capture);
    const uint64_t total = expander.SampleCount();
    const uint64_t chunkCount = (total + chunkSamples - 1) / chunkSamples;
    std::vector<ChunkSource> chunks(static_cast<size_t>(chunkCount));
    for (uint64_t i = 0; i < chunkCount; ++i) {
        ChunkSource& c = chunks[static_cast<size_t>(i)];
        c.expander = &expander;
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
