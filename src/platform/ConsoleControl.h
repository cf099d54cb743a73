#pragma once

namespace Platform {

// A console control handler: receives the event (here the signal number: SIGINT, SIGTERM
// or SIGHUP) and answers whether it handled it. An event it does not handle gets the
// default action, which ends the process by that signal.
//
// As on Windows, it runs on a thread of its own, one event after the other in the order
// they came, while the program's thread goes on: it may block, log or wait, but must be
// safe against what that thread does meanwhile (atomics, or state under a lock).
using ConsoleControlHandler = bool (*)(int event);

// Registers (add true) or removes (add false) the handler for SIGINT, SIGTERM and SIGHUP.
// One handler is registered at a time; removing it restores the actions that were there
// before, and returns once the handler has had every event that came while it was
// registered. Answers false when the signal actions cannot be changed or the handler's
// thread cannot be started.
bool SetConsoleCtrlHandler(ConsoleControlHandler handler, bool add);

}  // namespace Platform
