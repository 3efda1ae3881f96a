// The floating-point unit of the 68020/68030 with a 68881 or 68882 and of
// the 68040. FP0-FP7 live in the register record as host doubles and all
// arithmetic is the host's double arithmetic and mathematics library; the
// integer, single, extended and packed decimal formats exist only in
// memory and are converted on the way in and out. The line-F handlers read
// the opcode and the word after it and call the entries below, which read
// any further words of the instruction at pcHost and advance it. A form the
// unit does not support takes the line-F exception with the PC on the
// opcode.
#pragma once

#include "common/types.h"

// The FPSR's condition byte.
enum : u32 {
  m68k_fpsr_n = 0x08000000,
  m68k_fpsr_z = 0x04000000,
  m68k_fpsr_inf = 0x02000000,
  m68k_fpsr_nan = 0x01000000,
  // The quotient byte of FMOD and FREM: sign and seven low bits.
  m68k_fpsr_quotient = 0x00ff0000,
  // The exception status byte (of the last operation) and its operand error,
  // and the accrued byte with its invalid-operation bit.
  m68k_fpsr_exceptions = 0x0000ff00,
  m68k_fpsr_operr = 0x00002000,
  m68k_fpsr_accrued = 0x000000ff,
  m68k_fpsr_iop = 0x00000080,
};

// The general instruction (moves, FMOVEM, FMOVECR and the arithmetic) with
// command word ext; pcHost is past the opcode and ext.
void m68k_fpu_op(u32 opcode, u32 ext);
// FScc and FDBcc with their condition word ext; pcHost is past it.
void m68k_fscc(u32 opcode, u32 ext);
void m68k_fdbcc(u32 opcode, u32 ext);
// FBcc on condition opcode bits 5-0: base is the address of the
// displacement, the branch's origin; pcHost is past the instruction.
void m68k_fbcc(u32 opcode, u32 base, u32 displacement);
// FTRAPcc: address is that of the condition word behind the opcode; pcHost
// is past the whole instruction, which is what a taken trap stacks.
void m68k_ftrapcc(u32 opcode, u32 address);
// FSAVE of the idle frame and FRESTORE, which steps over a frame; pcHost is
// past the opcode.
void m68k_fsave(u32 opcode);
void m68k_frestore(u32 opcode);

// The address of a memory or immediate operand of `size` bytes. Reads the
// mode's extension words at pcHost and advances it; (An)+ and -(An) step An
// by the size (2 for a byte through A7). An immediate lies in the
// instruction stream: its address is that of the words skipped. The caller
// has made sure the mode has an address.
u32 m68k_fpu_operand_address(u32 opcode, u32 size);
// Moves one operand of memory format 0-6 between v and the instruction's
// effective address (a data register for L, S, W and B); false, with
// nothing changed, when the mode cannot hold it.
bool m68k_fpu_read_operand(u32 opcode, u32 format, double& v);
bool m68k_fpu_write_operand(u32 opcode, u32 format, double v);
// The unit's jumps, as m68k_jump_to.
void m68k_jump_to_fpu(u32 pc);

// Whether floating-point condition 0-31 holds on the FPSR (1 or 0); -1 for a
// condition above 31.
i32 m68k_fpu_cond_true(u32 condition);

// Memory formats. Single and double are exact IEEE copies (a single stored
// rounds to nearest, overflowing to infinity); extended holds every double
// exactly; packed decimal carries 17 significant digits.
u32 m68k_fpu_to_single(double v);
double m68k_fpu_from_single(u32 bits);
u64 m68k_fpu_to_double_words(double v);
double m68k_fpu_from_double(u64 bits);
void m68k_fpu_to_extended(double v, u32 out[3]);
double m68k_fpu_from_extended(const u32 in[3]);
void m68k_fpu_to_packed(double v, u32 out[3]);
double m68k_fpu_from_packed(const u32 in[3]);
// An integer result of format L, W or B (0, 4, 6), rounded in FPCR's mode
// and sign-extended to 32 bits. Beyond the format's range it is the largest
// value of the source's sign, and a NaN gives all ones (the top bits of the
// unit's NaN); both set the operand error and its accrued bit in the FPSR.
u32 m68k_fpu_to_integer(double v, u32 format);
