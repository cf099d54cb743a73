#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace Ui {

// Radio buttons that act as one choice for the user: clicking one, or moving to it with
// the arrow keys, selects it and clears all the others. The program itself may still
// tick several at once (Tick), as the main dialog does when it opens with both Silent
// and Non-interactive set; the user's next choice clears that again.
class RadioGroup : public QObject {
    Q_OBJECT
public:
    RadioGroup(std::initializer_list<QRadioButton*> buttons, QObject* parent);

    // Ticks or clears one button and leaves the others as they are.
    void Tick(QRadioButton* button, bool ticked);
    // Ticks one button and clears all the others, as the user's choice does.
    void Select(QRadioButton* chosen);

private:
    QButtonGroup* group;
    std::vector<QRadioButton*> buttons;
};

}  // namespace Ui
