// URL cracking and the two checks built on it, as the management server and update
// location fields and options reach them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/InputChecks.h"
#include "cli/UrlCracking.h"
#include "core/Logging.h"
#include "platform/TextConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = Platform::WidenHostText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (const auto parts = CrackUrl(text)) {
        // The limits the cracker promises.
        if (parts->schemeName.size() > 32 || parts->hostName.size() > 256 || parts->userName.size() > 128 ||
            parts->password.size() > 128 || parts->urlPath.size() > 2048 || parts->extraInfo.size() > 2048)
            std::abort();
    }
    const bool server = CheckServerUrl(text, GetLogging());
    const bool location = CheckUpdateLocation(text, GetLogging());
    // No text is both a server (a path of "/" at most) and an HTTP update location (a path
    // beyond "/"), unless it is a UNC path, which the server check never accepts.
    if (server && location)
        std::abort();
    return 0;
}
