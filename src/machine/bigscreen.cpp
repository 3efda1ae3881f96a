#include "machine/bigscreen.h"

#include "cpu/registers.h"
#include "host/events.h"
#include "host/screen.h"
#include "machine/memory.h"
#include "machine/shifter.h"

u32 SCREEN_LineABase;

namespace {

void put_word(u32 addr, u32 v) {
  addr &= MMU_AddressMask;
  MMU_bankTable[addr >> 16]->putW(addr, v & 0xffff);
}
void put_long_bank0(u32 addr, u32 v) { MMU_bankTable[0]->putL(addr & MMU_AddressMask, v); }

}  // namespace

void SCREEN_NoteLineABase() {
  if (SCREEN_LineABase != 0) return;
  EVENTS_VdiTracking = 1;
  SCREEN_LineABase = m68k_regfile.d[0];
}

void SCREEN_WriteLineAGeometry(u32 w, u32 h, u32 planes) {
  const u32 b = SCREEN_LineABase;
  const u32 bytes_per_line = w * planes / 8;
  put_word(b, 4);
  put_word(b + 60, 640);
  put_word(b + 62, 400);
  put_word(b - 2, bytes_per_line);
  put_word(b + 2, bytes_per_line);
  put_word(b - 4, h - 1);
  put_word(b - 12, w - 1);
  put_word(b - 46, 8);
  put_word(b - 44, w / 8 - 1);
  put_word(b - 42, h / 8 - 1);
  put_word(b - 40, 8 * bytes_per_line);
  // The workstation pointer is read through the bank of its own address:
  // the base comes from the ST's D0 and may point anywhere, not only into RAM.
  const u32 p = MMU_ReadL(b + 16);
  put_word(p, w - 1);
  put_word(p + 2, h - 1);
  put_word(p + 26, 16);
  put_word(p + 70, 1);
  put_word(p + 78, 512);
  put_word(b - 690, h - 1);
  put_word(b - 692, w - 1);
  put_word(b - 664, 16);
}

void SCREEN_ReserveBigScreenRam() {
  const u32 s = (MMU_RamSize - SCREEN_BigScreenBytes) & ~1023u;
  put_long_bank0(0x436, s);
  put_long_bank0(0x42e, s);
  put_long_bank0(0x44e, s);
  SHIFTER_LoadBase = s;
  SHIFTER_BaseHigh = u8(s >> 16);
  SHIFTER_BaseMid = u8(s >> 8);
}

void SCREEN_EnterBigScreen() {
  SCREEN_BigScreen = 1;
  SCREEN_OpenWindow();
  SCREEN_WriteLineAGeometry(640, 400, 4);
  SCREEN_ReserveBigScreenRam();
}
