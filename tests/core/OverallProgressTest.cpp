#include "core/OverallProgress.h"
#include "core/StepProgress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Call {
    enum Kind { Percent, Status, Step } kind;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

struct Case {
    const char* name;
    std::vector<Call> calls;
    int expected;
};

TEST(OverallProgress, MovesWithinAStepAndNeverBack)
{
    const Case cases[] = {
        {"nothing yet", {}, 0},
        {"a job percentage", {{Call::Percent, 40}}, 40},
        {"half of the copy step", {{Call::Percent, 20}, {Call::Status}, {Call::Step, 50, 100}}, 30},
        {"a finished step stops short of the next percentage",
         {{Call::Percent, 60}, {Call::Status}, {Call::Step, 100, 100}},
         79},
        {"more than the whole counts as the whole", {{Call::Percent, 20}, {Call::Step, 900, 100}}, 39},
        {"an unknown total moves nothing", {{Call::Percent, 20}, {Call::Step, 5, 0}}, 20},
        {"the next percentage takes over", {{Call::Percent, 20}, {Call::Step, 99, 100}, {Call::Percent, 40}}, 40},
        {"a failed step's successor does not go back",
         {{Call::Percent, 20}, {Call::Status}, {Call::Step, 50, 100}, {Call::Status}, {Call::Step, 0, 100}},
         30},
        {"and moves on from where the bar stands",
         {{Call::Percent, 20}, {Call::Status}, {Call::Step, 50, 100}, {Call::Status}, {Call::Step, 50, 100}},
         40},
        {"the last step ends below 100", {{Call::Percent, 80}, {Call::Status}, {Call::Step, 1, 1}}, 99},
        {"nothing passes 100", {{Call::Percent, 100}, {Call::Status}, {Call::Step, 1, 1}}, 100},
        {"bytes beyond 32 bits", {{Call::Percent, 20}, {Call::Step, 3ull << 32, 4ull << 32}}, 35},
    };
    for (const auto& c : cases) {
        OverallProgress progress;
        for (const auto& call : c.calls) {
            switch (call.kind) {
            case Call::Percent:
                progress.SetProgress(static_cast<int>(call.done));
                break;
            case Call::Status:
                progress.StartStep();
                break;
            case Call::Step:
                progress.SetStepProgress(call.done, call.total);
                break;
            }
        }
        EXPECT_EQ(progress.Percent(), c.expected) << c.name;
    }
}

class Silent : public IProgress {
public:
    void SetStatus(const std::wstring&) override {}
    void SetProgress(const int&) override {}
    void Refresh() override {}
};

class Listening : public Silent, public StepProgress {
public:
    void SetStepProgress(std::uint64_t d, std::uint64_t t) override { done = d, total = t; }
    std::uint64_t done = 0, total = 0;
};

TEST(StepProgress, ReachesOnlyAReporterThatListens)
{
    Silent silent;
    ReportStepProgress(&silent, 1, 2);
    Listening listening;
    IProgress* asInterface = &listening;
    ReportStepProgress(asInterface, 3, 4);
    EXPECT_EQ(listening.done, 3u);
    EXPECT_EQ(listening.total, 4u);
}

}  // namespace
