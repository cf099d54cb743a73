#include "packaging/ArchiverProgress.h"

namespace {

bool Separates(char c)
{
    return c == ' ' || c == '\b' || c == '\r' || c == '\n' || c == '\t';
}

}  // namespace

std::optional<int> ArchiverProgress::Feed(std::string_view output)
{
    for (const char c : output) {
        if (c >= '0' && c <= '9' && (atStart || !digits.empty()) && digits.size() < 3) {
            digits.push_back(c);
            atStart = false;
            continue;
        }
        if (c == '%' && !digits.empty()) {
            const int percent = std::stoi(digits);
            if (percent <= 100)
                latest = percent;
        }
        digits.clear();
        atStart = Separates(c);
    }
    return latest;
}
