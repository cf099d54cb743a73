#include "ui/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace Ui {

RadioGroup::RadioGroup(std::initializer_list<QRadioButton*> members, QObject* parent)
    : QObject(parent),
      group(new QButtonGroup(this)),
      buttons(members)
{
    for (QRadioButton* button : buttons) {
        group->addButton(button);
        // The group alone clears only the button it last saw ticked; after Tick there may be more.
        connect(button, &QRadioButton::clicked, this, [this, button] { Select(button); });
    }
}

void RadioGroup::Tick(QRadioButton* button, bool ticked)
{
    group->setExclusive(false);
    button->setChecked(ticked);
    group->setExclusive(true);
}

void RadioGroup::Select(QRadioButton* chosen)
{
    // Exclusivity is lifted meanwhile: it would refuse to clear the button the group
    // last saw ticked, and may just have cleared the chosen one if it was ticked already.
    group->setExclusive(false);
    for (QRadioButton* button : buttons)
        button->setChecked(button == chosen);
    group->setExclusive(true);
}

}  // namespace Ui
