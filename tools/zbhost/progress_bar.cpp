// Progress bar drawing.
#include "progress_bar.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define ZB_ISATTY _isatty
#define ZB_FILENO _fileno
#else
#include <unistd.h>
#define ZB_ISATTY isatty
#define ZB_FILENO fileno
#endif

namespace zbhost {

namespace {
constexpr int kBarWidth = 40;
}

ProgressBar::ProgressBar(const char* label, bool wanted)
    : label_(label), enabled_(wanted && ZB_ISATTY(ZB_FILENO(stderr))) {}

void ProgressBar::Show(uint32_t permille) {
    if (!enabled_) return;
    const int percent = static_cast<int>((permille > 1000 ? 1000 : permille) / 10);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    char bar[kBarWidth + 1];
    const int filled = percent * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%-8s [%s] %3d%%", label_, bar, percent);
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!enabled_ || shownPercent_ < 0) return;
    Show(1000);
    std::fputc('\n', stderr);
}

}  // namespace zbhost
