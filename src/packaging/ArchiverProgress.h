#pragma once

#include <optional>
#include <string>
#include <string_view>

// Follows the percentages the archiver prints while it packs (its -bsp1 output: "  3% + a.bin",
// then backspaces, then " 17% + a.bin", ...), fed in pieces however the output happens
// to be cut.
class ArchiverProgress {
public:
    // The latest percentage seen so far, once there is one.
    std::optional<int> Feed(std::string_view output);

private:
    std::string digits;
    // Whether the digits being read began after a blank, a backspace or a line end: a
    // number glued to other text is part of a name, not a percentage.
    bool atStart = true;
    std::optional<int> latest;
};
