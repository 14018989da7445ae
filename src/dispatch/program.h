// Start-up, the command table and its dispatch, and the run's one result.
#pragma once

#include <cstdint>

extern int argumentCount;  // entries in argumentVector, program included
extern char **argumentVector;  // 0 program, 1 keyword, 2.. parameters
extern int32_t exitCode;  // the process exit code; a key code once read

// Runs the keyword in argument 1, if the table has it and it takes the
// parameters given; returns when done.
void dispatchCommand();

// The whole run after the platform has split its command line: keeps the
// vector, takes `buildStatus` (nonzero when splitting failed) as the exit
// code, dispatches when it is 0, and returns the exit code to end with.
int32_t runCommandLine(int count, char **vector, int32_t buildStatus);
