// Change list to raw samples: each change holds its levels until the next change.
#include "bissgen/samples.h"

#include <algorithm>
#include <cstring>

namespace bissgen {

uint64_t SampleExpander::SampleCount() const {
    if (capture_.changes.empty() || capture_.lastSample < 0) return 0;
    return static_cast<uint64_t>(capture_.lastSample) + 1;
}

void SampleExpander::Fill(uint64_t start, size_t count, uint8_t* out) {
    const std::vector<Change>& changes = capture_.changes;
    if (count == 0 || out == nullptr) return;
    if (changes.empty()) {
        std::memset(out, 0, count);
        return;
    }
    const int64_t begin = static_cast<int64_t>(std::min<uint64_t>(start, INT64_MAX / 2));
    if (index_ >= changes.size() || changes[index_].position > begin) index_ = 0;
    while (index_ + 1 < changes.size() && changes[index_ + 1].position <= begin) ++index_;
    size_t done = 0;
    while (done < count) {
        const Change& c = changes[index_];
        const uint8_t level = static_cast<uint8_t>((c.ma ? kMaBit : 0) | (c.slo ? kSloBit : 0));
        const int64_t here = begin + static_cast<int64_t>(done);
        size_t run = count - done;
        if (index_ + 1 < changes.size()) {
            run = std::min<size_t>(run, static_cast<size_t>(changes[index_ + 1].position - here));
        }
        std::memset(out + done, level, run);
        done += run;
        if (done < count) ++index_;
    }
}

}  // namespace bissgen
