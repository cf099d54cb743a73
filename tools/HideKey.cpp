// halvex-hidekey: reads 48 bytes of key material as 96 hexadecimal digits on
// standard input (whitespace ignored) and prints the four stored pieces as a
// KeyPieces initialiser for the library's constant data. The key is read from
// standard input so it never shows in a process list or a shell history.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "obfuscation/obscurity/KeyScramble.h"
#include "obfuscation/obscurity/SecureWipe.h"

namespace {

template <std::size_t N>
void printPiece(const std::array<unsigned char, N>& piece)
{
    std::printf("    {");
    for (std::size_t i = 0; i < N; ++i) {
        if (i != 0)
            std::printf(i % 12 == 0 ? ",\n     " : ", ");
        std::printf("0x%02x", piece[i]);
    }
    std::printf("},\n");
}

}  // namespace

int main(int argc, char**)
{
    if (argc != 1) {
        std::fprintf(stderr, "usage: halvex-hidekey < key.hex  (96 hexadecimal digits)\n");
        return 2;
    }
    std::string digits;
    for (int c; (c = std::getchar()) != EOF;) {
        if (std::isxdigit(c))
            digits.push_back(static_cast<char>(c));
        else if (!std::isspace(c)) {
            std::fprintf(stderr, "halvex-hidekey: not a hexadecimal digit: '%c'\n", c);
            return 1;
        }
    }
    if (digits.size() != 2 * Obscurity::kKeyMaterialSize) {
        std::fprintf(stderr, "halvex-hidekey: expected %u hexadecimal digits, got %zu\n",
                     2 * Obscurity::kKeyMaterialSize, digits.size());
        return 1;
    }
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    TolvarSecurity::membuff key(bytes.data(), Obscurity::kKeyMaterialSize);
    TolvarSecurity::SecureWipe(bytes.data(), bytes.size());
    TolvarSecurity::SecureWipe(digits);

    const Obscurity::KeyPieces pieces = Obscurity::hideKey(key);
    key.wipe();
    std::printf("static constexpr KeyPieces pieces{\n");
    printPiece(pieces.piece1);
    printPiece(pieces.piece2);
    printPiece(pieces.piece3);
    printPiece(pieces.piece4);
    std::printf("};\n");
    return 0;
}
