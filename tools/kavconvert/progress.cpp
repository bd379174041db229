#include "tools/kavconvert/progress.h"

#include <cstdio>

namespace kav {

Progress::Progress(std::string l, uint64_t t) : Progress(std::move(l), t, t >= kLargeWork) {}

Progress::Progress(std::string l, uint64_t t, bool s)
    : label(std::move(l)), total(t > 0 ? t : 1), shown(s) {}

Progress::~Progress() {
    Finish();
}

void Progress::Print(uint64_t done) {
    uint64_t percent = done >= total ? 100 : done * 100 / total;
    std::printf("\r-> %s: %3u%%", label.c_str(), static_cast<unsigned>(percent));
    std::fflush(stdout);
    nextAt = percent + 1;
}

void Progress::Finish() {
    if (!shown) return;
    if (nextAt <= 100) Print(total);
    std::printf("\n");
    std::fflush(stdout);
    shown = false;
}

}  // namespace kav
