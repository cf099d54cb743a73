#include "core/OverallProgress.h"

#include <algorithm>

namespace {

constexpr int kStepSpan = 20;

}  // namespace

void OverallProgress::SetProgress(int percent)
{
    base = std::clamp(percent, 0, 100);
    shown = std::max(shown, base);
}

void OverallProgress::StartStep()
{
    base = shown;
}

void OverallProgress::SetStepProgress(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return;
    const int span = std::min(kStepSpan, 100 - base);
    // A step's own share stops short of the next percentage: only the job says a step is done.
    const auto share = static_cast<int>(std::min(done, total) * static_cast<std::uint64_t>(span) / total);
    shown = std::max(shown, base + std::min(share, span > 0 ? span - 1 : 0));
}
