// Support shared by the handlers of opcode lines 5-F: the value operations
// that ADD, SUB, OR, AND and EOR forms are parameterised by and the cycle
// counts that follow from the addressing mode.
#pragma once

#include "cpu/exceptions.h"
#include "cpu/handlers/common/operands.h"

namespace m68k_ops::l5f {

// The member lists name the value operations as l5f::OpAdd and so on.
using m68k_ops::OpAdd;
using m68k_ops::OpAnd;
using m68k_ops::OpEor;
using m68k_ops::OpOr;
using m68k_ops::OpSub;

// Cycles of a read-modify-write of a memory operand (ADDQ, ADD Dn,<ea>,
// EOR, Scc, the memory shifts): 8 for byte and word, 12 for long, plus the
// effective-address time of the operand.
template <Mode M, u32 S>
constexpr u32 rmw_cycles() {
  return (S == L ? 12 : 8) + ea_cycles<M, S>();
}

// Cycles of ADD, SUB, OR and AND <ea>,Dn: 4 plus the effective-address time
// for byte and word; for long 6, or 8 when the source is a register or an
// immediate.
template <Mode M, u32 S>
constexpr u32 ea_to_dn_cycles() {
  if constexpr (S != L) return 4 + ea_cycles<M, S>();
  else return (M == Dreg || M == Areg || M == Immd ? 8 : 6) + ea_cycles<M, L>();
}

}  // namespace m68k_ops::l5f
