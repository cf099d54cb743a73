#pragma once

#include <functional>

// Whether the run has been asked to stop. The job hands one to every step, which asks it
// between its parts and inside its long loops; nothing else reads the request.
using StopRequest = std::function<bool()>;
