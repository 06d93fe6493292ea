// The sigrok session writer, read back with libzip: the version and metadata files, and chunk
// files whose concatenated bytes are the capture sample by sample (bit 0 MA, bit 1 SLO by default,
// any two bits of a 1 to 8 byte little-endian sample with a layout); bad layouts are refused.
#include "bissgen/srzip.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bissgen/generator.h"
#include "bissgen/samples.h"

namespace {

using namespace bissgen;

std::string ReadEntry(zip_t* z, const std::string& name) {
    zip_stat_t st;
    if (zip_stat(z, name.c_str(), 0, &st) != 0) return "<missing>";
    zip_file_t* f = zip_fopen(z, name.c_str(), 0);
    if (f == nullptr) return "<unreadable>";
    std::string data(static_cast<size_t>(st.size), '\0');
    const zip_int64_t n = zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    if (n != static_cast<zip_int64_t>(st.size)) return "<short>";
    return data;
}

TEST(Srzip, SamplerateText) {
    const std::pair<uint64_t, const char*> cases[] = {{200000000, "200 MHz"}, {2000000000, "2 GHz"},
                                                      {2500000, "2500 kHz"},  {123, "123 Hz"},
                                                      {1000, "1 kHz"},        {0, "0 Hz"}};
    for (auto [rate, text] : cases) EXPECT_EQ(SamplerateText(rate), text);
}

TEST(Srzip, ArchiveReadsBackChunkByChunk) {
    struct Case {
        uint64_t chunk;
        size_t chunks;
    };
    Timing t;
    t.sampleRate = 100000000;
    t.clockHz = 4e6;
    Generator gen(t, Layout{}, 2);
    for (int i = 0; i < 4; ++i) gen.AddFrame(Frame{});
    const Capture cap = gen.Finish();
    const uint64_t total = static_cast<uint64_t>(cap.lastSample) + 1;
    std::vector<uint8_t> want(total);
    SampleExpander(cap).Fill(0, want.size(), want.data());

    const Case cases[] = {{1000, (total + 999) / 1000}, {total, 1}, {total - 1, 2}, {kSrzipChunkSamples, 1}};
    for (const Case& c : cases) {
        const std::string path = testing::TempDir() + "bissgen_test.sr";
        std::string error;
        ASSERT_TRUE(WriteSrzip(path, cap, &error, c.chunk)) << error;
        int code = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &code);
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(ReadEntry(z, "version"), "2");
        const std::string meta = ReadEntry(z, "metadata");
        for (const char* line : {"[device 1]\n", "samplerate=100 MHz\n", "total probes=2\n", "probe1=MA\n",
                                 "probe2=SLO\n", "unitsize=1\n", "capturefile=logic-1\n"}) {
            EXPECT_NE(meta.find(line), std::string::npos) << line;
        }
        EXPECT_EQ(static_cast<size_t>(zip_get_num_entries(z, 0)), 2 + c.chunks);
        std::string all;
        for (size_t i = 1; i <= c.chunks; ++i) all += ReadEntry(z, "logic-1-" + std::to_string(i));
        EXPECT_EQ(ReadEntry(z, "logic-1-" + std::to_string(c.chunks + 1)), "<missing>");
        zip_close(z);
        ASSERT_EQ(all.size(), want.size()) << "chunk " << c.chunk;
        EXPECT_TRUE(std::equal(want.begin(), want.end(), all.begin(),
                               [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
        std::remove(path.c_str());
    }
}

Capture SmallCapture() {
    Timing t;
    t.sampleRate = 50000000;
    t.clockHz = 5e6;
    Generator gen(t, Layout{}, 3);
    for (int i = 0; i < 3; ++i) gen.AddFrame(Frame{});
    return gen.Finish();
}

TEST(Srzip, LayoutsPutTheLinesOnTheirBits) {
    struct Case {
        unsigned unit, ma, slo;
        size_t probes;
        uint64_t chunk;
    };
    // Chunks of 1 sample, of an odd count, and one chunk for everything.
    const Case cases[] = {{1, 0, 1, 2, 1000},  {1, 7, 3, 8, 333},  {2, 9, 15, 16, 1},
                          {3, 23, 0, 24, 777}, {8, 63, 32, 64, 0}, {5, 1, 0, 2, 4096}};
    const Capture cap = SmallCapture();
    const uint64_t total = static_cast<uint64_t>(cap.lastSample) + 1;
    std::vector<uint8_t> levels(total);
    SampleExpander(cap).Fill(0, levels.size(), levels.data());
    for (const Case& c : cases) {
        SrzipLayout layout;
        layout.unitSize = c.unit;
        layout.maBit = c.ma;
        layout.sloBit = c.slo;
        layout.probeNames.clear();
        for (size_t i = 0; i < c.probes; ++i) layout.probeNames.push_back("P" + std::to_string(i));
        const std::string path = testing::TempDir() + "bissgen_layout.sr";
        std::string error;
        ASSERT_TRUE(WriteSrzip(path, cap, &error, c.chunk, layout)) << error;
        int code = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &code);
        ASSERT_NE(z, nullptr);
        const std::string meta = ReadEntry(z, "metadata");
        const std::string wantLines[] = {
            "unitsize=" + std::to_string(c.unit) + "\n", "total probes=" + std::to_string(c.probes) + "\n",
            "probe" + std::to_string(c.probes) + "=P" + std::to_string(c.probes - 1) + "\n"};
        for (const std::string& line : wantLines) EXPECT_NE(meta.find(line), std::string::npos) << line;
        std::string all;
        for (int i = 1; i <= zip_get_num_entries(z, 0) - 2; ++i)
            all += ReadEntry(z, "logic-1-" + std::to_string(i));
        zip_close(z);
        std::remove(path.c_str());
        ASSERT_EQ(all.size(), total * c.unit) << "unit " << c.unit;
        size_t wrong = 0;
        for (uint64_t s = 0; s < total; ++s) {
            uint64_t want = 0;
            if (levels[s] & kMaBit) want |= uint64_t{1} << c.ma;
            if (levels[s] & kSloBit) want |= uint64_t{1} << c.slo;
            for (unsigned b = 0; b < c.unit; ++b) {
                if (static_cast<uint8_t>(all[s * c.unit + b]) != static_cast<uint8_t>(want >> (8 * b)))
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u) << "unit " << c.unit << " ma " << c.ma << " slo " << c.slo;
    }
}

TEST(Srzip, BadLayoutsAreRefusedBeforeTheFileIsMade) {
    struct Case {
        unsigned unit, ma, slo;
        size_t probes;
        const char* name;
    };
    const Case cases[] = {{0, 0, 1, 2, "P"}, {9, 0, 1, 2, "P"}, {1, 8, 1, 2, "P"},   {2, 0, 16, 2, "P"},
                          {1, 3, 3, 2, "P"}, {1, 0, 1, 9, "P"}, {1, 0, 1, 2, "a\nb"}};
    Capture c;
    c.changes = {{0, 1, 1}};
    c.lastSample = 10;
    for (const Case& k : cases) {
        SrzipLayout layout;
        layout.unitSize = k.unit;
        layout.maBit = k.ma;
        layout.sloBit = k.slo;
        layout.probeNames.assign(k.probes, k.name);
        EXPECT_FALSE(CheckSrzipLayout(layout).empty()) << k.unit << " " << k.ma << " " << k.slo;
        const std::string path = testing::TempDir() + "bissgen_bad_layout.sr";
        std::remove(path.c_str());
        std::string error;
        EXPECT_FALSE(WriteSrzip(path, c, &error, 0, layout));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(std::ifstream(path).good()) << "a file was made for unit " << k.unit;
    }
    EXPECT_TRUE(CheckSrzipLayout(SrzipLayout{}).empty());
}

TEST(Srzip, UnwritablePathIsReported) {
    std::string error;
    Capture c;
    c.changes = {{0, 1, 1}};
    c.lastSample = 10;
    EXPECT_FALSE(WriteSrzip(testing::TempDir() + "no/such/dir/x.sr", c, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
