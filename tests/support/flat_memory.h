// A flat 16 MB of RAM behind every bank: the memory map of the processor
// tests and the conformance tool, with no devices and no bus errors.
#pragma once

#include "common/types.h"

// Installs the flat bank in every bank-table entry; the memory is cleared.
// The buffer is followed by a guard pad of 64 bytes of ILLEGAL words. The
// map has no forbidden ranges, so it turns the CPU's jump guard off
// (m68k_jump_guard_off); the machine's memory map turns it back on.
void FLAT_Install();

// True while the flat bank is installed.
bool FLAT_Installed();

// The 16 MB host buffer (followed by a guard pad of ILLEGAL words).
u8* FLAT_Memory();

constexpr u32 FLAT_Size = 0x1000000;

// Writes through the bank slots are remembered by 256-byte page, so that a
// caller running many short tests can put back the zeroed memory without
// clearing all 16 MB each time. Writes through FLAT_Memory() are not seen:
// report them with FLAT_Touch.
constexpr u32 FLAT_PageShift = 8;

// Marks bytes [address, address + length) as written (address wraps at 16 MB).
void FLAT_Touch(u32 address, u32 length);

// Pages written since the last install or clear: *pages receives the page
// numbers (address >> FLAT_PageShift), the count is returned.
u32 FLAT_TouchedPages(const u32** pages);

// Zeroes every page written since the last install or clear, and forgets them.
void FLAT_ClearTouched();
