#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// The text of the command line's progress line: the step's status text, the overall
// percentage and the time since the run started, as in
// "Creating the final self-extracting archive...  67%  1:42".
//
// It is at most `columns` - 1 characters long: a character in the last column leaves many
// terminals about to wrap, and the next one would then start a new line that a carriage
// return no longer reaches. A status text too long for the rest is cut and ends in "...";
// the figures are never cut. A terminal too narrow even for the figures gets an empty text.
std::wstring ProgressLineText(std::wstring_view status, int percent, std::chrono::seconds elapsed, std::size_t columns);

// "m:ss" within the first hour, "h:mm:ss" from then on.
std::wstring ElapsedText(std::chrono::seconds elapsed);
