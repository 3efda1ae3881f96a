#include "machine/ym2149.h"

#include <cstring>

#include "host/sound.h"

PSG_Synth PSG_State;
u32 PSG_VolumeTable[32];
u32 PSG_Initialised;

namespace {

void null_sink(i32) {}

void build_volume_table() {
  double v = 32767.0;
  PSG_VolumeTable[0] = 0;
  for (int k = 31; k >= 1; --k) {
    PSG_VolumeTable[k] = u32(v + 0.5);
    v /= 1.188502227;  // 1.5 dB a step
  }
}

// A period change moves the running counter by the difference, so the phase
// of a running square wave is kept.
void set_period(i32& period, i32& counter, i32 value) {
  counter += value - period;
  period = value;
  if (counter < 1) counter = 1;
}

void channel_volume(PSG_Synth& p, int ch) {
  const u32 v = p.regs[8 + ch];
  p.envMode[ch] = (v & 0x10) ? 1 : 0;
  if (p.envMode[ch]) {
    p.volume[ch] = p.envVolume;
  } else {
    const u32 level = v & 0x0f;
    p.volume[ch] = level ? PSG_VolumeTable[2 * level + 1] : PSG_VolumeTable[0];
  }
}

void envelope_to_channels(PSG_Synth& p) {
  for (int ch = 0; ch < 3; ++ch)
    if (p.envMode[ch]) p.volume[ch] = p.envVolume;
}

void reset_common(PSG_Synth& p) {
  p.selected = 0;
  p.noiseShift = 1;
  p.output[0] = p.output[1] = p.output[2] = 0;
  p.noiseOutput = 0xff;
  p.lastMixer = -1;
  for (u32 r = 0; r < 14; ++r) PSG_WriteReg(r, 0);
}

// Half a square wave lasts one period; `amount` collects the sub-units the
// output spends high.
inline void advance_tone(i32& counter, i32 period, u8& output, i32& amount, i32 next) {
  if (output) amount += counter;
  counter -= next;
  while (counter <= 0) {
    counter += period;
    if (counter > 0) {
      output ^= 1;
      if (output) amount += period;
      break;
    }
    counter += period;
    amount += period;
  }
  if (output) amount -= counter;
}

inline void advance_silent_tone(i32& counter, i32 period, u8& output, i32 next) {
  counter -= next;
  while (counter <= 0) {
    counter += period;
    if (counter > 0) {
      output ^= 1;
      break;
    }
    counter += period;
  }
}

}  // namespace

void PSG_Init(u32 clock, u32 rate, u32 framesPerSecond, u32 cyclesPerFrame, PSG_SampleSink sink,
              PSG_PortRead portARead, PSG_PortRead portBRead, PSG_PortWrite portAWrite,
              PSG_PortWrite portBWrite) {
  PSG_Synth& p = PSG_State;
  std::memset(&p, 0, sizeof p);
  p.rate = rate;
  p.portARead = portARead;
  p.portBRead = portBRead;
  p.portAWrite = portAWrite;
  p.portBWrite = portBWrite;
  p.step = clock ? u32((u64(rate) * 32768 * 8 + clock / 2) / clock) : 1;
  if (p.step == 0) p.step = 1;
  build_volume_table();
  reset_common(p);
  p.cyclesPerFrame = cyclesPerFrame;
  p.samplesPerFrame = framesPerSecond ? rate / framesPerSecond : 0;
  p.rendered = 0;
  p.sink = sink ? sink : null_sink;
  PSG_Initialised = 1;
}

void PSG_Select(u32 v) { PSG_State.selected = v & 15; }

void PSG_WriteRegAt(u32 r, u32 v, i32 cycle) {
  PSG_Synth& p = PSG_State;
  if (r > 15) return;
  if (r < 14 && (r == 13 || (v & 0xff) != p.regs[r]) && p.cyclesPerFrame) {
    // Samples due before this cycle; a write past the frame's end can't make
    // the frame longer than its sample count.
    i64 due = i64(p.samplesPerFrame) * cycle / i64(p.cyclesPerFrame);
    if (due > i64(p.samplesPerFrame)) due = p.samplesPerFrame;
    const i64 n = due - i64(p.rendered);
    if (n > 0) PSG_Render(i32(n));
  }
  PSG_WriteReg(r, v);
}

void PSG_WriteDataAt(u32 v, i32 cycle) { PSG_WriteRegAt(PSG_State.selected, v, cycle); }

void PSG_WriteReg(u32 r, u32 v) {
  PSG_Synth& p = PSG_State;
  if (r > 15) return;
  p.regs[r] = u8(v);
  const i32 step = i32(p.step);
  switch (r) {
    case 0: case 1: case 2: case 3: case 4: case 5: {
      const int ch = int(r >> 1);
      p.regs[2 * ch + 1] &= 0x0f;
      i32 per = i32(p.regs[2 * ch] + 256 * p.regs[2 * ch + 1]) * step;
      if (per == 0) per = step;
      set_period(p.tonePeriod[ch], p.toneCounter[ch], per);
      break;
    }
    case 6: {
      p.regs[6] &= 0x1f;
      i32 per = i32(p.regs[6]) * step;
      if (per == 0) per = step;
      set_period(p.noisePeriod, p.noiseCounter, per);
      break;
    }
    case 7: {
      const u8 m = p.regs[7];
      const i32 last = p.lastMixer;
      if (last == -1 || ((last ^ m) & 0x40))
        if (p.portAWrite) p.portAWrite((m & 0x40) ? p.regs[14] : 0xff);
      if (last == -1 || ((last ^ m) & 0x80))
        if (p.portBWrite) p.portBWrite((m & 0x80) ? p.regs[15] : 0xff);
      p.lastMixer = m;
      break;
    }
    case 8: case 9: case 10:
      p.regs[r] &= 0x1f;
      channel_volume(p, int(r - 8));
      break;
    case 11: case 12: {
      i32 per = i32(p.regs[11] + 256 * p.regs[12]) * step;
      if (per == 0) per = step / 2;
      set_period(p.envPeriod, p.envCounter, per);
      break;
    }
    case 13: {
      p.regs[13] &= 0x0f;
      const u8 shape = p.regs[13];
      p.attack = (shape & 0x04) ? 0x1f : 0;
      if (!(shape & 0x08)) {
        p.hold = 1;
        p.alternate = p.attack;
      } else {
        p.hold = shape & 0x01;
        p.alternate = (shape & 0x02) ? 1 : 0;
      }
      p.envCounter = p.envPeriod;
      p.envStep = 31;
      p.holding = 0;
      p.envVolume = PSG_VolumeTable[31 ^ p.attack];
      envelope_to_channels(p);
      break;
    }
    case 14:
      if ((p.regs[7] & 0x40) && p.portAWrite) p.portAWrite(p.regs[14]);
      break;
    case 15:
      if ((p.regs[7] & 0x80) && p.portBWrite) p.portBWrite(p.regs[15]);
      break;
    default: break;
  }
}

u32 PSG_ReadReg(u32 r) {
  PSG_Synth& p = PSG_State;
  if (r > 15) return 0;
  if (r == 14 && p.portARead) p.regs[14] = p.portARead();
  if (r == 15 && p.portBRead) p.regs[15] = p.portBRead();
  return p.regs[r];
}

u32 PSG_ReadData() { return PSG_ReadReg(PSG_State.selected); }

void PSG_Render(i32 n) {
  PSG_Synth& p = PSG_State;
  if (n <= 0) return;
  p.rendered += u32(n);
  const i32 span = n * PSG_SampleUnits;
  const u8 mixer = p.regs[7];

  // Channels that can't change the output skip ahead in one step.
  for (int ch = 0; ch < 3; ++ch) {
    if (mixer & (1 << ch)) {
      if (p.toneCounter[ch] <= span) p.toneCounter[ch] += span;
      p.output[ch] = 1;
    } else if (p.regs[8 + ch] == 0) {
      if (p.toneCounter[ch] <= span) p.toneCounter[ch] += span;
    }
  }
  if ((mixer & 0x38) == 0x38 && p.noiseCounter <= span) p.noiseCounter += span;

  u32 outn = p.noiseOutput | mixer;
  for (i32 i = 0; i < n; ++i) {
    i32 amount[3] = {0, 0, 0};
    i32 left = PSG_SampleUnits;
    while (left > 0) {
      const i32 next = p.noiseCounter < left ? p.noiseCounter : left;
      for (int ch = 0; ch < 3; ++ch) {
        if (outn & (0x08u << ch))
          advance_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], amount[ch], next);
        else
          advance_silent_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], next);
      }
      p.noiseCounter -= next;
      if (p.noiseCounter <= 0) {
        if ((p.noiseShift + 1) & 2) {
          p.noiseOutput = u8(~p.noiseOutput);
          outn = p.noiseOutput | mixer;
        }
        if (p.noiseShift & 1) p.noiseShift ^= 0x28000;
        p.noiseShift >>= 1;
        p.noiseCounter += p.noisePeriod;
      }
      left -= next;
    }

    if (!p.holding) {
      p.envCounter -= PSG_SampleUnits;
      if (p.envCounter <= 0) {
        do {
          --p.envStep;
          p.envCounter += p.envPeriod;
        } while (p.envCounter <= 0);
        if (p.envStep < 0) {
          if (p.hold) {
            if (p.alternate) p.attack ^= 0x1f;
            p.holding = 1;
            p.envStep = 0;
          } else {
            if (p.alternate && (p.envStep & 0x20)) p.attack ^= 0x1f;
            p.envStep &= 0x1f;
          }
        }
        p.envVolume = PSG_VolumeTable[u32(p.envStep) ^ p.attack];
        envelope_to_channels(p);
      }
    }

    const u32 s = u32(amount[0]) * p.volume[0] + u32(amount[1]) * p.volume[1] +
                  u32(amount[2]) * p.volume[2];
    p.sink(i32(((u64(s) * 0xAAAAAAABull) >> 32) >> 16));
  }
}

void PSG_EndFrame() {
  PSG_Synth& p = PSG_State;
  if (p.rendered < p.samplesPerFrame) PSG_Render(i32(p.samplesPerFrame - p.rendered));
  p.rendered = 0;
}

void PSG_Reset() {
  reset_common(PSG_State);
  PSG_State.rendered = 0;
}

void PSG_ResetRegs() { reset_common(PSG_State); }

void SOUND_StopHook() {}
