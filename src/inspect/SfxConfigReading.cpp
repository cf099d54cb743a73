#include "inspect/SfxConfigReading.h"

#include "core/PackageNames.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::string_view kStart = ";!@Install@!UTF-8!";
constexpr std::string_view kEnd = ";!@InstallEnd@!";
// The keys this program writes; the module knows others (RunProgram, Directory, ...),
// which would run or show more than the package's own script.
constexpr std::array<std::string_view, 3> kOwnKeys = {"InstallPath", "ExecuteFile", "Progress"};

bool SameWord(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

std::optional<std::string> SfxConfig::Value(std::string_view key) const
{
    for (const auto& [name, value] : settings)
        if (SameWord(name, key))
            return value;
    return std::nullopt;
}

SfxConfigReading ReadSfxConfig(std::string_view text)
{
    SfxConfigReading reading;
    if (!text.starts_with(kStart) || !text.ends_with(kEnd) || text.size() < kStart.size() + kEnd.size()) {
        reading.problem = "the installer configuration does not run from its start marker to its end marker";
        return reading;
    }
    std::string_view body = text.substr(kStart.size(), text.size() - kStart.size() - kEnd.size());
    SfxConfig config;
    while (!body.empty()) {
        const auto end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 || line.size() < equals + 3 || line[equals + 1] != '"' ||
            line.back() != '"') {
            reading.problem =
                "the installer configuration holds a line that is not key=\"value\": " + std::string(line);
            return reading;
        }
        const std::string key(line.substr(0, equals));
        if (std::ranges::none_of(kOwnKeys, [&](std::string_view own) { return SameWord(own, key); })) {
            reading.problem = "the installer configuration sets " + key + ", which this program never writes";
            return reading;
        }
        if (config.Value(key)) {
            reading.problem = "the installer configuration sets " + key + " twice";
            return reading;
        }
        config.settings.emplace_back(key, std::string(line.substr(equals + 2, line.size() - equals - 3)));
    }
    const auto execute = config.Value("ExecuteFile");
    if (!execute || !SameWord(*execute, kSetupScriptName.narrow)) {
        reading.problem = "the installer configuration does not run setup.vbs";
        return reading;
    }
    reading.config = std::move(config);
    return reading;
}
