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
                 options.GetManaged() || options.GetFirewall() || options.GetPatch() ||
                 options.GetTrafficDetection() || options.GetExploitPrevention() ||
                 options.GetUseSecondaryLocation() || options.GetSilent() || options.GetNonInteractive());
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

TEST(PackageOptions, SetupParametersKeepFirstValueAndSortByCodeUnit)
{
    PackageOptions options;
    auto& parameters = options.GetSetupParameters();
    parameters.emplace(L"/ncd", L"");
    parameters.emplace(L"-g", L"first");
    parameters.emplace(L"-g", L"second");
    ASSERT_EQ(parameters.size(), 2u);
    EXPECT_EQ(parameters.begin()->first, L"-g");
    EXPECT_EQ(parameters.begin()->second, L"first");
}

TEST(PackageOptions, CopiesAreIndependent)
{
    PackageOptions original;
    original.SetSourceFolder(L"/srv/NORDAVIN");
    original.GetSetupParameters().emplace(L"-g", L"group");
    const PackageOptions copy(original);
    original.SetSourceFolder(L"/elsewhere");
    original.GetSetupParameters().clear();
    EXPECT_EQ(copy.GetSourceFolder(), L"/srv/NORDAVIN");
    EXPECT_EQ(copy.GetSetupParameters().at(L"-g"), L"group");
}

}  // namespace
