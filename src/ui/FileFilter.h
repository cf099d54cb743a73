#pragma once

#include <QStringList>

#include <string_view>

namespace Ui {

// Turns a filter in the "Description|pattern|Description|pattern||" form into the name
// filters a file dialog takes ("Description (pattern)"). Patterns separated by ";"
// become space-separated; a description that already shows its patterns is kept as is.
QStringList ToNameFilters(std::wstring_view filter);

}  // namespace Ui
