#include "packaging/ArchiverProgress.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(ArchiverProgress, LatestPercentageHoweverTheOutputIsCut)
{
    // What the archiver prints with -bsp1 when its output is not a terminal.
    const std::string run =
        "\n7-Zip (a) 16.02 : Copyright (c) 1999-2016 Igor Pavlov\n\nScanning the drive:\n"
        "  0M Scan  ./w/\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b               \b\b\b\b\b\b\b\b\b\b\b\b\b\b\b"
        "1 file, 30000000 bytes (29 MiB)\n\nCreating archive: out.7z\n\n"
        "Add new data to archive: 1 file, 30000000 bytes (29 MiB)\n\n"
        "  0%\b\b\b\b    \b\b\b\b  3% + a.bin\b\b\b\b\b\b\b\b\b\b\b\b            \b\b\b\b\b\b\b\b\b\b\b\b"
        " 17% + a.bin\b\b\b\b\b\b\b\b\b\b\b\b            \b\b\b\b\b\b\b\b\b\b\b\b";
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"nothing printed yet", {""}, std::nullopt},
        {"the banner and the scan have no percentage", {run.substr(0, run.find("  0%"))}, std::nullopt},
        {"the whole run so far", {run}, 17},
        {"cut inside a number", {run.substr(0, run.size() - 40), run.substr(run.size() - 40)}, 17},
        {"cut between the digits and the sign", {" 4", "2", "% + x"}, 42},
        {"a hundred", {"100%"}, 100},
        {"more than a hundred is no percentage", {" 7%\b\b\b 250%"}, 7},
        {"a number glued to a name is not a percentage", {"  5% + f50%.txt"}, 5},
        {"four digits are not a percentage", {" 1234%"}, std::nullopt},
    };
    for (const auto& c : cases) {
        ArchiverProgress progress;
        std::optional<int> latest;
        for (const auto& piece : c.pieces)
            latest = progress.Feed(piece);
        EXPECT_EQ(latest, c.expected) << c.name;
    }
}

}  // namespace
