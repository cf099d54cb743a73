#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QRadioButton;

namespace Ui {

// Radio buttons that act as one choice for the user: clicking one (or moving to it
// with the arrow keys) selects it and clears all the others. The program itself may
// still tick several at once, as the main dialog does when it opens with both Silent
// and Non-interactive set; the next choice by the user clears that again.
class RadioGroup : public QObject {
    Q_OBJECT
public:
    RadioGroup(std::initializer_list<QRadioButton*> buttons, QObject* parent);

private:
    void Select(QRadioButton* chosen);

    std::vector<QRadioButton*> buttons;
};

}  // namespace Ui
