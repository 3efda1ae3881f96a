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

// Flushes standard output and says whether everything written to it reached
// its reader: 0 when it did, or when what was lost went into a pipe nobody
// reads any more (`| head -1`), which is dropped by design; else the errno of
// the write that failed (ENOSPC on a full disk, EBADF on a closed descriptor),
// or EIO when an earlier write failed and the last flush had nothing left to
// say why.
int CONSOLE_OutputError();

// Called first thing by a program: each of standard input, output and error
// that the program was started without (`>&-`) is opened on /dev/null, so
// that no file the program opens later (a disk image, a state) takes its
// number and gets the console's lines written into it. Output started
// closed still counts as lost: CONSOLE_OutputError says EBADF.
void CONSOLE_ClaimStandardFiles();
