#include "inspect/SetupScriptReading.h"

#include <cwctype>

#include "platform/TextConversion.h"

namespace {

// The client's temporary folder, as the script finds it (GetSpecialFolder(2)).
constexpr const wchar_t* kClientFolder = L"%TEMP%\\halvex_temp";
// The package's own arguments, which the script gathers into this variable.
constexpr const wchar_t* kPackageArguments = L"scriptargs";
// Marks where the package's own arguments enter a command line while it is composed;
// the script's text is Windows-1252 and never holds this character.
constexpr wchar_t kArgumentsMark = L'\x1';

bool IsIdentifierStart(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_';
}

bool IsIdentifierPart(wchar_t c)
{
    return IsIdentifierStart(c) || (c >= L'0' && c <= L'9');
}

std::wstring Lower(std::wstring_view text)
{
    std::wstring lower(text);
    for (auto& c : lower)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return lower;
}

// Reads one statement of the script from left to right; `at` is the position in it.
class StatementReader {
public:
    explicit StatementReader(std::wstring_view text) : text(text) {}

    void SkipBlanks()
    {
        while (at < text.size() && (text[at] == L' ' || text[at] == L'\t'))
            ++at;
    }
    bool AtEnd()
    {
        SkipBlanks();
        return at >= text.size();
    }
    // Takes `word` (compared without case) when it comes next.
    bool Take(std::wstring_view word)
    {
        SkipBlanks();
        if (Lower(text.substr(at, word.size())) != word)
            return false;
        at += word.size();
        return true;
    }
    std::wstring Identifier()
    {
        SkipBlanks();
        const std::size_t start = at;
        if (at < text.size() && IsIdentifierStart(text[at]))
            while (at < text.size() && IsIdentifierPart(text[at]))
                ++at;
        return std::wstring(text.substr(start, at - start));
    }
    std::optional<int> Number()
    {
        SkipBlanks();
        int value = 0;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && at - start < 9)
            value = value * 10 + (text[at++] - L'0');
        if (at == start || (at < text.size() && text[at] >= L'0' && text[at] <= L'9'))
            return std::nullopt;
        return value;
    }

    // A string expression: literals, Chr(n) and variables joined by + or &. Variables
    // become what the client will have in them. Nothing when it is not one.
    std::optional<std::wstring> StringExpression()
    {
        std::wstring value;
        do {
            SkipBlanks();
            if (at < text.size() && text[at] == L'"') {
                auto literal = Literal();
                if (!literal)
                    return std::nullopt;
                value += *literal;
            } else if (Take(L"chr(")) {
                const auto code = Number();
                if (!code || *code > 255 || !Take(L")"))
                    return std::nullopt;
                value += Platform::FromWindows1252(std::string(1, static_cast<char>(*code)));
            } else {
                const std::wstring name = Lower(Identifier());
                if (name == L"sdstfolder")
                    value += kClientFolder;
                else if (name == kPackageArguments)
                    value += kArgumentsMark;
                else
                    return std::nullopt;
            }
        } while (Take(L"+") || Take(L"&"));
        return value;
    }

    std::wstring_view Rest()
    {
        SkipBlanks();
        return text.substr(at);
    }

private:
    std::optional<std::wstring> Literal()
    {
        std::wstring value;
        for (++at; at < text.size(); ++at) {
            if (text[at] != L'"') {
                value += text[at];
            } else if (at + 1 < text.size() && text[at + 1] == L'"') {
                value += L'"';
                ++at;
            } else {
                ++at;
                return value;
            }
        }
        return std::nullopt;
    }

    std::wstring_view text;
    std::size_t at = 0;
};

// `wshShell.run EXPRESSION, style, wait` or `variable = wshShell.run(EXPRESSION, ...)`.
std::optional<std::string> ReadRun(std::wstring_view statement, ScriptFacts& facts)
{
    StatementReader reader(statement);
    std::wstring variable;
    if (!reader.Take(L"wshshell.run")) {
        variable = reader.Identifier();
        if (variable.empty() || !reader.Take(L"=") || !reader.Take(L"wshshell.run"))
            return std::nullopt;
    }
    reader.Take(L"(");
    const auto command = reader.StringExpression();
    if (!command || !reader.Take(L","))
        return "a program run whose command line cannot be read: " + Platform::NarrowHostText(statement);
    std::wstring line = *command;
    ScriptRun run;
    run.resultVariable = Platform::NarrowHostText(Lower(variable));
    if (const auto mark = line.find(kArgumentsMark); mark != std::wstring::npos) {
        // Only as the last thing on the line, after one space.
        if (mark + 1 != line.size() || line.find(kArgumentsMark) != mark)
            return "the package's own arguments are placed inside a command line: " +
                   Platform::NarrowHostText(statement);
        run.passesPackageArguments = true;
        line.erase(mark);
    }
    auto words = SplitCommandLine(Platform::NarrowHostText(line));
    if (words.empty())
        return "a program run with an empty command line: " + Platform::NarrowHostText(statement);
    run.program = words.front();
    run.arguments.assign(words.begin() + 1, words.end());
    facts.runs.push_back(std::move(run));
    return std::string();
}

// `WScript.Quit(code)`, `WScript.Quit code` or `WScript.Quit(variable)`, anywhere on a line.
std::optional<std::string> ReadQuit(std::wstring_view statement, ScriptFacts& facts)
{
    const std::wstring lower = Lower(statement);
    const auto at = lower.find(L"wscript.quit");
    if (at == std::wstring::npos)
        return std::nullopt;
    StatementReader reader(statement.substr(at + std::wstring_view(L"wscript.quit").size()));
    const bool parenthesised = reader.Take(L"(");
    ScriptQuit quit;
    if (auto code = reader.Number())
        quit.code = code;
    else if (auto variable = Lower(reader.Identifier()); !variable.empty())
        quit.variable = Platform::NarrowHostText(variable);
    else if (!parenthesised && reader.AtEnd())
        quit.code = 0;
    else
        return "a quit whose exit code cannot be read: " + Platform::NarrowHostText(statement);
    if (parenthesised && !reader.Take(L")"))
        return "a quit whose exit code cannot be read: " + Platform::NarrowHostText(statement);
    facts.quits.push_back(std::move(quit));
    return std::string();
}

// `oFSO.DeleteFile EXPRESSION`: the name after the last backslash.
void ReadDelete(std::wstring_view statement, ScriptFacts& facts)
{
    StatementReader reader(statement);
    if (!reader.Take(L"ofso.deletefile"))
        return;
    reader.Take(L"(");
    if (const auto path = reader.StringExpression()) {
        const auto slash = path->rfind(L'\\');
        facts.deletedFiles.push_back(
            Platform::NarrowHostText(slash == std::wstring::npos ? *path : path->substr(slash + 1)));
    }
}

bool Blank(std::wstring_view line)
{
    return line.find_first_not_of(L" \t") == std::wstring_view::npos;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

ScriptReading ReadSetupScript(std::string_view windowsText)
{
    ScriptReading reading;
    if (windowsText.size() > kMaxScriptSize) {
        reading.problem = "the setup script is larger than any this program writes";
        return reading;
    }
    if (windowsText.find('\0') != std::string_view::npos) {
        reading.problem = "the setup script is not text";
        return reading;
    }
    const std::wstring text = Platform::FromWindows1252(windowsText);
    ScriptFacts facts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.remove_suffix(1);
        start = end + 1;
        if (Blank(line))
            continue;
        if (Lower(line).find(L"wshshell.run") != std::wstring::npos) {
            const auto problem = ReadRun(line, facts);
            if (!problem || !problem->empty()) {
                reading.problem =
                    problem ? *problem : "a program run this program never writes: " + Platform::NarrowHostText(line);
                return reading;
            }
            continue;
        }
        if (const auto problem = ReadQuit(line, facts); problem && !problem->empty()) {
            reading.problem = *problem;
            return reading;
        }
        ReadDelete(line, facts);
    }
    bool runsSetup = false;
    for (const auto& run : facts.runs)
        runsSetup = runsSetup || run.program.ends_with("\\NORDAVIN\\setup.exe");
    if (!runsSetup) {
        reading.problem = "the setup script never runs the suite's setup (NORDAVIN\\setup.exe)";
        return reading;
    }
    reading.facts = std::move(facts);
    return reading;
}
