#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The installer module's configuration text between ";!@Install@!UTF-8!" and
// ";!@InstallEnd@!": one key="value" line per setting.
struct SfxConfig {
    std::vector<std::pair<std::string, std::string>> settings;

    // The value of a key, compared without case, when the text sets it.
    std::optional<std::string> Value(std::string_view key) const;
};

struct SfxConfigReading {
    std::optional<SfxConfig> config;
    std::string problem;
};

// The text from its start marker to the end of its end marker. Refused with a reason when
// it is not the shape the module reads, or sets something this program never writes:
// every package of ours says where to unpack, which file to run and nothing that runs more.
SfxConfigReading ReadSfxConfig(std::string_view text);
