#include "core/PackageOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(PackageOptions, DefaultsDescribeAnInteractiveBothArchitecturePackage)
{
    const PackageOptions options;
    EXPECT_TRUE(options.GetInclude32Bit());
    EXPECT_TRUE(options.GetInclude64Bit());
    EXPECT_TRUE(options.GetIncludeComponents());
    EXPECT_FALSE(options.GetCommandLineMode() || options.GetSkipChecks() || options.GetOutputIsFolder() ||
                 options.GetManaged() || options.GetFirewall() || options.GetPatch() || options.GetTrafficDetection() ||
                 options.GetExploitPrevention() || options.GetUseSecondaryLocation() || options.GetSilent() ||
                 options.GetNonInteractive());
    EXPECT_TRUE(options.GetSetupParameters().empty());
    EXPECT_TRUE(options.GetProgramFolder().empty());
}

TEST(PackageOptions, KnownParametersTable)
{
    const PackageOptions options;
    const auto& known = options.GetKnownSetupParameters();
    ASSERT_EQ(known.size(), 17u);
    const std::vector<std::wstring> withoutValue = {L"-wofa", L"-pexo", L"-s", L"-ni", L"-login", L"-rlogin"};
    for (const auto& [name, takesValue] : known) {
        const bool flag = std::find(withoutValue.begin(), withoutValue.end(), name) != withoutValue.end();
        EXPECT_EQ(takesValue, !flag) << std::string(name.begin(), name.end());
    }
}

}  // namespace
