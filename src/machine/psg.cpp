#include "machine/psg.h"

#include "host/host.h"
#include "machine/scheduler.h"

u8 PSG_Regs[16];
u32 PSG_Select;
u32 PSG_Initialised;

namespace {
PSG_SampleSink sink;
u32 samples_per_frame;
u32 cycles_per_frame;
u32 samples_this_frame;

void null_sink(i32) {}
}  // namespace

void PSG_Init(u32 clock, u32 sampleRate, u32 framesPerSecond, u32 cyclesPerFrame,
              PSG_SampleSink s) {
  (void)clock;
  sink = s ? s : null_sink;
  samples_per_frame = framesPerSecond ? sampleRate / framesPerSecond : 0;
  cycles_per_frame = cyclesPerFrame;
  samples_this_frame = 0;
  PSG_Initialised = 1;
  PSG_Reset();
}

void PSG_Reset() {
  for (u8& r : PSG_Regs) r = 0;
  PSG_Regs[7] = 0xff;
  PSG_Select = 0;
  samples_this_frame = 0;
}

// The tone, noise and envelope generators are not modelled yet: the chip
// produces silence at the right rate.
void PSG_Render(i32 cycle) {
  if (!PSG_Initialised || cycles_per_frame == 0 || cycle < 0) return;
  u64 due = u64(u32(cycle)) * samples_per_frame / cycles_per_frame;
  if (due > samples_per_frame) due = samples_per_frame;
  while (samples_this_frame < due) {
    sink(0);
    ++samples_this_frame;
  }
}

void PSG_EndFrame() {
  if (!PSG_Initialised) return;
  while (samples_this_frame < samples_per_frame) {
    sink(0);
    ++samples_this_frame;
  }
  samples_this_frame = 0;
}

u32 PSG_GetB(u32 addr) {
  if ((addr & 3) == 0) return PSG_Select < 16 ? PSG_Regs[PSG_Select] : 0xff;
  return 0xff;
}
u32 PSG_GetW(u32 addr) { return (PSG_GetB(addr) << 8) | PSG_GetB(addr + 1); }
u32 PSG_GetL(u32 addr) { return (PSG_GetW(addr) << 16) | PSG_GetW(addr + 2); }

void PSG_PutB(u32 addr, u32 value) {
  if ((addr & 3) == 0) {
    PSG_Select = value & 0x0f;
  } else if ((addr & 3) == 2) {
    // Bring the sample stream up to now before the register changes.
    if (PREFS_SoundOn) PSG_Render(SCHED_FrameCycle);
    PSG_Regs[PSG_Select] = u8(value);
  }
}
void PSG_PutW(u32 addr, u32 value) { PSG_PutB(addr, (value >> 8) & 0xff); }
void PSG_PutL(u32 addr, u32 value) {
  PSG_PutB(addr, (value >> 24) & 0xff);
  PSG_PutB(addr + 2, (value >> 8) & 0xff);
}
