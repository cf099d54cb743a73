#pragma once

#include <string>

class QDialog;

namespace Ui {

// What the dialogs ask of the desktop: running a modal box (message boxes, file
// dialogs, the about box) and opening an address. The program uses the desktop's own
// (DesktopDialogHost); tests put one in their place so boxes never block a run.
class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    // Runs the box modally and returns its result code (QDialog::Accepted, a button).
    virtual int RunModal(QDialog& dialog) = 0;
    // Opens the address; the result is the desktop's answer, which callers may ignore.
    virtual bool OpenAddress(const std::wstring& address) = 0;
};

IDialogHost& DesktopDialogHost();

}  // namespace Ui
