#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace TestSupport {

// What a terminal shows after it received `bytes`, for output that moves the cursor only
// with carriage returns and line feeds: a carriage return goes back to the row's start, a
// line feed down one row, and every other byte takes the next column (rows never wrap).
struct TerminalScreen {
    explicit TerminalScreen(const std::string& bytes);

    std::vector<std::string> rows;  // trailing blanks cut off; the cursor's row is the last
    std::size_t widest = 0;  // the most columns any row ever used
};

}  // namespace TestSupport
