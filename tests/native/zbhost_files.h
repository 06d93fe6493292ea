// What zbhost's tests share: scratch file names, a capture written as a file of each kind zbhost
// reads, whole files read back, the plug-in they load and argument lists written on one line.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bissgen/samples.h"
#include "bissgen/srzip.h"
#include "bissgen/vcd.h"
#include "capture_readers.h"
#include "capture_writers.h"

namespace zbtest {

// `name` in the tests' temporary directory, made unique to this process.
inline std::string TempFile(const std::string& name) {
    return ::testing::TempDir() + "zbhost_" + std::to_string(::getpid()) + "_" + name;
}

// A random two-line capture: runs of 1..maxRun samples, every run changing at least one level.
inline bissgen::Capture RandomCapture(uint32_t seed, int runs, int maxRun, uint64_t rate = 200'000'000) {
    std::mt19937 rng(seed);
    bissgen::Capture c;
    c.sampleRate = rate;
    int64_t pos = 0;
    uint8_t ma = 1, slo = 1;
    for (int i = 0; i < runs; ++i) {
        c.changes.push_back(bissgen::Change{pos, ma, slo});
        pos += 1 + static_cast<int64_t>(rng() % static_cast<uint32_t>(maxRun));
        const int flip = 1 + static_cast<int>(rng() % 3);
        if (flip & 1) ma ^= 1;
        if (flip & 2) slo ^= 1;
    }
    c.lastSample = pos - 1;
    return c;
}

// `c` written to `path` as a sigrok session (`chunk` samples per member), a VCD, a CSV of
// transitions, or raw one-byte samples (bit 0 MA, bit 1 SLO).
inline void WriteCaptureFile(const bissgen::Capture& c, zbhost::CaptureFormat format, const std::string& path,
                             uint64_t chunk = bissgen::kSrzipChunkSamples) {
    std::string error;
    if (format == zbhost::CaptureFormat::Srzip) {
        EXPECT_TRUE(bissgen::WriteSrzip(path, c, &error, chunk)) << error;
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (format == zbhost::CaptureFormat::Vcd) {
        bissgen::WriteVcd(out, c);
    } else if (format == zbhost::CaptureFormat::Csv) {
        zbhost::WriteCsvTransitions(c, out);
    } else {
        std::vector<uint8_t> samples(static_cast<size_t>(c.lastSample + 1));
        bissgen::SampleExpander(c).Fill(0, samples.size(), samples.data());
        out.write(reinterpret_cast<const char*>(samples.data()),
                  static_cast<std::streamsize>(samples.size()));
    }
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The plug-in built with the tests, or another one named by ZBHOST_TEST_PLUGIN.
inline const char* TestPlugin() {
    const char* other = std::getenv("ZBHOST_TEST_PLUGIN");
    return other != nullptr ? other : ZB_PLUGIN_PATH;
}

// A command line's arguments written as one line, split at single spaces.
inline std::vector<std::string> Args(const std::string& line) {
    std::vector<std::string> args;
    std::istringstream in(line);
    for (std::string a; std::getline(in, a, ' ');) args.push_back(a);
    return args;
}

}  // namespace zbtest
