// halvex-obscure: reads one password from standard input and prints its
// obscured token, the value an administrator passes with -opwd. The password
// is never taken as an argument, where every user of the machine could read it.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "obfuscation/obscurity/Obfuscation.h"
#include "obfuscation/obscurity/SecureWipe.h"
#include "platform/SecretInput.h"
#include "platform/TextConversion.h"

namespace {

constexpr const char* kUsage =
    "usage: halvex-obscure < password-file\n"
    "       printf '%s\\n' \"$password\" | halvex-obscure\n"
    "       halvex-obscure --help | --version\n"
    "Reads one password (UTF-8, up to the line end) from standard input, without echo on a\n"
    "terminal, and prints its obscured token for halvex -opwd. The password is never an\n"
    "argument, where every user of the machine could read it.\n"
    "Exit status: 0 the token was printed; 1 no password, longer than 1024 bytes, not UTF-8,\n"
    "or an error; 2 usage.\n";

// Far above any password an update location takes, and small enough that no input can make
// the program read or obscure without end.
constexpr std::size_t kPasswordLimit = 1024;

constexpr const char* kVersion = "halvex-obscure " HALVEX_VERSION "\n";

// Owns a secret text and overwrites it on every way out.
template <typename Text>
struct Wiped {
    Text text;
    ~Wiped() { TolvarSecurity::SecureWipe(text); }
};

std::size_t Occurrences(std::string_view text, std::string_view what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// The whole text on standard output: 0 when it got there, 1 otherwise.
int Print(const char* text)
{
    return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--help")
        return Print(kUsage);
    if (argc == 2 && std::string_view(argv[1]) == "--version")
        return Print(kVersion);
    if (argc != 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Wiped<std::string> line;
    if (!Platform::ReadSecretLine("Password: ", line.text, kPasswordLimit)) {
        std::fputs("halvex-obscure: cannot read the password from standard input\n", stderr);
        return 1;
    }
    if (line.text.size() > kPasswordLimit) {
        std::fprintf(stderr, "halvex-obscure: the password is longer than %zu bytes; nothing obscured\n",
                     kPasswordLimit);
        return 1;
    }
    if (line.text.empty()) {
        std::fputs("halvex-obscure: the password is empty; nothing to obscure\n", stderr);
        return 1;
    }
    Wiped<std::wstring> password{Platform::WidenHostText(line.text)};
    // The conversion marks each invalid byte with U+FFFD: more marks than the input spelled out means bad UTF-8.
    if (static_cast<std::size_t>(std::count(password.text.begin(), password.text.end(), L'\xFFFD')) !=
        Occurrences(line.text, "\xEF\xBF\xBD")) {
        std::fputs("halvex-obscure: the password is not valid UTF-8 text\n", stderr);
        return 1;
    }

    std::string token;
    try {
        Obscurity::Obfuscation().obscure(password.text, token);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "halvex-obscure: %s\n", error.what());
        return 1;
    }
    if (std::printf("%s\n", token.c_str()) < 0 || std::fflush(stdout) != 0) {
        std::fputs("halvex-obscure: cannot write the token to standard output\n", stderr);
        return 1;
    }
    return 0;
}
