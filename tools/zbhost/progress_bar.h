// A one-line progress bar on stderr for long reads and decodes, drawn only when stderr is a
// terminal and redrawn only when the shown percentage changes. An interrupt ends a line that is
// still open, so the shell's prompt does not land behind the bar.
#pragma once

#include <cstdint>

namespace zbhost {

class ProgressBar {
  public:
    // `label` must outlive the bar; the bar stays silent unless `wanted` and stderr is a terminal.
    ProgressBar(const char* label, bool wanted);
    void Show(uint32_t permille);
    // Draws 100% and ends the line (only when something was drawn).
    void Finish();
    // Ends the line of a bar that is being drawn (async-signal-safe, for the interrupt handler).
    static void EndLineAfterSignal();

  private:
    const char* label_;
    bool enabled_;
    int shownPercent_ = -1;
};

}  // namespace zbhost
