#include "core/StopRequests.h"

#include <atomic>

#include "core/Logging.h"
#include "platform/ChildProcess.h"
#include "platform/Interrupt.h"
#include "platform/TextConversion.h"

namespace {

std::atomic<int> requests{0};

}  // namespace

bool OnStopRequest(int event)
{
    const int count = ++requests;
    if (count == 1)
        Platform::RequestInterrupt();
    if (count < 3)
        return true;
    GetLogging().WriteLastLine(L"Stop requested a third time, by " +
                               Platform::WidenHostText(Platform::SignalName(event)) +
                               L": the program ends at once, before its clean-up is done; the work folder and "
                               L"the run's files in the output folder may be left behind");
    return false;
}

int StopRequestCount()
{
    return requests.load();
}

void ForgetStopRequests()
{
    requests = 0;
}
