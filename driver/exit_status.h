// How a run ends, for scripts that call the converter.
#pragma once

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;
// As a shell reports a process ended by SIGINT.
inline constexpr int exitInterrupted = 130;
