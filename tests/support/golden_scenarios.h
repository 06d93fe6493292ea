// The golden cases: in tests/golden/cases.conf each names a capture the generator makes and the
// decoder settings it is decoded with (the file's head describes the format); in records.conf
// each names a list of records that labels and report are made of without a decode. A line the
// reader does not understand fails the whole file.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bissgen/generator.h"

namespace zbtest {

// Decoder settings of one case (everything else keeps its default).
struct ScenarioSettings {
    uint32_t mode = 2;     // 0 register master view, 1 register slave view, 2 single cycle
    int32_t protocol = 0;  // 0 BiSS-C, 1 BiSS-B
    int32_t dataLength = 20;
    int32_t singleTurnBits = 12;
    int32_t alignmentBits = 0;
    int32_t crcBits = 6;
    uint32_t crcPolynomial = 0x43;
    uint32_t crcInitial = 0;
    bool combineTurns = false;
    bool autoLength = false;
    uint32_t registerColumns = 8;
    uint32_t slaves = 1;                // 1..8 slaves in the chain
    uint32_t hostValueFormat = 0;       // 0 HEX, 1 DEC, 2 OCT, 3 BIN, 4 character, 5 (unknown: empty)
    uint32_t valueType = 0;             // the dialog's value type (IDs), as hostValueFormat
    uint32_t hostFlags = 0;             // bit 0 to Gray, bit 3 from Gray
    std::vector<uint32_t> colourSlots;  // colour indices of slots 0.., the rest keep their default
    uint64_t sampleRate = 0;            // of a record list (a capture has its own)
};

struct GoldenScenario {
    std::string name;
    std::string description;
    std::function<bissgen::Capture()> capture;
    ScenarioSettings settings;
    std::vector<int64_t> positions;  // a record list instead of a decode
    std::vector<uint32_t> codes;
};

namespace golden {

// "key=value" words after a line's first word (and a kind word when `kind` is given); "|" ends one
// word list and starts the next.
struct Words {
    std::string kind;
    std::vector<std::map<std::string, std::string>> groups{1};
};

inline Words Split(std::istringstream& in, bool withKind) {
    Words w;
    if (withKind) in >> w.kind;
    std::string word;
    while (in >> word) {
        if (word == "|") {
            w.groups.emplace_back();
            continue;
        }
        const size_t eq = word.find('=');
        w.groups.back()[word.substr(0, eq)] = eq == std::string::npos ? "1" : word.substr(eq + 1);
    }
    return w;
}

// Takes `key` out of the group; `fallback` when it is not there.
inline int64_t Take(std::map<std::string, std::string>& group, const std::string& key, int64_t fallback,
                    int base = 0) {
    const auto it = group.find(key);
    if (it == group.end()) return fallback;
    const int64_t v = std::strtoll(it->second.c_str(), nullptr, base);
    group.erase(it);
    return v;
}

inline int64_t TakeName(std::map<std::string, std::string>& group, const std::string& key,
                        const std::vector<std::string>& names, int64_t fallback) {
    const auto it = group.find(key);
    if (it == group.end()) return fallback;
    for (size_t i = 0; i < names.size(); ++i) {
        if (it->second == names[i]) {
            group.erase(it);
            return static_cast<int64_t>(i);
        }
    }
    return Take(group, key, fallback);
}

inline bissgen::SlaveWord Slave(std::map<std::string, std::string>& g) {
    bissgen::SlaveWord w;
    w.multiTurn = static_cast<uint64_t>(Take(g, "mt", 0));
    w.singleTurn = static_cast<uint64_t>(Take(g, "st", 0));
    w.err = static_cast<uint8_t>(Take(g, "err", 1));
    w.warn = static_cast<uint8_t>(Take(g, "warn", 1));
    w.crcXor = static_cast<uint32_t>(Take(g, "crc-xor", 0));
    return w;
}

inline bissgen::Frame Frame(Words& w) {
    bissgen::Frame f;
    f.ackClocks = static_cast<int>(Take(w.groups[0], "ack", 1));
    f.cutAfter = static_cast<int>(Take(w.groups[0], "cut", -1));
    f.cdm = static_cast<int>(Take(w.groups[0], "cdm", -1));
    f.slaves.clear();
    for (auto& g : w.groups) f.slaves.push_back(Slave(g));
    return f;
}

inline bissgen::RegisterAccess Access(Words& w) {
    auto& g = w.groups[0];
    bissgen::RegisterAccess a;
    a.kind = w.kind == "write"     ? bissgen::AccessKind::Write
             : w.kind == "command" ? bissgen::AccessKind::Command
                                   : bissgen::AccessKind::Read;
    a.id = static_cast<uint8_t>(Take(g, "id", 0));
    a.address = static_cast<uint8_t>(Take(g, "adr", 0));
    a.ids = static_cast<uint8_t>(Take(g, "ids", 0));
    a.command = static_cast<uint8_t>(Take(g, "cmd", 0));
    std::istringstream bytes(g.count("data") ? g["data"] : "");
    g.erase("data");
    for (std::string b; std::getline(bytes, b, ',');)
        a.data.push_back(static_cast<uint8_t>(std::strtoul(b.c_str(), nullptr, 16)));
    a.refuse = Take(g, "refuse", 0) != 0;
    a.corruptAddressCrc = Take(g, "corrupt-address-crc", 0) != 0;
    a.corruptByte = static_cast<int>(Take(g, "corrupt-byte", -1));
    return a;
}

inline ScenarioSettings Settings(Words& w) {
    auto& g = w.groups[0];
    ScenarioSettings s;
    s.mode = static_cast<uint32_t>(TakeName(g, "mode", {"master", "slave", "scd"}, 2));
    s.protocol = static_cast<int32_t>(TakeName(g, "protocol", {"c", "b"}, 0));
    s.dataLength = static_cast<int32_t>(Take(g, "data-length", s.dataLength));
    s.singleTurnBits = static_cast<int32_t>(Take(g, "st-bits", s.singleTurnBits));
    s.alignmentBits = static_cast<int32_t>(Take(g, "align", 0));
    s.crcBits = static_cast<int32_t>(Take(g, "crc-bits", s.crcBits));
    s.crcPolynomial = static_cast<uint32_t>(Take(g, "crc-poly", s.crcPolynomial));
    s.crcInitial = static_cast<uint32_t>(Take(g, "crc-init", 0));
    s.combineTurns = Take(g, "combine", 0) != 0;
    s.autoLength = Take(g, "auto-length", 0) != 0;
    s.registerColumns = static_cast<uint32_t>(Take(g, "reg-columns", 8));
    s.slaves = static_cast<uint32_t>(Take(g, "slaves", 1));
    const std::vector<std::string> formats = {"hex", "dec", "oct", "bin", "char"};
    s.hostValueFormat = static_cast<uint32_t>(TakeName(g, "host-format", formats, 0));
    s.valueType = static_cast<uint32_t>(TakeName(g, "value-type", formats, 0));
    s.hostFlags = static_cast<uint32_t>(TakeName(g, "gray", {"none", "to", "from"}, 0));
    if (s.hostFlags == 2) s.hostFlags = 8;  // bit 3: from Gray code
    s.sampleRate = static_cast<uint64_t>(Take(g, "sample-rate", 0));
    std::istringstream slots(g.count("colour-slots") ? g["colour-slots"] : "");
    g.erase("colour-slots");
    for (std::string v; std::getline(slots, v, ',');)
        s.colourSlots.push_back(static_cast<uint32_t>(std::stoul(v)));
    return s;
}

}  // namespace golden

// The directory of the golden files, as the build names it.
inline std::string GoldenDirectory() {
    return ZB_GOLDEN_DIR;
}

// The cases of `dir`/`name`; empty, with the reason in `error`, when the file cannot be read or
// holds a line or a word it does not understand.
inline std::vector<GoldenScenario> GoldenScenarios(const std::string& dir = GoldenDirectory(),
                                                   std::string* error = nullptr,
                                                   const std::string& name = "cases.conf") {
    std::string problem;
    std::vector<GoldenScenario> cases;
    std::ifstream file(dir + "/" + name);
    if (!file) file.open("Z:" + dir + "/" + name);  // a POSIX path seen from wine
    if (!file) problem = "cannot read " + dir + "/" + name;
    struct Script {
        bissgen::Layout layout;
        std::vector<bissgen::Frame> frames;
        std::vector<bissgen::RegisterAccess> accesses;
        bool flush = false;
        bissgen::Frame filler;
    };
    std::vector<Script> scripts;
    std::string line;
    for (int number = 1; problem.empty() && std::getline(file, line); ++number) {
        std::istringstream in(line);
        std::string first;
        if (!(in >> first) || first[0] == '#') continue;
        const std::string where = name + " line " + std::to_string(number);
        if (first == "case") {
            GoldenScenario c;
            in >> c.name;
            std::getline(in >> std::ws, c.description);
            cases.push_back(c);
            scripts.emplace_back();
            continue;
        }
        if (cases.empty()) {
            problem = where + ": no case before it";
            break;
        }
        Script& s = scripts.back();
        if (first == "records") {  // position:code pairs in order, the code in hexadecimal
            for (std::string word; in >> word;) {
                const size_t colon = word.find(':');
                if (colon == std::string::npos) {
                    problem = where + ": \"" + word + "\" is not position:code";
                    break;
                }
                cases.back().positions.push_back(std::strtoll(word.c_str(), nullptr, 10));
                cases.back().codes.push_back(
                    static_cast<uint32_t>(std::strtoul(word.c_str() + colon + 1, nullptr, 16)));
            }
            continue;
        }
        golden::Words w = golden::Split(in, first == "access");
        if (first == "settings") {
            cases.back().settings = golden::Settings(w);
        } else if (first == "capture") {
            auto& g = w.groups[0];
            s.layout.protocol = golden::TakeName(g, "protocol", {"c", "b"}, 0) == 1
                                    ? bissgen::Protocol::BissB
                                    : bissgen::Protocol::BissC;
            s.layout.multiTurnBits = static_cast<int>(golden::Take(g, "mt", 0));
            s.layout.singleTurnBits = static_cast<int>(golden::Take(g, "st", 12));
            s.layout.alignBits = static_cast<int>(golden::Take(g, "align", 0));
        } else if (first == "frame") {
            s.frames.push_back(golden::Frame(w));
        } else if (first == "access") {
            s.accesses.push_back(golden::Access(w));
        } else if (first == "flush") {
            s.flush = true;
            s.filler = golden::Frame(w);

        } else {
            problem = where + ": unknown line \"" + first + "\"";
        }
        for (const auto& g : w.groups) {
            if (problem.empty() && !g.empty())
                problem = where + ": unknown word \"" + g.begin()->first + "\"";
        }
    }
    for (size_t i = 0; problem.empty() && i < cases.size(); ++i) {
        if (!cases[i].codes.empty()) {
            cases[i].capture = [rate = cases[i].settings.sampleRate] {
                bissgen::Capture none;
                none.sampleRate = rate;
                none.changes = {{0, 1, 1}};
                return none;
            };
            continue;
        }
        cases[i].capture = [s = scripts[i]] {
            bissgen::Timing t;  // every case's: 20 MS/s, MA at 2 MHz (10 samples per clock)
            t.sampleRate = 20000000;
            t.clockHz = 2000000;
            t.pauseNs = 20000;
            t.timeoutNs = 5000;
            t.leadNs = 10000;
            bissgen::Generator gen(t, s.layout);
            for (const bissgen::RegisterAccess& a : s.accesses) gen.QueueAccess(a);
            for (const bissgen::Frame& f : s.frames) gen.AddFrame(f);
            if (s.flush) gen.FlushControl(s.filler);
            return gen.Finish();
        };
    }
    if (error != nullptr) *error = problem;
    if (!problem.empty()) cases.clear();
    return cases;
}

}  // namespace zbtest
