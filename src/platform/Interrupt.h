#pragma once

namespace Platform {

// A request to stop the run (Ctrl+C, SIGTERM, SIGHUP while a command-line job runs).
// RequestInterrupt is async-signal-safe; long-running steps poll InterruptRequested
// and end what they started.
void RequestInterrupt();
bool InterruptRequested();
// Forgets an earlier request (tests; a new run in the same process).
void ClearInterrupt();

}  // namespace Platform
