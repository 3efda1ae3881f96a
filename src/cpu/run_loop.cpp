#include "cpu/run_loop.h"

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/registers.h"
#include "machine/scheduler.h"

u32 m68k_step() {
  const u32 opcode = be_read16(m68k_regfile.pcHost);
  const u32 cycles = m68k_dispatch[opcode](opcode);
  SCHED_FrameCycle += i32(cycles);
  return cycles;
}
