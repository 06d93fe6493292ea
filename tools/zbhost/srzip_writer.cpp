// Writes sigrok session files with the zip library. The sample members are produced on the fly
// from the change list while the archive is written, so even a capture of many hundred million
// samples needs no more memory than its changes.
#include <zip.h>

#include <algorithm>
#include <cstring>

#include "capture_writers.h"

namespace zbhost {

namespace {

// One "logic-1-N" member: samples [first, first + count) rendered from the change list.
struct ChunkSource {
    const bissgen::Capture* capture;
    const SrzipLayout* layout;
    int64_t first;
    int64_t count;
    int64_t next = 0;   // next sample to render, relative to first
    size_t change = 0;  // index of the change in force at `next`
    zip_error_t error;

    uint64_t Pattern(size_t index) const {
        if (capture->changes.empty()) return 0;
        const auto& c = capture->changes[index];
        return (uint64_t{c.ma} << layout->maChannel) | (uint64_t{c.slo} << layout->sloChannel);
    }

    // Renders whole samples into `out` (len is a multiple of the sample size).
    zip_int64_t Read(uint8_t* out, zip_uint64_t len) {
        const unsigned unit = layout->unitSize;
        int64_t want = std::min<int64_t>(static_cast<int64_t>(len / unit), count - next);
        uint8_t* p = out;
        while (want > 0) {
            const int64_t absolute = first + next;
            const auto& changes = capture->changes;
            while (change + 1 < changes.size() && changes[change + 1].position <= absolute) ++change;
            int64_t run = want;
            if (change + 1 < changes.size()) run = std::min(run, changes[change + 1].position - absolute);
            const uint64_t pattern = Pattern(change);
            if (unit == 1) {
                std::memset(p, static_cast<int>(pattern), static_cast<size_t>(run));
            } else {
                for (int64_t i = 0; i < run; ++i) std::memcpy(p + i * unit, &pattern, unit);
            }
            p += run * unit;
            next += run;
            want -= run;
        }
        return p - out;
    }

    static zip_int64_t Callback(void* user, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
        auto* self = static_cast<ChunkSource*>(user);
        switch (cmd) {
            case ZIP_SOURCE_OPEN: {
                self->next = 0;
                const auto& changes = self->capture->changes;
                const auto after =
                    std::upper_bound(changes.begin(), changes.end(), self->first,
                                     [](int64_t pos, const bissgen::Change& c) { return pos < c.position; });
                self->change =
                    after == changes.begin() ? 0 : static_cast<size_t>(after - changes.begin() - 1);
                return 0;
            }
            case ZIP_SOURCE_READ:
                return self->Read(static_cast<uint8_t*>(data), len - len % self->layout->unitSize);
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_STAT: {
                auto* st = static_cast<zip_stat_t*>(data);
                zip_stat_init(st);
                st->size = static_cast<zip_uint64_t>(self->count) * self->layout->unitSize;
                st->valid |= ZIP_STAT_SIZE;
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&self->error, data, len);
            case ZIP_SOURCE_FREE:
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                      ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }
};

std::string Metadata(const bissgen::Capture& capture, const SrzipLayout& layout) {
    std::string m = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n";
    m += "total probes=" + std::to_string(layout.probeNames.size()) + "\n";
    if (capture.sampleRate != 0) {
        const uint64_t r = capture.sampleRate;
        if (r % 1000000000 == 0)
            m += "samplerate=" + std::to_string(r / 1000000000) + " GHz\n";
        else if (r % 1000000 == 0)
            m += "samplerate=" + std::to_string(r / 1000000) + " MHz\n";
        else if (r % 1000 == 0)
            m += "samplerate=" + std::to_string(r / 1000) + " kHz\n";
        else
            m += "samplerate=" + std::to_string(r) + " Hz\n";
    }
    for (size_t i = 0; i < layout.probeNames.size(); ++i) {
        m += "probe" + std::to_string(i + 1) + "=" + layout.probeNames[i] + "\n";
    }
    m += "unitsize=" + std::to_string(layout.unitSize) + "\n";
    return m;
}

}  // namespace

bool WriteSrzip(const bissgen::Capture& capture, const std::string& path, const SrzipLayout& layout,
                std::string& error) {
    if (layout.unitSize < 1 || layout.unitSize > 8 || layout.maChannel >= layout.unitSize * 8 ||
        layout.sloChannel >= layout.unitSize * 8 || layout.chunkBytes < layout.unitSize) {
        error = "bad sample layout";
        return false;
    }
    int code = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (z == nullptr) {
        error = "cannot create '" + path + "'";
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = what + ": " + zip_strerror(z);
        zip_discard(z);
        return false;
    };
    const std::string version = "2";
    const std::string metadata = Metadata(capture, layout);
    zip_source_t* s = zip_source_buffer(z, version.data(), version.size(), 0);
    if (s == nullptr || zip_file_add(z, "version", s, ZIP_FL_OVERWRITE) < 0) return fail("version");
    s = zip_source_buffer(z, metadata.data(), metadata.size(), 0);
    if (s == nullptr || zip_file_add(z, "metadata", s, ZIP_FL_OVERWRITE) < 0) return fail("metadata");

    const int64_t total = capture.lastSample + 1;
    const int64_t perChunk = static_cast<int64_t>(layout.chunkBytes / layout.unitSize);
    std::vector<ChunkSource> chunks;
    chunks.reserve(static_cast<size_t>((total + perChunk - 1) / perChunk));
    for (int64_t first = 0; first < total; first += perChunk) {
        chunks.push_back(ChunkSource{&capture, &layout, first, std::min(perChunk, total - first), 0, 0, {}});
        zip_error_init(&chunks.back().error);
    }
    for (size_t i = 0; i < chunks.size(); ++i) {
        zip_source_t* src = zip_source_function(z, &ChunkSource::Callback, &chunks[i]);
        const std::string name = "logic-1-" + std::to_string(i + 1);
        if (src == nullptr || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) return fail(name);
    }
    if (zip_close(z) != 0) return fail("writing '" + path + "'");
    return true;
}

}  // namespace zbhost
