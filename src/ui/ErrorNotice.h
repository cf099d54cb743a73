#pragma once

#include <string>

namespace Platform {

// Tells the user about an error that ended the run. While a graphical session is open: a
// message box with the caption, the text and the error icon, waiting for OK. Otherwise:
// "caption: text" as one line on standard error, without waiting.
void ShowErrorNotice(const std::wstring& caption, const std::wstring& text);

}  // namespace Platform
