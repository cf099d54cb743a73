#pragma once

// How the program answers requests to stop while a package is built (Ctrl+C, SIGTERM,
// SIGHUP): the console control handler of either run mode. The first request asks the job
// to stop; it ends at its next boundary and removes what it made. A second is counted and
// the clean-up goes on. A third ends the program at once, after one log line saying so.

// The handler routine (a Platform::ConsoleControlHandler): true for the first two requests,
// false, after the log line, for the third and any later one.
bool OnStopRequest(int event);

// How many requests came since the last ForgetStopRequests.
int StopRequestCount();

// Starts counting anew: before each build that the handler watches.
void ForgetStopRequests();
