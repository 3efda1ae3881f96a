#include "runner.h"

#include <algorithm>
#include <cstdio>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"

namespace conformance {

namespace {

bool decode_built = false;
u32 table_under_test = 4;

// Expected contents of every byte the test lists, the final state's words
// overriding the initial ones; sorted by address for lookups.
struct ExpectedByte {
  u32 address;
  u8 value;
};
std::vector<ExpectedByte> expected_bytes;

void collect_expected(const TestCase& test) {
  expected_bytes.clear();
  auto add = [](const std::vector<MemoryWord>& words) {
    for (const MemoryWord& w : words) {
      expected_bytes.push_back({w.address & 0xFFFFFF, u8(w.value >> 8)});
      expected_bytes.push_back({(w.address + 1) & 0xFFFFFF, u8(w.value)});
    }
  };
  add(test.final.memory);
  add(test.initial.memory);
  // Stable sort keeps the final state's byte first for each address.
  std::stable_sort(expected_bytes.begin(), expected_bytes.end(),
                   [](const ExpectedByte& x, const ExpectedByte& y) { return x.address < y.address; });
  auto last = std::unique(expected_bytes.begin(), expected_bytes.end(),
                          [](const ExpectedByte& x, const ExpectedByte& y) { return x.address == y.address; });
  expected_bytes.erase(last, expected_bytes.end());
}

const ExpectedByte* find_expected(u32 address) {
  auto it = std::lower_bound(expected_bytes.begin(), expected_bytes.end(), address,
                             [](const ExpectedByte& x, u32 a) { return x.address < a; });
  return it != expected_bytes.end() && it->address == address ? &*it : nullptr;
}

void write_words(const std::vector<MemoryWord>& words) {
  u8* mem = FLAT_Memory();
  for (const MemoryWord& w : words) {
    mem[w.address & 0xFFFFFF] = u8(w.value >> 8);
    mem[(w.address + 1) & 0xFFFFFF] = u8(w.value);
    FLAT_Touch(w.address & 0xFFFFFF, 2);
  }
}

void load_state(const CpuState& s) {
  m68k_regs& r = m68k_regfile;
  for (int i = 0; i < 8; ++i) r.d[i] = s.d[i];
  for (int i = 0; i < 7; ++i) r.a[i] = s.a[i];
  // Set S before applying the SR so that m68k_sr_apply sees no mode change
  // and swaps no stack pointers: A7 and the inactive pointer are set here.
  const bool super = (s.sr & 0x2000) != 0;
  r.s = super ? 1 : 0;
  r.m = 0;
  r.a[7] = super ? s.ssp : s.usp;
  r.usp = s.usp;
  r.isp = s.ssp;
  r.msp = 0;
  r.inStop = 0;
  r.pending = 0;
  r.vbr = 0;
  r.sr = s.sr;
  m68k_sr_apply();
  m68k_jump_to(s.pc - 4);
  be_write16(r.prefetch, s.prefetch[0]);
  be_write16(r.prefetch + 2, s.prefetch[1]);
}

void compare(const TestCase& test, Outcome& out) {
  const CpuState& e = test.final;
  out.fields = 0;
  for (int i = 0; i < 8; ++i)
    if (out.d[i] != e.d[i]) out.fields |= field_d0 << i;
  for (int i = 0; i < 7; ++i)
    if (out.a[i] != e.a[i]) out.fields |= field_a0 << i;
  if (out.usp != e.usp) out.fields |= field_usp;
  if (out.ssp != e.ssp) out.fields |= field_ssp;
  if (out.sr != e.sr) out.fields |= field_sr;
  if (out.pc != e.pc - 4) out.fields |= field_pc;
  if (table_under_test == 5 && (out.prefetch[0] != e.prefetch[0] || out.prefetch[1] != e.prefetch[1]))
    out.fields |= field_prefetch;

  // Every listed byte, then every other byte of the written pages, which a
  // correct run leaves at zero.
  out.memory.clear();
  const u8* mem = FLAT_Memory();
  for (const ExpectedByte& b : expected_bytes)
    if (mem[b.address] != b.value) out.memory.push_back({b.address, b.value, mem[b.address], true});
  const u32* pages;
  const u32 count = FLAT_TouchedPages(&pages);
  for (u32 i = 0; i < count; ++i) {
    const u32 base = pages[i] << FLAT_PageShift;
    for (u32 a = base; a < base + (1u << FLAT_PageShift); ++a)
      if (mem[a] != 0 && !find_expected(a)) out.memory.push_back({a, 0, mem[a], false});
  }
  if (!out.memory.empty()) {
    out.fields |= field_memory;
    std::sort(out.memory.begin(), out.memory.end(),
              [](const MemoryDiff& x, const MemoryDiff& y) { return x.address < y.address; });
  }
  out.cycles_match = out.cycles == test.cycles;
}

void clear_memory() {
  u8* mem = FLAT_Memory();
  for (const ExpectedByte& b : expected_bytes) mem[b.address] = 0;
  FLAT_ClearTouched();
}

// A register name such as "D3" (built without string concatenation, which
// trips a false -Wrestrict in GCC 12).
std::string reg_name(char kind, int n) {
  const char name[3] = {kind, char('0' + n), 0};
  return name;
}

std::string hex(u32 v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

}  // namespace

void setup_core(u32 table) {
  if (!decode_built) {
    m68k_decode_init();
    decode_built = true;
  }
  m68k_registers_reset();
  m68k_model = 0;
  m68k_prefetch_mode = table == 5 ? 1 : 0;
  m68k_build_dispatch();
  table_under_test = table;
  FLAT_Install();
  expected_bytes.clear();
}

void run_test(const TestCase& test, Outcome& out) {
  collect_expected(test);
  write_words(test.initial.memory);
  load_state(test.initial);

  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  // The frame position takes the handler's count and, on top, the cost of
  // any exception the instruction took: the instruction's whole length.
  out.cycles = m68k_step(out.handler_cycles);

  const m68k_regs& r = m68k_regfile;
  for (int i = 0; i < 8; ++i) out.d[i] = r.d[i];
  for (int i = 0; i < 7; ++i) out.a[i] = r.a[i];
  if (r.s) {
    out.ssp = r.a[7];
    out.usp = r.usp;
  } else {
    out.usp = r.a[7];
    out.ssp = r.isp;
  }
  m68k_sr_compose();
  out.sr = r.sr;
  out.pc = m68k_get_pc();
  out.prefetch[0] = u16(be_read16(r.prefetch));
  out.prefetch[1] = u16(be_read16(r.prefetch + 2));

  compare(test, out);
  clear_memory();
}

std::string field_name(u32 bit) {
  for (int i = 0; i < 8; ++i)
    if (bit == (field_d0 << i)) return reg_name('D', i);
  for (int i = 0; i < 7; ++i)
    if (bit == (field_a0 << i)) return reg_name('A', i);
  switch (bit) {
    case field_usp: return "USP";
    case field_ssp: return "SSP";
    case field_sr: return "SR";
    case field_pc: return "PC";
    case field_memory: return "memory";
    case field_prefetch: return "prefetch";
    default: return "?";
  }
}

std::string describe_initial(const TestCase& test) {
  const CpuState& i = test.initial;
  char buf[160];
  std::string s = "    before:";
  for (int n = 0; n < 8; ++n) {
    std::snprintf(buf, sizeof buf, " D%d=%08X", n, i.d[n]);
    s += buf;
  }
  s += "\n           ";
  for (int n = 0; n < 7; ++n) {
    std::snprintf(buf, sizeof buf, " A%d=%08X", n, i.a[n]);
    s += buf;
  }
  std::snprintf(buf, sizeof buf, "\n            USP=%08X SSP=%08X SR=%04X PC=%08X\n           ", i.usp, i.ssp,
                i.sr, i.pc - 4);
  s += buf;
  for (const MemoryWord& w : i.memory) {
    std::snprintf(buf, sizeof buf, " %06X:%04X", w.address, w.value);
    s += buf;
  }
  return s + "\n";
}

std::string describe_differences(const TestCase& test, const Outcome& out) {
  const CpuState& e = test.final;
  std::string s;
  auto line = [&s](const std::string& name, u32 expected, u32 got, int digits) {
    s += "    " + name + ": expected " + hex(expected, digits) + ", got " + hex(got, digits) + "\n";
  };
  for (int i = 0; i < 8; ++i)
    if (out.fields & (field_d0 << i)) line(reg_name('D', i), e.d[i], out.d[i], 8);
  for (int i = 0; i < 7; ++i)
    if (out.fields & (field_a0 << i)) line(reg_name('A', i), e.a[i], out.a[i], 8);
  if (out.fields & field_usp) line("USP", e.usp, out.usp, 8);
  if (out.fields & field_ssp) line("SSP", e.ssp, out.ssp, 8);
  if (out.fields & field_sr) {
    line("SR", e.sr, out.sr, 4);
    s.pop_back();
    s += " (bits " + hex(u32(e.sr ^ out.sr), 4) + ")\n";
  }
  if (out.fields & field_pc) line("PC", e.pc - 4, out.pc, 8);
  if (out.fields & field_prefetch)
    line("prefetch", (u32(e.prefetch[0]) << 16) | e.prefetch[1],
         (u32(out.prefetch[0]) << 16) | out.prefetch[1], 8);
  for (const MemoryDiff& m : out.memory) {
    line("byte " + hex(m.address, 6), m.expected, m.got, 2);
    if (!m.listed) {
      s.pop_back();
      s += " (not listed)\n";
    }
  }
  if (!out.cycles_match) {
    s += "    cycles: expected " + std::to_string(test.cycles) + ", got " + std::to_string(out.cycles) +
         "\n";
  }
  return s;
}

}  // namespace conformance
