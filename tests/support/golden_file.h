// Golden files: a test's actual text is compared with the expected file under tests/golden/; a
// mismatch prints a unified diff of the lines. With ZB_UPDATE_GOLDEN=1 in the environment the
// expected file is rewritten instead (review the change in the commit).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zbtest {

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// One unified hunk ("-" expected, "+" actual) from the first line that differs to the last, with
// three lines of context around it.
inline std::string UnifiedDiff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const size_t from = head >= 3 ? head - 3 : 0;
    std::string out = "@@ -" + std::to_string(from + 1) + " +" + std::to_string(from + 1) + " @@\n";
    for (size_t i = from; i < head; ++i) out += " " + a[i] + "\n";
    for (size_t i = head; i < a.size() - tail; ++i) out += "-" + a[i] + "\n";
    for (size_t i = head; i < b.size() - tail; ++i) out += "+" + b[i] + "\n";
    for (size_t i = a.size() - tail; i < a.size() && i < a.size() - tail + 3; ++i) out += " " + a[i] + "\n";
    return out;
}

inline bool UpdateGoldenRequested() {
    const char* flag = std::getenv("ZB_UPDATE_GOLDEN");
    return flag != nullptr && std::string(flag) == "1";
}

// Compares `actual` with the file `path`; returns an empty string when they match (or when the file
// was rewritten on request), else a message with the diff.
inline std::string CompareWithGolden(const std::string& path, const std::string& actual) {
    if (UpdateGoldenRequested()) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << actual;
        return out ? std::string() : "cannot write " + path;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return "missing golden file " + path + " (run with ZB_UPDATE_GOLDEN=1 to create it)";
    std::ostringstream expected;
    expected << in.rdbuf();
    if (expected.str() == actual) return std::string();
    return "golden file " + path + " differs (-expected +actual):\n" +
           UnifiedDiff(SplitLines(expected.str()), SplitLines(actual));
}

}  // namespace zbtest
