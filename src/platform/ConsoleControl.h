#pragma once

namespace Platform {

// A console control handler: receives the event (here the signal number: SIGINT, SIGTERM
// or SIGHUP) and answers whether it handled it. An event it does not handle gets the
// default action, which ends the process. It runs in signal context: it may only touch
// lock-free atomics (Platform::RequestInterrupt is fine).
using ConsoleControlHandler = bool (*)(int event);

// Registers (add true) or removes (add false) the handler for SIGINT, SIGTERM and SIGHUP.
// One handler is registered at a time; removing it restores the actions that were there
// before. Answers false when the signal actions cannot be changed.
bool SetConsoleCtrlHandler(ConsoleControlHandler handler, bool add);

}  // namespace Platform
