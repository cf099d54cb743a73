#include "core/UnexpectedError.h"

#include <string>

#include "core/Logging.h"
#include "platform/TextConversion.h"

void LogUnexpectedError(CLogging& log, const std::exception_ptr& error)
{
    std::wstring text = L"an error of unknown kind";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& known) {
        text = Platform::WidenHostText(known.what());
    } catch (...) {
    }
    log << "Unexpected error:" << text << "\n";
}
