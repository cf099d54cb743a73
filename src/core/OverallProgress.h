#pragma once

#include <cstdint>

// The overall percentage a reporter shows: the job's last percentage, plus the current
// step's share of the way to the next one (the job's percentages are 20 apart). It never
// goes down, even when a failed step is followed by one that starts again from zero.
class OverallProgress {
public:
    // One of the job's own percentages: a new step starts from there.
    void SetProgress(int percent);
    // A new status: a new step, which starts with nothing done.
    void StartStep();
    void SetStepProgress(std::uint64_t done, std::uint64_t total);
    int Percent() const { return shown; }

private:
    int base = 0;
    int shown = 0;
};
