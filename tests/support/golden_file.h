// Golden files: a test's actual text is compared with the expected file under tests/golden/; a
// mismatch prints a unified-style diff of the lines. With ZB_UPDATE_GOLDEN=1 in the environment the
// expected file is rewritten instead (review the change in the commit).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zbtest {

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// A unified-style diff ("-" expected, "+" actual, three lines of context) of two line lists, from
// their longest common subsequence. Meant for files of a few thousand lines.
inline std::string UnifiedDiff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<uint32_t>> lcs(n + 1, std::vector<uint32_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    struct Op {
        char kind;
        size_t ai, bi;
    };
    std::vector<Op> ops;
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            ops.push_back({' ', i++, j++});
        } else if (i < n && (j == m || lcs[i + 1][j] >= lcs[i][j + 1])) {
            ops.push_back({'-', i++, j});
        } else {
            ops.push_back({'+', i, j++});
        }
    }
    constexpr size_t kContext = 3;
    std::string out;
    size_t k = 0;
    while (k < ops.size()) {
        if (ops[k].kind == ' ') {
            ++k;
            continue;
        }
        // One hunk: from kContext lines before this change to kContext lines after the last change
        // that lies within 2 * kContext lines of the one before it.
        size_t begin = k >= kContext ? k - kContext : 0;
        size_t end = k;
        while (end < ops.size()) {
            size_t next = end;
            while (next < ops.size() && ops[next].kind != ' ') ++next;
            size_t gap = next;
            while (gap < ops.size() && ops[gap].kind == ' ' && gap - next < 2 * kContext) ++gap;
            if (gap < ops.size() && ops[gap].kind != ' ') {
                end = gap;
            } else {
                end = next;
                break;
            }
        }
        const size_t stop = std::min(ops.size(), end + kContext);
        char head[64];
        std::snprintf(head, sizeof head, "@@ -%zu +%zu @@\n", ops[begin].ai + 1, ops[begin].bi + 1);
        out += head;
        for (size_t h = begin; h < stop; ++h) {
            const Op& op = ops[h];
            out += op.kind;
            out += op.kind == '+' ? b[op.bi] : a[op.ai];
            out += '\n';
        }
        k = stop;
    }
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
