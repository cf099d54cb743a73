#include "obfuscation/obscurity/Base64.h"

#include <array>
#include <cstdint>

namespace Obscurity {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t kNotInAlphabet = -1;

constexpr std::array<std::int8_t, 256> MakeValues()
{
    std::array<std::int8_t, 256> values{};
    values.fill(kNotInAlphabet);
    for (std::int8_t i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = i;
    return values;
}

constexpr std::array<std::int8_t, 256> kValues = MakeValues();

}  // namespace

bool Base64Encode(const unsigned char* data, std::size_t size, char* output, std::size_t& length)
{
    const std::size_t needed = (size + 2) / 3 * 4;
    if (length < needed)
        return false;
    char* out = output;
    for (std::size_t i = 0; i < size; i += 3) {
        const std::size_t left = size - i;
        const std::uint32_t group = std::uint32_t{data[i]} << 16 | (left > 1 ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                    (left > 2 ? std::uint32_t{data[i + 2]} : 0);
        *out++ = kAlphabet[group >> 18 & 0x3F];
        *out++ = kAlphabet[group >> 12 & 0x3F];
        *out++ = left > 1 ? kAlphabet[group >> 6 & 0x3F] : '=';
        *out++ = left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    length = needed;
    return true;
}

bool Base64Decode(const char* text, std::size_t textLength, unsigned char* output, std::size_t& length)
{
    const std::size_t room = length;
    std::size_t written = 0;
    std::uint32_t group = 0;
    int count = 0;
    // Writes the top `bytes` bytes of a group of `count` characters.
    auto flush = [&](int bytes) {
        if (written + static_cast<std::size_t>(bytes) > room)
            return false;
        const std::uint32_t bits = group << (6 * (4 - count));
        for (int b = 0; b < bytes; ++b)
            output[written++] = static_cast<unsigned char>(bits >> (16 - 8 * b));
        return true;
    };
    for (std::size_t i = 0; i < textLength && text[i] != '\0'; ++i) {
        const std::int8_t value = kValues[static_cast<unsigned char>(text[i])];
        if (value == kNotInAlphabet)
            continue;
        group = group << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            if (!flush(3))
                return false;
            group = 0;
            count = 0;
        }
    }
    if (count > 1 && !flush(count - 1))
        return false;
    length = written;
    return true;
}

}  // namespace Obscurity
