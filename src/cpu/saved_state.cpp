#include "cpu/saved_state.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "common/endian.h"
#include "cpu/bus.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/helpers020.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "host/options.h"
#include "host/screen.h"

namespace {

// Two words kept only to be written back.
u32 reserved_a, reserved_b;

// Walks the section in order; the same code writes and reads, so the two
// can't drift apart.
template <bool Write>
struct Walker {
  using Ptr = std::conditional_t<Write, u8*, const u8*>;
  Ptr p;

  void u32v(u32& v) {
    if constexpr (Write) be_write32(p, v);
    else v = be_read32(p);
    p += 4;
  }
  void i32v(i32& v) {
    u32 u = u32(v);
    u32v(u);
    v = i32(u);
  }
  void u16v(u16& v) {
    if constexpr (Write) be_write16(p, v);
    else v = u16(be_read16(p));
    p += 2;
  }
  void i8v(i8& v) {
    if constexpr (Write) *p = u8(v);
    else v = i8(*p);
    p += 1;
  }
  void pad(u32 n) {
    if constexpr (Write) std::memset(p, 0, n);
    p += n;
  }
  void f64(double& v) {
    u64 bits;
    std::memcpy(&bits, &v, 8);
    u32 hi = u32(bits >> 32), lo = u32(bits);
    u32v(hi);
    u32v(lo);
    bits = (u64(hi) << 32) | lo;
    std::memcpy(&v, &bits, 8);
  }

  // `live` for the running register record, whose `pc` field is the address
  // of the last jump (the base of pcHost): the current PC is written in its
  // place, which is what the field holds once the restore's jump has set it,
  // so a restored machine saves the same bytes again.
  void regs(m68k_regs& r, bool live) {
    for (u32& d : r.d) u32v(d);
    for (u32& a : r.a) u32v(a);
    u32v(r.usp);
    u32v(r.isp);
    u32v(r.msp);
    u16v(r.sr);
    i8v(r.t1);
    i8v(r.t0);
    i8v(r.s);
    i8v(r.m);
    pad(1);
    i8v(r.inStop);
    u32v(r.imask);
    if constexpr (Write) {
      u32 pc = live ? m68k_get_pc() : r.pc;
      u32v(pc);
    } else {
      u32v(r.pc);
    }
    pad(8);  // pcHost and pcBase: host pointers, meaningless in a file
    u32v(r.vbr);
    u32v(r.sfc);
    u32v(r.dfc);
    for (double& f : r.fp) f64(f);
    u32v(r.fpcr);
    u32v(r.fpsr);
    u32v(r.fpiar);
    u32v(r.pending);
    for (u8& b : r.prefetch) {
      if constexpr (Write) *p = b;
      else b = *p;
      ++p;
    }
  }

  // Returns the PC item.
  u32 section() {
    u32v(SCREEN_LineABase);
    u32v(SCREEN_DisplayLines);
    u32v(PREFS_ClockFactor);
    u32v(SCHED_InBorder);
    u32v(SCREEN_FirstLine);
    u32v(SCHED_SpareWord);
    for (int i = 0; i < 8; ++i) {
      // Slot 6 of the event times is the next-event time.
      i32v(i == 6 ? SCHED_NextEvent : SCHED_EventTimes[i]);
    }
    i32v(SCHED_CycleBefore);
    regs(m68k_regfile, true);
    regs(m68k_regs_at_interrupt, false);
    u32v(m68k_last_int_level);
    u32v(m68k_last_mask);
    u32v(m68k_sr_changed);
    u32v(reserved_a);
    u32v(PREFS_BigScreen);
    u32v(reserved_b);
    u32 pc = Write ? m68k_get_pc() : 0;
    u32v(pc);
    return pc;
  }

  void extension() {
    for (u32* v : {&m68k_trace_pc, &m68k_cacr, &m68k_tc, &m68k_itt0, &m68k_itt1, &m68k_dtt0,
                   &m68k_dtt1, &m68k_caar, &m68k_mmusr})
      u32v(*v);
  }
};

}  // namespace

void m68k_state_encode(u8* out) {
  m68k_sr_compose();
  Walker<true>{out}.section();
}

bool m68k_state_acceptable(const u8* in) {
  // The running register record: t1, t0, s and m, then inStop behind the
  // reserved byte.
  const u8* regs = in + 60;
  for (u32 at : {78u, 79u, 80u, 81u, 83u})
    if (regs[at] > 1) return false;
  return be_read32(regs + 84) <= 7 && be_read32(in + 460) <= 1 && be_read32(in + 468) <= 1;
}

u32 m68k_state_pending(const u8* in) { return be_read32(in + 60 + 188); }
i32 m68k_state_cycle_before(const u8* in) { return i32(be_read32(in + 56)); }

void m68k_state_decode(const u8* in) {
  const u32 pc = Walker<false>{in}.section();
  m68k_regs& r = m68k_regfile;
  m68k_flags_from_sr(r.sr);
  // A state is taken between instructions: no fault can be in flight.
  r.pending &= ~(m68k_pend_fault_resume | m68k_pend_double_fault);
  if (m68k_sr_changed) m68k_pend_set(m68k_pend_sr_check);
  m68k_exceptions_reset();
  m68k_jump_to_core(pc);
  // The table with prefetch takes the next instruction's first extension
  // word from the prefetch register, and a state written while another table
  // ran holds stale words there (those handlers never reload them): take the
  // two words at the PC, as after any other jump. The other tables keep the
  // stored words, so that a state reads back as it was written.
  if (m68k_select_handler_table(m68k_model, m68k_prefetch_mode) == 5) m68k_reload_prefetch();
}

void m68k_state_extension_encode(u8* out) { Walker<true>{out}.extension(); }

bool m68k_state_extension_acceptable(const u8* in) {
  // CACR (68020 or 68040), TC, ITT0/1, DTT0/1, CAAR.
  const u32 kept[] = {0x80008003u, 0xc000, 0xffffe364u, 0xffffe364u, 0xffffe364u, 0xffffe364u, 0xfc};
  for (u32 i = 0; i < 7; ++i)
    if (be_read32(in + 4 + 4 * i) & ~kept[i]) return false;
  return true;
}
void m68k_state_extension_decode(const u8* in) { Walker<false>{in}.extension(); }

i32 m68k_save_state(std::FILE* file) {
  u8 buffer[m68k_state_section_size];
  m68k_state_encode(buffer);
  return std::fwrite(buffer, 1, sizeof buffer, file) == sizeof buffer ? 0 : -1;
}

i32 m68k_restore_state(std::FILE* file) {
  u8 buffer[m68k_state_section_size];
  if (std::fread(buffer, 1, sizeof buffer, file) != sizeof buffer) return -1;
  if (!m68k_state_acceptable(buffer)) return -1;
  m68k_state_decode(buffer);
  return 0;
}
