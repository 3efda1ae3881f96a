// A flat 16 MB of RAM behind every bank: the memory map of the processor
// tests and the conformance tool, with no devices and no bus errors.
#pragma once

#include "common/types.h"

// Installs the flat bank in every bank-table entry; the memory is cleared.
// The buffer is followed by a guard pad of 64 bytes of ILLEGAL words.
void FLAT_Install();

// True while the flat bank is installed. The CPU's jump guard lets the PC go
// anywhere in it: the test map has no forbidden ranges.
bool FLAT_Installed();

// The 16 MB host buffer (followed by a guard pad of ILLEGAL words).
u8* FLAT_Memory();

constexpr u32 FLAT_Size = 0x1000000;
