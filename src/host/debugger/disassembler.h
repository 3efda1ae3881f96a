// The debugger's disassembler: 68000-family code as text, read from the CPU's
// own decode records (mnemonic, condition, size, operand modes and registers)
// rather than a table of its own, so it knows exactly the instructions the
// selected processor runs; an opcode without a handler shows as ILLEGAL.
//
// Every operand that addresses memory shows the address it would use with the
// current registers ("(A0,$0010) == $00001234"), and branches their target
// with the verdict of their condition on the current flags. Indexed operands
// follow the processor: the 68000 and 68010 read every index word as the
// brief format with no scale, the later processors the full format too.
// Memory is read without side effects; a word with no memory behind it makes
// the instruction show as "????".
#pragma once

#include <string>

#include "common/types.h"

// Formats one operand of `mode` (a decode-record mode number) reading its
// extension words at the disassembly position, which it advances. Appends the
// text to `out`, or prints it when `out` is null. Returns the operand's value
// for the modes that carry one (quick values, immediate displacements), which
// with the operand's position gives a branch target; else 0.
i32 DISASM_Operand(u32 reg, u32 mode, u32 size, std::string* out);

// The instruction at `address` as text (mnemonic, size and operands, no
// address or raw words); returns the address after it.
u32 DISASM_Instruction(u32 address, std::string& text);

// Prints `count` instructions from `address`, one line each: the address,
// five raw words and the instruction. `next` (when given) receives the address
// after the last one (the start address when count <= 0).
void DISASM_Lines(u32 address, u32* next, i32 count);
