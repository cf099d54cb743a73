#pragma once

#include <cstdint>

#include "core/IProgress.h"

// How far the job's current step has got: `done` of `total` (bytes, or the step's own
// units). The job's percentages only move between steps, and a step can take minutes; a
// reporter that can show movement within a step implements this beside IProgress. The
// steps report through ReportStepProgress and never learn whether anyone listens.
class StepProgress {
public:
    virtual ~StepProgress() = default;
    virtual void SetStepProgress(std::uint64_t done, std::uint64_t total) = 0;
};

// Passes a step's progress on to `progress` when it can show it.
inline void ReportStepProgress(IProgress* progress, std::uint64_t done, std::uint64_t total)
{
    if (auto* listener = dynamic_cast<StepProgress*>(progress))
        listener->SetStepProgress(done, total);
}
