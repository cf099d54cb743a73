#include "ui/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace Ui {

RadioGroup::RadioGroup(std::initializer_list<QRadioButton*> members, QObject* parent)
    : QObject(parent), buttons(members)
{
    // A non-exclusive button group keeps the arrow-key navigation between the members
    // and lets the program tick more than one; exclusivity for the user comes from Select.
    auto* group = new QButtonGroup(this);
    group->setExclusive(false);
    for (QRadioButton* button : buttons) {
        button->setAutoExclusive(false);
        group->addButton(button);
        connect(button, &QRadioButton::clicked, this, [this, button] { Select(button); });
    }
}

void RadioGroup::Select(QRadioButton* chosen)
{
    for (QRadioButton* button : buttons)
        button->setChecked(button == chosen);
}

}  // namespace Ui
