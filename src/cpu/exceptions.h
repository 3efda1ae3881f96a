// Exception entry, illegal opcodes and jumps.
#pragma once

#include "common/types.h"

// Takes exception `vector` now; the stacked PC is the current PC.
void m68k_raise_exception(u32 vector, u32 addr);

// Takes the illegal-instruction, line-A or line-F exception for opcode.
void m68k_illegal_opcode(u32 opcode);

// The handler of every opcode that no handler table serves.
u32 m68k_exec_unassigned(u32 opcode);

// Sets the PC to address through the bank's host pointer.
void m68k_jump_to(u32 address);
