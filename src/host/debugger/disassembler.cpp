#include "host/debugger/disassembler.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/registers.h"
#include "host/debugger/debugger.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

namespace {

u32 cursor;       // address of the next word the disassembler reads
bool unreadable;  // a word of the current instruction has no memory behind it

u32 next_word() {
  u16 w = 0;
  if (!DEBUG_PeekW(cursor, w)) unreadable = true;
  cursor += 2;
  return w;
}

u32 next_long() {
  const u32 high = next_word();
  return high << 16 | next_word();
}

[[gnu::format(printf, 2, 3)]] void emit(std::string* out, const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (out)
    *out += text;
  else
    std::fputs(text, DEBUG_Console());
}

// Modes 6 and 10: the extension word at the cursor with the base register (or
// the extension word's own address for PC).
void indexed(std::string* out, u32 baseReg, bool pcBase) {
  const m68k_regs& r = m68k_regfile;
  u32 base = pcBase ? cursor : r.a[baseReg & 7];
  const u32 e = next_word();
  const char kind = (e & 0x8000) ? 'A' : 'D';
  const u32 n = (e >> 12) & 7;
  const char width = (e & 0x800) ? 'L' : 'W';
  u32 index = (e & 0x8000) ? r.a[n] : r.d[n];
  if (!(e & 0x800)) index = sext16(index);
  // The 68000 and 68010 ignore bits 10-8: every index word is brief, unscaled.
  const bool later = m68k_model >= 2;
  const u32 scale = later ? 1u << ((e >> 9) & 3) : 1;
  index *= scale;
  if (!later || !(e & 0x100)) {
    const u32 disp = sext8(e);
    const u32 address = base + disp + index;
    if (pcBase)
      emit(out, "(PC, %c%" PRIu32 ".%c*%" PRIu32 ", $%02" PRIx32 ") == $%08" PRIx32, kind, n, width,
           scale, disp, address);
    else
      emit(out, "(A%" PRIu32 ", %c%" PRIu32 ".%c*%" PRIu32 ", $%02" PRIx32 ") == $%08" PRIx32,
           baseReg & 7, kind, n, width, scale, disp, address);
    return;
  }
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, pcBase ? "PC, " : "A%" PRIu32 ", ", baseReg & 7);
  if (e & 0x80) {
    prefix[0] = 0;
    base = 0;
  }
  if (e & 0x40) index = 0;
  const auto displacement = [](u32 code) -> u32 {
    if (code == 2) return sext16(next_word());
    if (code == 3) return next_long();
    return 0;
  };
  const u32 bd = displacement((e >> 4) & 3);
  const u32 od = displacement(e & 3);
  u32 address = base + bd;
  if (!(e & 4)) address += index;
  bool known = true;
  if (e & 3) known = DEBUG_PeekL(address, address);
  if (e & 4) address += index;
  address += od;
  emit(out, "(%s%c%" PRIu32 ".%c*%" PRIu32 "+%" PRId32 ")+%" PRId32, prefix, kind, n, width, scale,
       i32(bd), i32(od));
  if (known)
    emit(out, " == $%08" PRIx32, address);
  else
    emit(out, " == ????");
}

}  // namespace

i32 DISASM_Operand(u32 reg, u32 mode, u32 size, std::string* out) {
  const m68k_regs& r = m68k_regfile;
  switch (mode) {
    case m68k_mode_Dreg: emit(out, "D%" PRIu32, reg & 7); return 0;
    case m68k_mode_Areg: emit(out, "A%" PRIu32, reg & 7); return 0;
    case m68k_mode_Aind: emit(out, "(A%" PRIu32 ")", reg & 7); return 0;
    case m68k_mode_Aipi: emit(out, "(A%" PRIu32 ")+", reg & 7); return 0;
    case m68k_mode_Apdi: emit(out, "-(A%" PRIu32 ")", reg & 7); return 0;
    case m68k_mode_Ad16: {
      const u32 d = next_word();
      emit(out, "(A%" PRIu32 ",$%04" PRIx32 ") == $%08" PRIx32, reg & 7, d,
           r.a[reg & 7] + sext16(d));
      return 0;
    }
    case m68k_mode_Ad8r: indexed(out, reg, false); return 0;
    case m68k_mode_absw: emit(out, "$%08" PRIx32, sext16(next_word())); return 0;
    case m68k_mode_absl: emit(out, "$%08" PRIx32, next_long()); return 0;
    case m68k_mode_PC16: {
      const u32 at = cursor;
      const u32 d = next_word();
      emit(out, "(PC,$%04" PRIx32 ") == $%08" PRIx32, d, at + sext16(d));
      return 0;
    }
    case m68k_mode_PC8r: indexed(out, 0, true); return 0;
    case m68k_mode_Immd:
      if (size == 0)
        emit(out, "#$%02" PRIx32, next_word() & 0xff);
      else if (size == 1)
        emit(out, "#$%04" PRIx32, next_word());
      else if (size == 2)
        emit(out, "#$%08" PRIx32, next_long());
      return 0;
    case m68k_mode_imm0: {
      const u32 w = next_word();
      emit(out, "#$%02" PRIx32, w & 0xff);
      return i32(sext8(w));
    }
    case m68k_mode_imm1: {
      const u32 w = next_word();
      emit(out, "#$%04" PRIx32, w);
      return i32(sext16(w));
    }
    case m68k_mode_imm2: {
      const u32 l = next_long();
      emit(out, "#$%08" PRIx32, l);
      return i32(l);
    }
    case m68k_mode_inline: {
      const u32 v = sext8(reg);
      emit(out, "#$%08" PRIx32, v);
      return i32(v);
    }
    default: return 0;
  }
}

u32 DISASM_Instruction(u32 address, std::string& text) {
  cursor = address;
  unreadable = false;
  u32 opcode = next_word();
  if (unreadable) {
    text = "????";
    return cursor;
  }
  if (m68k_dispatch[opcode] == m68k_default_handler) opcode = 0x4afc;
  const m68k_decode_rec& rec = m68k_decode[opcode];

  char name[16] = {};
  const char* known = m68k_mnemonic_name(rec.mnemonic);
  std::strncpy(name, known ? known : "ILLEGAL", sizeof name - 1);
  char* cc = std::strstr(name, "cc");
  if (cc) std::memcpy(cc, m68k_cond_names[rec.cond()], 2);
  static const char* const suffixes[4] = {".B ", ".W ", ".L ", "   "};
  text = name;
  text += suffixes[rec.size()];

  u32 target = 0;
  if (rec.srcPresent()) {
    const u32 at = cursor;
    target = at + u32(DISASM_Operand(rec.srcReg, rec.srcMode(), rec.size(), &text));
  }
  if (rec.srcPresent() && rec.dstPresent()) text += ",";
  if (rec.dstPresent()) {
    const u32 at = cursor;
    target = at + u32(DISASM_Operand(rec.dstReg, rec.dstMode(), rec.size(), &text));
  }
  if (cc)
    emit(&text, " == %08" PRIx32 " (%s)", target,
         m68k_cond_true_core(rec.cond()) ? "TRUE" : "FALSE");
  else if ((opcode >> 8) == 0x61)
    emit(&text, " == %08" PRIx32, target);
  if (unreadable) text = "????";
  return cursor;
}

void DISASM_Lines(u32 address, u32* next, i32 count) {
  std::FILE* out = DEBUG_Console();
  std::string text;
  for (i32 i = 0; i < count; ++i) {
    std::fprintf(out, "%08" PRIx32 ": ", address);
    for (u32 k = 0; k < 5; ++k) {
      u16 w;
      if (DEBUG_PeekW(address + 2 * k, w))
        std::fprintf(out, "%04x ", w);
      else
        std::fputs("???? ", out);
    }
    address = DISASM_Instruction(address, text);
    std::fprintf(out, "%s\n", text.c_str());
  }
  if (next) *next = address;
}

void DEBUG_DumpCpuState(u32* next) {
  std::FILE* out = DEBUG_Console();
  const m68k_regs& r = m68k_regfile;
  for (u32 i = 0; i < 8; ++i)
    std::fprintf(out, "D%" PRIu32 ": %08" PRIx32 " %s", i, r.d[i], i % 4 == 3 ? "\n" : "");
  for (u32 i = 0; i < 8; ++i)
    std::fprintf(out, "A%" PRIu32 ": %08" PRIx32 " %s", i, r.a[i], i % 4 == 3 ? "\n" : "");
  // The copy of the active stack pointer is A7 itself.
  const u32 usp = r.s ? r.usp : r.a[7];
  const u32 isp = r.s && !r.m ? r.a[7] : r.isp;
  const u32 msp = r.s && r.m ? r.a[7] : r.msp;
  std::fprintf(out, "USP=%08" PRIx32 " ISP=%08" PRIx32 " MSP=%08" PRIx32 " VBR=%08" PRIx32 "\n",
               usp, isp, msp, r.vbr);
  const m68k_flags& f = m68k_ccflags;
  std::fprintf(out,
               "T=%d%d S=%d M=%d X=%" PRIu32 " N=%" PRIu32 " Z=%" PRIu32 " V=%" PRIu32 " C=%" PRIu32
               " IMASK=%" PRIu32 "\n",
               r.t1, r.t0, r.s, r.m, f.x, f.n, f.z, f.v, f.c, r.imask);
  for (u32 i = 0; i < 8; ++i)
    std::fprintf(out, "FP%" PRIu32 ": %g %s", i, r.fp[i], i % 4 == 3 ? "\n" : "");
  std::fprintf(out, "N=%" PRIu32 " Z=%" PRIu32 " I=%" PRIu32 " NAN=%" PRIu32 "\n",
               (r.fpsr >> 27) & 1, (r.fpsr >> 26) & 1, (r.fpsr >> 25) & 1, (r.fpsr >> 24) & 1);
  if (m68k_prefetch_mode && (m68k_model < 1 || m68k_model > 4))
    std::fprintf(out, "prefetch %08" PRIx32 "\n", be_read32(r.prefetch));
  u32 after;
  DISASM_Lines(m68k_get_pc(), &after, 1);
  if (next) {
    *next = after;
    std::fprintf(out, "next PC: %08" PRIx32 "\n", after);
  }
  // The beam's position from the video counter, which a read of its register
  // would compute now; the Shifter's words are left as they were.
  const u32 linePos = SHIFTER_LinePos, address = SHIFTER_VideoAddress;
  u8 counter[3];
  std::memcpy(counter, SHIFTER_Counter, sizeof counter);
  SHIFTER_UpdateVideoCounter();
  std::fprintf(out, "raster pixel cycles %d %" PRIu32 " %d \n", SCHED_LineCounter,
               SHIFTER_LinePos * 4, SCHED_FrameCycle - 512 * SCHED_LineCounter + 512);
  SHIFTER_LinePos = linePos;
  SHIFTER_VideoAddress = address;
  std::memcpy(SHIFTER_Counter, counter, sizeof counter);
}
