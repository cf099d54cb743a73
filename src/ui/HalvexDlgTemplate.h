#pragma once

#include <span>

namespace Ui {

// What a control of the main dialog's template is.
enum class ControlKind {
    Group,  // a frame with a title, behind the controls it holds
    Label,  // names the control after it, which its mnemonic moves to
    Edit,  // a one-line field
    Password,  // a one-line field that shows no text
    Combo,  // an editable list
    Button,
    Check,
    Radio,
};

// One control of the main dialog's template: its id (kNoId for a control the dialog never
// addresses), kind, text (none for fields), place and size in dialog units, and its name
// for assistive tools (none for frames and labels, which name the control after them).
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
    const char* accessibleName;
};

// The template's size and where its button row starts, below the last group box, in
// dialog units.
constexpr int kTemplateWidth = 488;
constexpr int kTemplateHeight = 387;
constexpr int kButtonRowTop = 360;

// Every control of the main dialog in template order, which is also the keyboard focus order.
std::span<const ControlTemplate> MainDialogTemplate();

}  // namespace Ui
