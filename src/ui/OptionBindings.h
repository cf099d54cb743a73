#pragma once

#include <array>
#include <span>
#include <string>
#include <utility>

class PackageOptions;

namespace Ui {

// When a field's value goes into the options on Build: before the parameters field is
// applied, which may then change the option; after it, over whatever it set; or with the
// signing request, which the dialog puts together from its fields itself.
enum class Transfer { BeforeParameters, AfterParameters, Signing };

// Where a field's value comes from when the dialog opens: the option (which a remembered
// value fills when the arguments left it at its default), or the field starts empty and a
// remembered value fills the field.
enum class Opening { FromOption, Remembered };

// A text field bound to its option and its remembered-settings key (nullptr: never
// remembered, as no password is). A field without an option (`get` null) is one the dialog
// fills and reads itself.
struct TextBinding {
    int id;
    const std::wstring& (PackageOptions::*get)() const;
    void (PackageOptions::*set)(const std::wstring&);
    const char* key;
    Opening opening;
    Transfer transfer;
    // A file:// address typed here stands for the local path it names.
    bool localPath;
};

// A check box, or the first of two radio buttons (`otherwise` is the one ticked when the
// option is off; kNoId for a check box), bound to its option and remembered-settings key.
struct TickBinding {
    int id;
    bool (PackageOptions::*get)() const;
    void (PackageOptions::*set)(bool);
    const char* key;
    int otherwise;
    Transfer transfer;
};

// A radio group remembered as the text of its ticked button: the first ticked button in
// this order counts, the last one when none is.
struct ChoiceBinding {
    const char* key;
    std::array<std::pair<int, const char*>, 3> choices;
};

std::span<const TextBinding> TextBindings();
std::span<const TickBinding> TickBindings();
extern const ChoiceBinding kArchitectureChoice;
extern const ChoiceBinding kInstallationTypeChoice;

}  // namespace Ui
