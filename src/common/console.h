// Console lines of the machine on standard output, the ones a guest program
// can make it print over and over (bus errors, double faults, registers no
// chip answers). A line already printed since the last report is counted
// instead of printed again; the report prints each such line once more with
// its count. Reports come once a second from the frame end, when more
// distinct lines than the table holds have come, and at shut-down, so a
// machine stuck in a loop of faults prints a few lines a second, not tens of
// thousands.
#pragma once

#include "common/types.h"

// One line, printf-style, without its newline.
[[gnu::format(printf, 1, 2)]] void CONSOLE_Line(const char* format, ...);

// Prints the count of every line repeated since the last report and forgets
// the lines, so the next of them is printed again.
void CONSOLE_Report();
