#include "packaging/PackagingJob.h"

#include <functional>

#include "PackagingTestSupport.h"

namespace {

using namespace PackagingTest;
using Folders = std::vector<std::wstring>;

struct Case {
    const char* name;
    std::function<void(PackageOptions&)> set;
    Folders components;
    Folders exploitPrevention;
    std::vector<std::string> logLines;
};

void EveryFeature(PackageOptions& options)
{
    options.SetPatch(true);
    options.SetManaged(true);
    options.SetFirewall(true);
    options.SetTrafficDetection(true);
    options.SetExploitPrevention(true);
}

const char* const kOpening = "About to establish which sub-packages to transfer... ";
const char* const kAutoUpdate = "Adding Veskor AutoUpdate to the list ";
const char* const kRemoval = "Adding Veskor Competitor Removal Tool to the list ";
const char* const kAntiVirus = "Adding Veskor Anti-Virus to the list ";
const char* const kPatch = "Adding Veskor Patch Agent to the list ";
const char* const kManaged = "Adding Veskor Remote Messaging System to the list ";
const char* const kFirewall = "Adding Veskor Client Firewall to the list ";
const char* const kTraffic = "Adding Veskor Malicious Traffic Detection to the list ";
const char* const kExploit = "Adding Exploit Prevention to the list ";
const Folders kAllExploit = {L"pexo", L"vanto", L"pexo64", L"vanto64"};

TEST(SelectComponents, FoldersAndLogLinesFollowTheOptions)
{
    const Case cases[] = {
        {"defaults",
         [](PackageOptions&) {},
         {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda", L"ynda64"},
         {},
         {kOpening, kAutoUpdate, kRemoval, kAntiVirus}},
        {"every feature, both architectures",
         EveryFeature,
         {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda", L"ynda64", L"gulv", L"gulv64", L"kett", L"wofa", L"zimr",
          L"zimr64"},
         kAllExploit,
         {kOpening, kAutoUpdate, kRemoval, kAntiVirus, kPatch, kManaged, kFirewall, kTraffic, kTraffic, kExploit}},
        {"32-bit with every feature",
         [](PackageOptions& o) {
             EveryFeature(o);
             o.SetInclude64Bit(false);
         },
         {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda", L"gulv", L"kett", L"wofa", L"zimr"},
         kAllExploit,
         {kOpening, kAutoUpdate, kRemoval, kAntiVirus, kPatch, kManaged, kFirewall, kTraffic, kExploit}},
        {"64-bit with traffic detection and exploit prevention",
         [](PackageOptions& o) {
             o.SetInclude32Bit(false);
             o.SetTrafficDetection(true);
             o.SetExploitPrevention(true);
         },
         {L"lorv", L"bexu", L"dimbel", L"torqel", L"ynda64", L"zimr64"},
         kAllExploit,
         {kOpening, kAutoUpdate, kRemoval, kAntiVirus, kTraffic, kExploit}},
        {"no architecture: the patch line stays, no folder",
         [](PackageOptions& o) {
             o.SetInclude32Bit(false);
             o.SetInclude64Bit(false);
             o.SetPatch(true);
         },
         {L"lorv", L"bexu", L"dimbel", L"torqel"},
         {},
         {kOpening, kAutoUpdate, kRemoval, kAntiVirus, kPatch}},
        {"components not included, every feature",
         [](PackageOptions& o) {
             EveryFeature(o);
             o.SetIncludeComponents(false);
         },
         {L"lorv", L"bexu", L"dimbel"},
         {},
         {kOpening, kAutoUpdate, kRemoval}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PackageOptions options;
        c.set(options);
        RecordingProgress progress;
        PackagingJob job(options, progress);
        LogRecord log;
        Folders components;
        Folders exploitPrevention;
        job.SelectComponents(components, exploitPrevention);
        EXPECT_EQ(components, c.components);
        EXPECT_EQ(exploitPrevention, c.exploitPrevention);
        EXPECT_EQ(log.Get(), c.logLines);
        EXPECT_EQ(progress.statuses, std::vector<std::wstring>{L"Establishing package components to transfer..."});
        EXPECT_EQ(progress.percents, std::vector<int>{20});
        EXPECT_TRUE(job.Succeeded());
    }
}

}  // namespace
