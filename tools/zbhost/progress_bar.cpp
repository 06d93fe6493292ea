// Progress bar drawing.
#include "progress_bar.h"

#include <csignal>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define ZB_ISATTY _isatty
#define ZB_FILENO _fileno
#define ZB_WRITE _write
#else
#include <unistd.h>
#define ZB_ISATTY isatty
#define ZB_FILENO fileno
#define ZB_WRITE ::write
#endif

namespace zbhost {

namespace {
constexpr int kBarWidth = 40;
// A bar has been drawn and its line not ended yet.
volatile std::sig_atomic_t g_lineOpen = 0;
}  // namespace

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
    g_lineOpen = 1;
}

void ProgressBar::Finish() {
    if (!enabled_ || shownPercent_ < 0) return;
    Show(1000);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    g_lineOpen = 0;
}

void ProgressBar::EndLineAfterSignal() {
    if (g_lineOpen == 0) return;
    g_lineOpen = 0;
    const auto ignored = ZB_WRITE(2, "\n", 1);
    (void)ignored;
}

}  // namespace zbhost
