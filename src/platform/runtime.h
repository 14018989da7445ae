// C runtime work that the Windows build gets from msvcrt, done here for
// the terminal and the in-memory console: console::printOut's formatting
// and console::upperCaseInPlace.
#pragma once

// Provided by each of the two: takes one formatted report (the bytes as
// printf made them, at most 255) to standard output.
void writeReport(const char *text, int length);
