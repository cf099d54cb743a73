#pragma once

namespace Platform {

// A request to stop the run (Ctrl+C, SIGTERM, SIGHUP while a command-line job runs).
// RequestInterrupt is async-signal-safe. The packaging job polls InterruptRequested
// through the one callback it hands its steps, which end what they started.
void RequestInterrupt();
bool InterruptRequested();
// Forgets an earlier request (tests; a new run in the same process).
void ClearInterrupt();

}  // namespace Platform
