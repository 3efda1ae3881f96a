// Building blocks of the instruction handlers: operand sizes, addressing
// modes, the instruction-stream cursor, effective addresses, memory access
// and the common flag computations. Every handler is a template over these,
// instantiated once per size and addressing-mode combination.
#pragma once

#include <cstring>
#include <functional>
#include <type_traits>

#include "common/endian.h"
#include "common/types.h"
#include "cpu/bus.h"
#include "cpu/decode.h"
#include "cpu/effective_address.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"

#define M68K_INLINE [[gnu::always_inline]] inline

namespace m68k_ops {

// Operand size in bytes.
enum Size : u32 { B = 1, W = 2, L = 4 };

// Addressing modes, numbered as in the decode records.
enum Mode : u32 { Dreg, Areg, Aind, Aipi, Apdi, Ad16, Ad8r, absw, absl, PC16, PC8r, Immd };

// How an indexed operand is formed: the 68000/68010 brief extension word, or
// the 68020 brief and full formats.
enum Index : u32 { Ix000, Ix020 };

template <u32 S> constexpr u32 mask_of = S == B ? 0xffu : S == W ? 0xffffu : 0xffffffffu;
template <u32 S> constexpr u32 msb_of = S == B ? 0x80u : S == W ? 0x8000u : 0x80000000u;

template <u32 S>
M68K_INLINE u32 sext(u32 v) {
  if constexpr (S == B) return sext8(v);
  else if constexpr (S == W) return sext16(v);
  else return v;
}

// Replaces the low S bytes of a data register, keeping the rest.
template <u32 S>
M68K_INLINE void set_dreg(u32 r, u32 v) {
  u32& d = m68k_regfile.d[r];
  if constexpr (S == B) d = (d & 0xffffff00u) | (v & 0xffu);
  else if constexpr (S == W) d = (d & 0xffff0000u) | (v & 0xffffu);
  else d = v;
}

template <u32 S>
M68K_INLINE u32 an_step(u32 r) {
  if constexpr (S == B) return m68k_an_byte_step[r];
  else return S;
}

template <u32 S>
M68K_INLINE u32 mem_read(u32 addr) {
  if constexpr (S == B) return MMU_ReadB(addr);
  else if constexpr (S == W) return MMU_ReadW(addr);
  else return MMU_ReadL(addr);
}

template <u32 S>
M68K_INLINE void mem_write(u32 addr, u32 v) {
  if constexpr (S == B) MMU_WriteB(addr, v & 0xff);
  else if constexpr (S == W) MMU_WriteW(addr, v & 0xffff);
  else MMU_WriteL(addr, v);
}

// How a handler table fetches its instruction stream and checks its data
// accesses. NoPrefetch (tables 0-4): every extension word is read from
// memory, no access is checked for alignment, and the last memory write
// comes before the PC moves past the instruction. Prefetch (table 5, the
// 68000 with its prefetch register): the first extension word comes from
// the prefetch register, a word or long access at an odd address takes the
// address error and ends the instruction, and the PC moves and the prefetch
// register is reloaded before the last memory write.
struct NoPrefetch {
  static constexpr bool prefetch = false;
};
struct Prefetch {
  static constexpr bool prefetch = true;
};

// The instruction stream behind the opcode: pcHost stays on the opcode while
// the instruction runs (nothing moves it meanwhile: a bank access that takes
// an exception only latches it, and jumps wait for the instruction's end),
// and the cursor counts the extension words read behind it. The handler
// commits the instruction length to pcHost once, by finish(), after its
// last memory access (with Prefetch: just before the last write, see
// write_and_finish). Indexed operands of the 68020 tables commit early,
// since the full format reads its displacements at pcHost and advances it.
// Nothing of pcHost is held across a bank access, so a handler's fast path
// keeps no host register across the call of its slow one.
template <class P>
struct StreamOf {
  u32 off = 2;         // offset of the next extension word from pcHost
  bool fault = false;  // Prefetch: an address error ended the instruction

  // Host address of the opcode.
  M68K_INLINE static u8* opcode_at() { return m68k_regfile.pcHost; }

  // With Prefetch the first extension word is bytes 2-3 of the prefetch
  // register, which may differ from memory if the previous instruction's
  // last write changed it; later words come from memory.
  M68K_INLINE u32 word() {
    if constexpr (P::prefetch) {
      if (off == 2) {
        off = 4;
        return be_read16(m68k_regfile.prefetch + 2);
      }
    }
    const u32 w = be_read16(opcode_at() + off);
    off += 2;
    return w;
  }
  M68K_INLINE u32 lng() {
    if constexpr (P::prefetch) {
      if (off == 2) {
        off = 6;
        return (be_read16(m68k_regfile.prefetch + 2) << 16) | be_read16(opcode_at() + 4);
      }
    }
    const u32 v = be_read32(opcode_at() + off);
    off += 4;
    return v;
  }
  // The immediate operand of size S (a byte is the low half of its word).
  template <u32 S>
  M68K_INLINE u32 imm() {
    if constexpr (S == L) return lng();
    else if constexpr (S == W) return word();
    else return word() & 0xff;
  }
  // Emulated address of the next extension word.
  M68K_INLINE u32 here() const {
    return m68k_regfile.pc + u32(opcode_at() + off - m68k_regfile.pcBase);
  }
  // Moves pcHost past the instruction; with Prefetch, reloads the prefetch
  // register with the next two words. The cursor then counts from the new
  // pcHost, so a second call changes nothing.
  M68K_INLINE void finish() {
    u8* const next = opcode_at() + off;
    m68k_regfile.pcHost = next;
    off = 0;
    if constexpr (P::prefetch) std::memcpy(m68k_regfile.prefetch, next, 4);
  }

  // With Prefetch, a word or long access at an odd address (judged on the
  // whole 32-bit address) takes the address error: the fault record holds
  // the address, the opcode and, as the PC to stack, the address behind the
  // extension words read so far. Returns true when it did; the handler then
  // returns its cycle count at once, changing nothing more.
  template <u32 S>
  M68K_INLINE bool odd(u32 addr) {
    if constexpr (!P::prefetch || S == B) {
      (void)addr;
      return false;
    } else {
      if (!(addr & 1)) [[likely]] return false;
      m68k_address_error(addr, be_read16(opcode_at()), here());
      fault = true;
      return true;
    }
  }
  // Whether an address error ended the instruction (never without Prefetch).
  M68K_INLINE bool failed() const {
    if constexpr (P::prefetch) return fault;
    else return false;
  }
};

using Stream = StreamOf<NoPrefetch>;

// The address of an indexed operand from the extension word at the cursor.
template <Index X, class P>
M68K_INLINE u32 indexed_address(u32 base, StreamOf<P>& st) {
  if constexpr (X == Ix000) {
    return m68k_ea_indexed000(base, st.word());
  } else {
    static_assert(!P::prefetch, "the prefetch table has the 68000's brief format only");
    const u32 ext = st.word();
    st.finish();
    return m68k_ea_indexed020(base, ext);
  }
}

// A memory operand's address. For (An)+ and -(An) the register is not
// changed until update() is called, so each handler chooses when.
template <Mode M, u32 S, Index X = Ix000>
struct Ea {
  static_assert(M != Dreg && M != Areg && M != Immd, "not a memory operand");
  u32 addr;
  u32 reg;

  template <class P>
  M68K_INLINE Ea(u32 r, StreamOf<P>& st) : reg(r) {
    const m68k_regs& regs = m68k_regfile;
    if constexpr (M == Aind || M == Aipi) addr = regs.a[r];
    else if constexpr (M == Apdi) addr = regs.a[r] - an_step<S>(r);
    else if constexpr (M == Ad16) addr = regs.a[r] + sext16(st.word());
    else if constexpr (M == Ad8r) addr = indexed_address<X>(regs.a[r], st);
    else if constexpr (M == absw) addr = sext16(st.word());
    else if constexpr (M == absl) addr = st.lng();
    else if constexpr (M == PC16) {
      const u32 base = st.here();
      addr = base + sext16(st.word());
    } else if constexpr (M == PC8r) {
      const u32 base = st.here();
      addr = indexed_address<X>(base, st);
    }
  }
  // Applies the post-increment or pre-decrement to the address register.
  M68K_INLINE void update() const {
    if constexpr (M == Aipi) m68k_regfile.a[reg] = addr + an_step<S>(reg);
    else if constexpr (M == Apdi) m68k_regfile.a[reg] = addr;
  }
  M68K_INLINE u32 read() const { return mem_read<S>(addr); }
  M68K_INLINE void write(u32 v) const { mem_write<S>(addr, v); }
};

// Reads a source operand of any mode (register update included), zero-extended.
// With Prefetch an odd word or long address ends the instruction before the
// read: the result is then 0 and st.failed() is true.
template <Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 read_source(u32 r, StreamOf<P>& st) {
  if constexpr (M == Dreg) return m68k_regfile.d[r] & mask_of<S>;
  else if constexpr (M == Areg) return m68k_regfile.a[r] & mask_of<S>;
  else if constexpr (M == Immd) return st.template imm<S>();
  else {
    const Ea<M, S, X> ea(r, st);
    if (st.template odd<S>(ea.addr)) return 0;
    // The step is stored first (a bank access doesn't look at the
    // registers): the address then needs no keeping across the access.
    ea.update();
    return ea.read();
  }
}

// The instruction's last act, a memory write, and the move past it. Without
// prefetch the write comes first; with it the PC moves and the prefetch
// register is reloaded first, so a write into the next instruction's first
// extension word is not seen by that instruction.
template <u32 S, class P>
M68K_INLINE void write_and_finish(StreamOf<P>& st, u32 addr, u32 v) {
  if constexpr (P::prefetch) {
    st.finish();
    mem_write<S>(addr, v);
  } else {
    mem_write<S>(addr, v);
    st.finish();
  }
}

// Read-modify-write of a data register or memory operand of any mode, the
// instruction's last act: f(old value) stores the flags and returns the
// result. For memory the (An)+ / -(An) step is stored after the read and
// before the write, and the write ends the instruction (write_and_finish);
// with Prefetch an odd word or long address ends it before the read.
template <Mode M, u32 S, Index X, class P, class F>
M68K_INLINE void modify(u32 r, StreamOf<P>& st, F f) {
  if constexpr (M == Dreg) {
    set_dreg<S>(r, f(m68k_regfile.d[r] & mask_of<S>));
    st.finish();
  } else {
    const Ea<M, S, X> ea(r, st);
    if (st.template odd<S>(ea.addr)) return;
    const u32 v = ea.read();
    ea.update();
    write_and_finish<S>(st, ea.addr, f(v));
  }
}

// Write-only destination of any data-alterable mode (the operand is not
// read), the instruction's last act. before() runs once the address has
// passed the alignment check and its register step is stored, right before
// the value goes out (the flags of CLR).
template <Mode M, u32 S, Index X, class P, class Before>
M68K_INLINE void write_dest(u32 r, StreamOf<P>& st, u32 v, Before before) {
  if constexpr (M == Dreg) {
    before();
    set_dreg<S>(r, v);
    st.finish();
  } else {
    const Ea<M, S, X> ea(r, st);
    if (st.template odd<S>(ea.addr)) return;
    ea.update();
    before();
    write_and_finish<S>(st, ea.addr, v);
  }
}
template <Mode M, u32 S, Index X, class P>
M68K_INLINE void write_dest(u32 r, StreamOf<P>& st, u32 v) {
  write_dest<M, S, X>(r, st, v, [] {});
}

// 68000 effective-address calculation times (read of the operand included):
// byte and word in the first column of the processor manual, long in the second.
template <Mode M, u32 S>
constexpr u32 ea_cycles() {
  constexpr bool lng = S == L;
  switch (M) {
    case Dreg: case Areg: return 0;
    case Aind: case Aipi: return lng ? 8 : 4;
    case Apdi: return lng ? 10 : 6;
    case Ad16: case PC16: case absw: return lng ? 12 : 8;
    case Ad8r: case PC8r: return lng ? 14 : 10;
    case absl: return lng ? 16 : 12;
    case Immd: return lng ? 8 : 4;
  }
  return 0;
}

// Flags ------------------------------------------------------------------
// Each flag is stored once, from the host's own condition codes where the
// host computes the same thing: carry, overflow, sign and zero of an add,
// subtract or test of the operand's width.

template <u32 S> using uint_of = std::conditional_t<S == B, u8, std::conditional_t<S == W, u16, u32>>;
template <u32 S> using sint_of = std::conditional_t<S == B, i8, std::conditional_t<S == W, i16, i32>>;

M68K_INLINE void put_flag(u32& word, bool value) { m68k_put_flag(word, value); }

// dst + src (Sub: dst - src) at S bytes, with the host's carry (borrow),
// overflow, sign and zero. On x86-64 one instruction gives the result and
// all four flags (its size from the operands' register names: clang has no
// size-suffix modifier); elsewhere the compiler's overflow builtins do.
template <bool Sub, u32 S>
M68K_INLINE uint_of<S> host_arith(u32 src, u32 dst, bool& c, bool& v, bool& n, bool& z) {
  using U = uint_of<S>;
  U r = U(dst);
  const U s = U(src);
#if defined(__x86_64__) && defined(__GCC_ASM_FLAG_OUTPUTS__)
  if constexpr (Sub)
    asm("sub %[s], %[r]" : [r] "+r"(r), "=@ccc"(c), "=@cco"(v), "=@ccs"(n), "=@ccz"(z) : [s] "r"(s));
  else
    asm("add %[s], %[r]" : [r] "+r"(r), "=@ccc"(c), "=@cco"(v), "=@ccs"(n), "=@ccz"(z) : [s] "r"(s));
#else
  using I = sint_of<S>;
  I signed_r;
  if constexpr (Sub) {
    c = __builtin_sub_overflow(U(dst), s, &r);
    v = __builtin_sub_overflow(I(dst), I(s), &signed_r);
  } else {
    c = __builtin_add_overflow(U(dst), s, &r);
    v = __builtin_add_overflow(I(dst), I(s), &signed_r);
  }
  n = I(r) < 0;
  z = r == 0;
#endif
  return r;
}

// N and Z of an S-byte value.
template <u32 S>
M68K_INLINE void set_nz(u32 result) {
  const uint_of<S> v = uint_of<S>(result);
  bool n, z;
#if defined(__x86_64__) && defined(__GCC_ASM_FLAG_OUTPUTS__)
  asm("test %[v], %[v]" : "=@ccs"(n), "=@ccz"(z) : [v] "r"(v));
#else
  n = sint_of<S>(v) < 0;
  z = v == 0;
#endif
  put_flag(m68k_ccflags.n, n);
  put_flag(m68k_ccflags.z, z);
}

// Logical result: N and Z from the value, V and C cleared, X kept.
template <u32 S>
M68K_INLINE void set_logic_flags(u32 result) {
  set_nz<S>(result);
  put_flag(m68k_ccflags.v, false);
  put_flag(m68k_ccflags.c, false);
}

// dst + src (Sub: dst - src) storing N, Z, V and C, and X too when WithX;
// returns the masked result.
template <bool Sub, u32 S, bool WithX>
M68K_INLINE u32 arith_with_flags(u32 src, u32 dst) {
  bool c, v, n, z;
  const u32 res = host_arith<Sub, S>(src, dst, c, v, n, z);
  m68k_flags& f = m68k_ccflags;
  put_flag(f.c, c);
  put_flag(f.v, v);
  put_flag(f.n, n);
  put_flag(f.z, z);
  if constexpr (WithX) put_flag(f.x, c);
  return res;
}

// dst + src with all five flags; returns the masked result.
template <u32 S>
M68K_INLINE u32 add_with_flags(u32 src, u32 dst) { return arith_with_flags<false, S, true>(src, dst); }

// dst - src with all five flags; returns the masked result.
template <u32 S>
M68K_INLINE u32 sub_with_flags(u32 src, u32 dst) { return arith_with_flags<true, S, true>(src, dst); }

// dst - src setting N, Z, V, C (X kept), as CMP does.
template <u32 S>
M68K_INLINE void compare_flags(u32 src, u32 dst) { arith_with_flags<true, S, false>(src, dst); }

// The current instruction's address, while pcHost is on its opcode.
M68K_INLINE u32 opcode_address() { return m68k_get_pc(); }

// With Prefetch, the address error of the instructions that stack the
// address behind their opcode whatever their length (the branches to an odd
// target, LINK, UNLK and the returns on an odd stack): when access is odd,
// records it and returns true; the handler then ends at once.
template <class P>
M68K_INLINE bool odd_behind_opcode(u32 access, u32 opcode) {
  if constexpr (!P::prefetch) {
    return false;
  } else {
    if (!(access & 1)) [[likely]] return false;
    m68k_address_error(access, opcode, opcode_address() + 2);
    return true;
  }
}

// Two-operand value operations: apply<S>(src, dst) writes the flags and
// returns dst op src at size S; writes says the result is stored (CMP-like
// operations have it false). ADD and SUB also give the address arithmetic
// of ADDA and SUBA.
struct OpAdd {
  static constexpr bool writes = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) { return add_with_flags<S>(src, dst); }
  M68K_INLINE static u32 address(u32 a, u32 v) { return a + v; }
};
struct OpSub {
  static constexpr bool writes = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) { return sub_with_flags<S>(src, dst); }
  M68K_INLINE static u32 address(u32 a, u32 v) { return a - v; }
};
// OR, AND and EOR: the bitwise operation F, then N and Z of the result.
template <class F>
struct OpLogic {
  static constexpr bool writes = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) {
    const u32 r = F{}(dst, src) & mask_of<S>;
    set_logic_flags<S>(r);
    return r;
  }
};
using OpOr = OpLogic<std::bit_or<u32>>;
using OpAnd = OpLogic<std::bit_and<u32>>;
using OpEor = OpLogic<std::bit_xor<u32>>;

}  // namespace m68k_ops
