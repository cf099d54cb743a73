#include "ui/DialogHost.h"

#include "ui/ShellOpen.h"

#include <QDialog>

namespace Ui {
namespace {

class CDesktopDialogHost final : public IDialogHost {
public:
    int RunModal(QDialog& dialog) override { return dialog.exec(); }
    bool OpenAddress(const std::wstring& address) override { return Platform::ShellOpen(address); }
};

}  // namespace

IDialogHost& DesktopDialogHost()
{
    static CDesktopDialogHost host;
    return host;
}

}  // namespace Ui
