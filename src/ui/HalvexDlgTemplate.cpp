#include "ui/HalvexDlgTemplate.h"

#include "ui/HalvexDlgControls.h"

namespace Ui {
namespace {

using enum ControlKind;

// Positions are relative to the dialog, group boxes included: the frames are drawn behind
// the controls, not around them. The names for screen readers tell the Browse buttons and
// the two pairs of credentials apart, which would otherwise sound alike.
constexpr ControlTemplate kMainDialog[] = {
    {kNoId, Group, "Package", 7, 7, 474, 195, nullptr},
    {kNoId, Label, "Source &folder:", 18, 19, 72, 8, nullptr},
    {IDC_SOURCE_FOLDER, Edit, nullptr, 115, 17, 282, 14, "Source folder"},
    {IDC_BROWSE_SOURCE, Button, "Browse...", 413, 16, 57, 16, "Browse for the source folder"},
    {IDC_MANAGED, Check, "Remote Management System (KETT)", 18, 36, 130, 10, "Remote Management System (KETT)"},
    {IDC_FIREWALL, Check, "Firewall", 18, 68, 80, 10, "Firewall"},
    {IDC_PATCH, Check, "Patch", 18, 84, 80, 10, "Patch"},
    // A label without a mnemonic still names its field for assistive tools.
    {IDC_SERVER_URL_LABEL, Label, "Management server URL:", 140, 70, 85, 8, nullptr},
    {IDC_SERVER_URL, Edit, nullptr, 240, 69, 230, 14, "Management server URL"},
    {IDC_INCLUDE_LABEL, Label, "Include selected components:", 18, 117, 102, 9, nullptr},
    {IDC_IN_PACKAGE, Radio, "In the package", 140, 117, 77, 10, "Include selected components in the package"},
    {IDC_AUTOUPDATE_DOWNLOADS, Radio, "Configure AutoUpdate to download components", 240, 117, 198, 10,
     "Configure AutoUpdate to download components"},
    {IDC_OS_TYPE_LABEL, Label, "Operating &system type:", 18, 132, 117, 9, nullptr},
    {IDC_BOTH_ARCHITECTURES, Radio, "32-bit and 64-bit", 140, 132, 77, 10, "Operating system type: 32-bit and 64-bit"},
    {IDC_32BIT_ONLY, Radio, "32-bit only", 240, 132, 77, 10, "Operating system type: 32-bit only"},
    {IDC_64BIT_ONLY, Radio, "64-bit only", 334, 132, 77, 10, "Operating system type: 64-bit only"},
    {kNoId, Label, "&Installation type:", 18, 147, 117, 9, nullptr},
    {IDC_SILENT, Radio, "Silent", 140, 147, 77, 10, "Installation type: silent"},
    {IDC_NON_INTERACTIVE, Radio, "Non-interactive", 240, 147, 77, 10, "Installation type: non-interactive"},
    {IDC_INTERACTIVE, Radio, "Interactive", 334, 147, 77, 10, "Installation type: interactive"},
    {kNoId, Label, "&Additional setup parameters:", 18, 163, 117, 9, nullptr},
    {IDC_SETUP_PARAMETERS, Edit, nullptr, 118, 162, 282, 14, "Additional setup parameters"},
    {kNoId, Label, "&Output package:", 18, 180, 72, 8, nullptr},
    {IDC_OUTPUT_PACKAGE, Edit, nullptr, 118, 179, 282, 14, "Output package"},
    {IDC_BROWSE_OUTPUT, Button, "Browse...", 413, 179, 57, 16, "Browse for the output package"},

    {kNoId, Group, "Updating", 7, 204, 474, 102, nullptr},
    {IDC_PRIMARY_LOCATION_LABEL, Label, "&Primary update location:", 18, 215, 91, 8, nullptr},
    {IDC_PRIMARY_LOCATION, Edit, nullptr, 118, 214, 282, 14, "Primary update location"},
    {IDC_BROWSE_PRIMARY, Button, "Browse...", 413, 213, 57, 16, "Browse for the primary update location"},
    {IDC_PRIMARY_USER_LABEL, Label, "User&name:", 18, 233, 82, 8, nullptr},
    {IDC_PRIMARY_USER, Edit, nullptr, 118, 231, 132, 14, "User name for the primary update location"},
    {IDC_PRIMARY_PASSWORD_LABEL, Label, "Pass&word:", 281, 234, 53, 8, nullptr},
    {IDC_PRIMARY_PASSWORD, Password, nullptr, 339, 232, 132, 14, "Password for the primary update location"},
    {IDC_USE_SECONDARY, Check, "Use a secondary location", 18, 254, 182, 10, "Use a secondary location"},
    {IDC_SECONDARY_LOCATION_LABEL, Label, "Secondary update &location:", 18, 269, 89, 8, nullptr},
    {IDC_SECONDARY_LOCATION, Combo, nullptr, 118, 268, 282, 14, "Secondary update location"},
    {IDC_BROWSE_SECONDARY, Button, "Browse...", 413, 267, 57, 16, "Browse for the secondary update location"},
    {IDC_SECONDARY_USER_LABEL, Label, "Userna&me:", 18, 286, 82, 8, nullptr},
    {IDC_SECONDARY_USER, Edit, nullptr, 118, 285, 132, 14, "User name for the secondary update location"},
    {IDC_SECONDARY_PASSWORD_LABEL, Label, "Passwo&rd:", 281, 286, 53, 8, nullptr},
    {IDC_SECONDARY_PASSWORD, Password, nullptr, 338, 285, 132, 14, "Password for the secondary update location"},

    {kNoId, Group, "Sign the package", 7, 308, 474, 50, nullptr},
    {kNoId, Label, "C&ertificate or PKCS#12 file:", 18, 320, 99, 8, nullptr},
    {IDC_SIGN_FILE, Edit, nullptr, 118, 319, 282, 14, "Signing certificate or PKCS#12 file"},
    {IDC_BROWSE_SIGN_FILE, Button, "Browse...", 413, 318, 57, 16, "Browse for the signing certificate or PKCS#12 file"},
    {kNoId, Label, "&Key password:", 18, 339, 82, 8, nullptr},
    {IDC_SIGN_PASSWORD, Password, nullptr, 118, 337, 132, 14, "Password of the signing key"},
    {kNoId, Label, "&Time-stamp URL:", 262, 339, 72, 8, nullptr},
    {IDC_TIMESTAMP_URL, Edit, nullptr, 338, 337, 132, 14, "Time-stamp server URL"},

    {IDOK, Button, "Build Package", 298, 363, 57, 16, "Build Package"},
    {IDCANCEL, Button, "Cancel", 362, 363, 57, 16, "Cancel"},
    {IDC_HELP, Button, "Help", 424, 363, 57, 16, "Help"},
    {IDC_TRAFFIC_DETECTION, Check, "ZIMR", 18, 100, 29, 10, "ZIMR"},
    {IDC_EXPLOIT_PREVENTION, Check, "Exploit Prevention", 18, 52, 162, 10, "Exploit Prevention"},
};

}  // namespace

std::span<const ControlTemplate> MainDialogTemplate()
{
    return kMainDialog;
}

}  // namespace Ui
