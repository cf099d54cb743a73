#pragma once

// The exit code of a run that failed: options missing or wrong, a failed build, any error.
inline constexpr int kFailureExitCode = 82;
