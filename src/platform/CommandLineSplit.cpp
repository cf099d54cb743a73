#include "platform/CommandLineSplit.h"

namespace Platform {
namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine)
{
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    const std::size_t size = commandLine.size();

    // The program name: no escapes, a leading quote runs to the next quote.
    std::wstring program;
    if (i < size && commandLine[i] == L'"') {
        ++i;
        while (i < size && commandLine[i] != L'"')
            program.push_back(commandLine[i++]);
        if (i < size)
            ++i;
    }
    while (i < size && !IsBlank(commandLine[i]))
        program.push_back(commandLine[i++]);
    arguments.push_back(std::move(program));

    while (true) {
        while (i < size && IsBlank(commandLine[i]))
            ++i;
        if (i == size)
            break;
        std::wstring argument;
        bool quoted = false;
        while (i < size && (quoted || !IsBlank(commandLine[i]))) {
            const wchar_t c = commandLine[i];
            if (c == L'\\') {
                std::size_t backslashes = 0;
                while (i < size && commandLine[i] == L'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < size && commandLine[i] == L'"') {
                    argument.append(backslashes / 2, L'\\');
                    if (backslashes % 2 == 1) {
                        argument.push_back(L'"');
                        ++i;
                    }
                } else {
                    argument.append(backslashes, L'\\');
                }
            } else if (c == L'"') {
                if (quoted && i + 1 < size && commandLine[i + 1] == L'"') {
                    argument.push_back(L'"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument.push_back(c);
                ++i;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

}  // namespace Platform
