#include "support/TerminalScreen.h"

#include <algorithm>

namespace TestSupport {

TerminalScreen::TerminalScreen(const std::string& bytes)
{
    rows.emplace_back();
    std::size_t column = 0;
    for (const char byte : bytes) {
        if (byte == '\r') {
            column = 0;
        } else if (byte == '\n') {
            rows.emplace_back(column, ' ');
        } else {
            std::string& row = rows.back();
            if (row.size() <= column)
                row.resize(column + 1, ' ');
            row[column++] = byte;
            widest = std::max(widest, column);
        }
    }
    for (auto& row : rows)
        row.erase(row.find_last_not_of(' ') + 1);
}

}  // namespace TestSupport
