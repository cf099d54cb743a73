#pragma once

#include <QIcon>

namespace Ui {

// The application icon (resource 128): the windows' icon and the about box's picture.
QIcon ApplicationIcon();

}  // namespace Ui
