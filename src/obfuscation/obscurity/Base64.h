#pragma once

#include <cstddef>

namespace Obscurity {

// The standard Base64 alphabet, "=" padding to whole groups of four, no line
// breaks. length is the room at output on entry and the characters written on
// return. False, with nothing written, when the room is too small.
bool Base64Encode(const unsigned char* data, std::size_t size, char* output, std::size_t& length);

// Decodes up to textLength characters of text, stopping early at a NUL. Any
// character outside the alphabet ("=" included) is skipped. Each group of four
// gives three bytes; a last group of three or two gives two or one byte, a last
// single character nothing. length is the room at output on entry and the bytes
// written on return. False when the bytes would not fit.
bool Base64Decode(const char* text, std::size_t textLength, unsigned char* output, std::size_t& length);

}  // namespace Obscurity
