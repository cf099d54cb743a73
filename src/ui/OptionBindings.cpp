#include "ui/OptionBindings.h"

#include "core/PackageOptions.h"
#include "ui/HalvexDlgControls.h"

namespace Ui {
namespace {

using enum Opening;
using enum Transfer;
using O = PackageOptions;

// The secondary location and its credentials always open empty, whatever the options hold,
// and go into the options over what the parameters field set.
constexpr TextBinding kTexts[] = {
    {IDC_SOURCE_FOLDER, &O::GetSourceFolder, &O::SetSourceFolder, "sourceFolder", FromOption, BeforeParameters, false},
    {IDC_OUTPUT_PACKAGE, &O::GetOutputPackage, &O::SetOutputPackage, "outputPackage", FromOption, BeforeParameters,
     true},
    {IDC_SERVER_URL, &O::GetManagementServerUrl, &O::SetManagementServerUrl, "managementServerUrl", FromOption,
     BeforeParameters, false},
    {IDC_PRIMARY_LOCATION, &O::GetPrimaryUpdateLocation, &O::SetPrimaryUpdateLocation, "primaryUpdateLocation",
     FromOption, BeforeParameters, false},
    {IDC_PRIMARY_USER, &O::GetPrimaryUserName, &O::SetPrimaryUserName, "primaryUserName", FromOption, BeforeParameters,
     false},
    {IDC_PRIMARY_PASSWORD, &O::GetPrimaryPassword, &O::SetPrimaryPassword, nullptr, FromOption, BeforeParameters,
     false},
    {IDC_SECONDARY_LOCATION, &O::GetSecondaryUpdateLocation, &O::SetSecondaryUpdateLocation, "secondaryUpdateLocation",
     Remembered, AfterParameters, false},
    {IDC_SECONDARY_USER, &O::GetSecondaryUserName, &O::SetSecondaryUserName, "secondaryUserName", Remembered,
     AfterParameters, false},
    {IDC_SECONDARY_PASSWORD, &O::GetSecondaryPassword, &O::SetSecondaryPassword, nullptr, Remembered, AfterParameters,
     false},
    {IDC_SIGN_FILE, nullptr, nullptr, "signingFile", Remembered, Signing, true},
    {IDC_SIGN_PASSWORD, nullptr, nullptr, nullptr, Remembered, Signing, false},
    {IDC_TIMESTAMP_URL, &O::GetTimestampUrl, &O::SetTimestampUrl, "timestampUrl", FromOption, Signing, false},
};

constexpr TickBinding kTicks[] = {
    {IDC_MANAGED, &O::GetManaged, &O::SetManaged, "managed", kNoId, BeforeParameters},
    {IDC_FIREWALL, &O::GetFirewall, &O::SetFirewall, "firewall", kNoId, BeforeParameters},
    {IDC_PATCH, &O::GetPatch, &O::SetPatch, "patch", kNoId, BeforeParameters},
    {IDC_TRAFFIC_DETECTION, &O::GetTrafficDetection, &O::SetTrafficDetection, "trafficDetection", kNoId,
     BeforeParameters},
    {IDC_EXPLOIT_PREVENTION, &O::GetExploitPrevention, &O::SetExploitPrevention, "exploitPrevention", kNoId,
     BeforeParameters},
    {IDC_IN_PACKAGE, &O::GetIncludeComponents, &O::SetIncludeComponents, "includeComponents", IDC_AUTOUPDATE_DOWNLOADS,
     BeforeParameters},
    {IDC_USE_SECONDARY, &O::GetUseSecondaryLocation, &O::SetUseSecondaryLocation, "useSecondaryLocation", kNoId,
     AfterParameters},
};

}  // namespace

const ChoiceBinding kArchitectureChoice = {
    "architecture", {{{IDC_32BIT_ONLY, "32-bit"}, {IDC_64BIT_ONLY, "64-bit"}, {IDC_BOTH_ARCHITECTURES, "both"}}}};
const ChoiceBinding kInstallationTypeChoice = {
    "installationType",
    {{{IDC_SILENT, "silent"}, {IDC_INTERACTIVE, "interactive"}, {IDC_NON_INTERACTIVE, "non-interactive"}}}};

std::span<const TextBinding> TextBindings()
{
    return kTexts;
}

std::span<const TickBinding> TickBindings()
{
    return kTicks;
}

}  // namespace Ui
