// Operations of the 68010-and-up tables too large to repeat in every
// handler: MOVEC, the long multiply and divide, and the 68040 MMU
// instructions (no translation is done).
#pragma once

#include "common/types.h"

extern u32 m68k_cacr, m68k_tc, m68k_itt0, m68k_itt1, m68k_dtt0, m68k_dtt1, m68k_caar, m68k_mmusr;

// MOVEC to and from control register `number` (low 12 bits of the extension
// word). Return 1, or 0 after taking the illegal-instruction exception.
u32 m68k_movec_to_ctl(u32 number, u32* value);
u32 m68k_movec_from_ctl(u32 number, u32* out);

// MULU.L / MULS.L with extension word ext.
void m68k_mul_long(u32 opcode, u32 source, u32 ext);
// DIVU.L / DIVS.L with extension word ext; pc is the instruction address for
// the zero-divide exception.
void m68k_div_long(u32 opcode, u32 divisor, u32 ext, u32 pc);
// Unsigned 64 / 32 division of high:low. Returns 1 (and stores nothing) when
// the quotient doesn't fit 32 bits, else 0.
u32 m68k_div64(u32 high, u32 low, u32 divisor, u32* quotient, u32* remainder);

// 68040 PFLUSH and PTEST. Returns 1, or 0 after taking the line-F
// exception for any other opcode of their line.
u32 m68k_mmu_instruction(u32 opcode, u32 extra);

// Puts the control registers back to 0.
void m68k_control_reset();
