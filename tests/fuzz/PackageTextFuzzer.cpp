// The client script and the installer module's configuration as a package hands them to
// halvex-inspect: whatever the bytes, a reading or a reason, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "inspect/SetupScriptReading.h"
#include "inspect/SfxConfigReading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ScriptReading script = ReadSetupScript(text);
    // A reading or a reason, never both and never neither.
    if (script.facts.has_value() == !script.problem.empty())
        std::abort();
    if (script.facts) {
        bool runsSetup = false;
        for (const auto& run : script.facts->runs)
            runsSetup = runsSetup || run.program.ends_with("\\NORDAVIN\\setup.exe");
        if (!runsSetup)
            std::abort();
    }
    const SfxConfigReading config = ReadSfxConfig(text);
    if (config.config.has_value() == !config.problem.empty())
        std::abort();
    if (config.config && !config.config->Value("ExecuteFile"))
        std::abort();
    SplitCommandLine(text);
    return 0;
}
