#pragma once

#include "ui/DialogHost.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// Stands in for the desktop in tests: every modal box is recorded and answered at
// once instead of waiting for a user, and opened addresses are only noted.
class RecordingDialogHost : public Ui::IDialogHost {
public:
    struct Box {
        QString className;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        Qt::TextInteractionFlags textFlags;
        bool ownedByDialog = false;
        bool enabled = false;
    };

    // Answers the next boxes, in order, before they are recorded (for example by
    // picking a file in a file dialog); without an answer a box is accepted as it is.
    using Answer = std::function<int(QDialog&)>;
    std::vector<Answer> answers;
    // Runs for every box while it is shown, before it is answered.
    std::function<void(QDialog&)> onShow;
    QWidget* owner = nullptr;
    // Whether the desktop manages to open an address (false: no browser).
    bool opensAddresses = true;

    std::vector<Box> boxes;
    std::vector<std::wstring> openedAddresses;

    int RunModal(QDialog& dialog) override
    {
        Box box;
        box.className = QString::fromLatin1(dialog.metaObject()->className());
        box.title = dialog.windowTitle();
        if (const auto* message = qobject_cast<QMessageBox*>(&dialog)) {
            box.text = message->text();
            box.icon = message->icon();
            box.textFlags = message->textInteractionFlags();
        }
        box.ownedByDialog = owner != nullptr && dialog.parentWidget() == owner;
        box.enabled = dialog.isEnabled();
        boxes.push_back(box);
        if (onShow) {
            dialog.show();
            onShow(dialog);
        }
        if (answers.empty())
            return QDialog::Accepted;
        const Answer answer = answers.front();
        answers.erase(answers.begin());
        return answer(dialog);
    }

    bool OpenAddress(const std::wstring& address) override
    {
        openedAddresses.push_back(address);
        return opensAddresses;
    }
};
