#pragma once

// One discovery run: the re-entry check, daemonising, the interface
// collection and the fork; the child runs the worker for run_seconds.
// Returns the exit status, which is always 0.
int camscout_main(int argc, char** argv);

// The length of a run. A test-only build may shorten it; the product
// binary keeps 60 seconds.
#ifndef CAMSCOUT_RUN_SECONDS
#define CAMSCOUT_RUN_SECONDS 60
#endif
inline constexpr unsigned run_seconds = CAMSCOUT_RUN_SECONDS;
