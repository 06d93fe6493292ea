// The sigrok session writer, read back with libzip: the version and metadata files, and chunk
// files whose concatenated bytes are the capture sample by sample (bit 0 MA, bit 1 SLO); bad
// layouts and paths are refused. Other layouts are checked by zbhost's srzip round trip.
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

// The archive's members as sigrok writes them; the samples in chunks of the asked size.
TEST(Srzip, ArchiveMembersAndChunks) {
    Timing t;
    t.sampleRate = 100000000;
    t.clockHz = 4e6;
    Generator gen(t, Layout{}, 2);
    for (int i = 0; i < 4; ++i) gen.AddFrame(Frame{});
    const Capture cap = gen.Finish();
    const uint64_t total = static_cast<uint64_t>(cap.lastSample) + 1;
    std::vector<uint8_t> want(total);
    SampleExpander(cap).Fill(0, want.size(), want.data());
    const std::pair<uint64_t, size_t> cases[] = {
        {1000, (total + 999) / 1000}, {total, 1}, {total - 1, 2}, {kSrzipChunkSamples, 1}};
    for (const auto& [chunk, chunks] : cases) {
        const std::string path = testing::TempDir() + "bissgen_test.sr";
        std::string error;
        ASSERT_TRUE(WriteSrzip(path, cap, &error, chunk)) << error;
        int code = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &code);
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(ReadEntry(z, "version"), "2");
        const std::string meta = ReadEntry(z, "metadata");
        for (const char* line : {"[device 1]\n", "samplerate=100 MHz\n", "total probes=2\n", "probe1=MA\n",
                                 "probe2=SLO\n", "unitsize=1\n", "capturefile=logic-1\n"}) {
            EXPECT_NE(meta.find(line), std::string::npos) << line;
        }
        EXPECT_EQ(static_cast<size_t>(zip_get_num_entries(z, 0)), 2 + chunks);
        std::string all;
        for (size_t i = 1; i <= chunks; ++i) all += ReadEntry(z, "logic-1-" + std::to_string(i));
        zip_close(z);
        EXPECT_EQ(all, std::string(want.begin(), want.end())) << "chunk " << chunk;
        std::remove(path.c_str());
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
    std::string error;
    EXPECT_FALSE(WriteSrzip(testing::TempDir() + "no/such/dir/x.sr", c, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
