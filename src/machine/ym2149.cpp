#include "machine/ym2149.h"

#include <algorithm>
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

// The same as advance_silent_tone in one step: the counter takes as many
// periods as bring it above 0, and the output flips once for each.
inline void skip_tone(i32& counter, i32 period, u8& output, i32 span) {
  counter -= span;
  if (counter > 0) return;
  const i32 periods = -counter / period + 1;
  counter += periods * period;
  output ^= u8(periods & 1);
}

// One step of the noise shift register: (x >> 1), with bits 16 and 14
// flipped when bit 0 was set. A linear map of the 17 bits, so a jump of k
// steps applies the columns of the map's powers 2^j for the bits set in k.
constexpr u32 noise_step(u32 x) { return (x >> 1) ^ ((x & 1) ? 0x14000u : 0u); }

struct NoiseJumps {
  u32 column[31][17];  // column[j][b]: bit b after 2^j steps; a span's steps fit 31 bits
};

constexpr u32 apply(const u32 (&column)[17], u32 x) {
  u32 r = 0;
  for (int b = 0; b < 17; ++b)
    if (x & (1u << b)) r ^= column[b];
  return r;
}

constexpr NoiseJumps make_noise_jumps() {
  NoiseJumps t{};
  for (int b = 0; b < 17; ++b) t.column[0][b] = noise_step(1u << b);
  for (int j = 1; j < 31; ++j)
    for (int b = 0; b < 17; ++b) t.column[j][b] = apply(t.column[j - 1], t.column[j - 1][b]);
  return t;
}

constexpr NoiseJumps noise_jumps = make_noise_jumps();

// The noise output flips exactly when bit 0 of the shift register changes
// (the register's two low bits differ before a step), so the output XOR
// bit 0 never changes, and the output follows from the register alone.
void jump_noise(PSG_Synth& p, u32 steps) {  // steps < 2^31
  const u32 kept = p.noiseOutput ^ ((p.noiseShift & 1) ? 0xffu : 0u);
  u32 x = p.noiseShift;
  if (steps < 32) {
    for (; steps; --steps) x = noise_step(x);
  } else {
    for (int j = 0; steps; ++j, steps >>= 1)
      if (steps & 1) x = apply(noise_jumps.column[j], x);
  }
  p.noiseShift = x;
  p.noiseOutput = u8(kept ^ ((x & 1) ? 0xffu : 0u));
}

// The noise generator over a span in which no channel hears it.
void skip_noise(PSG_Synth& p, i32 span) {
  p.noiseCounter -= span;
  if (p.noiseCounter > 0) return;
  const i32 steps = -p.noiseCounter / p.noisePeriod + 1;
  p.noiseCounter += steps * p.noisePeriod;
  jump_noise(p, u32(steps));
}

// The envelope's counter ran out at the end of a sample: it steps down as
// many times as the periods that bring it back above 0.
void envelope_step(PSG_Synth& p) {
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

// The envelope over n samples that no channel hears, from one run-out of
// its counter to the next.
void skip_envelope(PSG_Synth& p, i32 n) {
  while (n > 0 && !p.holding) {
    const i32 due = (p.envCounter - 1) / PSG_SampleUnits + 1;  // the counter is above 0
    if (due > n) {
      p.envCounter -= n * PSG_SampleUnits;
      return;
    }
    p.envCounter -= due * PSG_SampleUnits;
    n -= due;
    envelope_step(p);
  }
}

inline i32 mixed_sample(const PSG_Synth& p, const i32 (&amount)[3]) {
  const u32 s = u32(amount[0]) * p.volume[0] + u32(amount[1]) * p.volume[1] +
                u32(amount[2]) * p.volume[2];
  return i32(((u64(s) * 0xAAAAAAABull) >> 32) >> 16);
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

// The samples between two register writes form one block, in which only the
// envelope changes a volume. A channel whose volume stays 0 through the block
// is not heard: its counter and output move in one step at the block's end,
// as does the noise when no heard channel takes it and the envelope when no
// heard channel follows it. Heard channels are integrated sample by sample:
// one step a sample for a tone, the noise's own events where the noise gates
// the channel. A block with none of these gives one sample value throughout.
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

  // What each heard channel needs. A tone gated by the noise follows the
  // noise's events; a tone alone steps once a sample; with its tone off a
  // channel is high all the time, gated by the noise or not, and its counter
  // moves in one step at the end like those of the channels nobody hears.
  int gatedTones[3], tones[3];
  int gatedCount = 0, toneCount = 0;
  i32 highMask[3] = {0, 0, 0};  // all ones for the tone-off channels the noise gates
  i32 constant[3] = {0, 0, 0};
  bool followsEnvelope = false;
  const bool envelopeSilent = p.holding && p.envVolume == 0;
  for (int ch = 0; ch < 3; ++ch) {
    const u8 v = p.regs[8 + ch];
    if ((v & 0x10) ? envelopeSilent : (v & 0x0f) == 0) continue;
    if (v & 0x10) followsEnvelope = true;
    const bool toneOff = mixer & (1 << ch), noiseOff = mixer & (0x08 << ch);
    if (!noiseOff && !toneOff)
      gatedTones[gatedCount++] = ch;
    else if (!noiseOff)
      highMask[ch] = -1;
    else if (!toneOff)
      tones[toneCount++] = ch;
    else
      constant[ch] = PSG_SampleUnits;
  }
  const bool noiseHeard = gatedCount || highMask[0] || highMask[1] || highMask[2];

  if (!noiseHeard && toneCount == 0 && !followsEnvelope) {
    const i32 sample = mixed_sample(p, constant);
    for (i32 i = 0; i < n; ++i) p.sink(sample);
  } else {
    // The noise generator lives in locals while the samples are made.
    i32 noiseCounter = p.noiseCounter;
    const i32 noisePeriod = p.noisePeriod;
    u32 noiseShift = p.noiseShift;
    u8 noiseOutput = p.noiseOutput;
    u32 outn = noiseOutput | mixer;
    for (i32 i = 0; i < n; ++i) {
      if (!noiseHeard) {
        // Samples in which no tone flips and the envelope keeps its level
        // are all alike.
        const bool envelopeRuns = followsEnvelope && !p.holding;
        i32 steady = n - i;
        for (int k = 0; k < toneCount; ++k)
          steady = std::min(steady, (p.toneCounter[tones[k]] - 1) / PSG_SampleUnits);
        if (envelopeRuns) steady = std::min(steady, (p.envCounter - 1) / PSG_SampleUnits);
        if (steady > 0) {
          i32 amount[3] = {constant[0], constant[1], constant[2]};
          const i32 time = steady * PSG_SampleUnits;
          for (int k = 0; k < toneCount; ++k) {
            const int ch = tones[k];
            if (p.output[ch]) amount[ch] = PSG_SampleUnits;
            p.toneCounter[ch] -= time;
          }
          if (envelopeRuns) p.envCounter -= time;
          const i32 sample = mixed_sample(p, amount);
          for (i32 j = 0; j < steady; ++j) p.sink(sample);
          i += steady - 1;
          continue;
        }
      }
      i32 amount[3] = {constant[0], constant[1], constant[2]};
      if (noiseHeard) {
        // The gated channels advance from one change of the noise output to
        // the next (a noise step that keeps the output changes nothing for
        // them); the tone-off ones are high while the noise is.
        i32 left = PSG_SampleUnits, run = 0, noiseHigh = 0;
        auto gate_run = [&] {
          for (int k = 0; k < gatedCount; ++k) {
            const int ch = gatedTones[k];
            if (outn & (0x08u << ch))
              advance_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], amount[ch], run);
            else
              advance_silent_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], run);
          }
          if (noiseOutput) noiseHigh += run;
        };
        while (left > 0) {
          const i32 next = noiseCounter < left ? noiseCounter : left;
          run += next;
          left -= next;
          noiseCounter -= next;
          if (noiseCounter <= 0) {
            if ((noiseShift + 1) & 2) {
              gate_run();
              run = 0;
              noiseOutput = u8(~noiseOutput);
              outn = noiseOutput | mixer;
            }
            noiseShift = noise_step(noiseShift);
            noiseCounter += noisePeriod;
          }
        }
        if (run) gate_run();
        for (int ch = 0; ch < 3; ++ch) amount[ch] += noiseHigh & highMask[ch];
      }
      for (int k = 0; k < toneCount; ++k) {
        const int ch = tones[k];
        advance_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], amount[ch],
                     PSG_SampleUnits);
      }
      if (followsEnvelope && !p.holding) {
        p.envCounter -= PSG_SampleUnits;
        if (p.envCounter <= 0) envelope_step(p);
      }
      p.sink(mixed_sample(p, amount));
    }
    p.noiseCounter = noiseCounter;
    p.noiseShift = noiseShift;
    p.noiseOutput = noiseOutput;
  }

  // The rest catches up in one step.
  bool stepped[3] = {false, false, false};
  for (int k = 0; k < gatedCount; ++k) stepped[gatedTones[k]] = true;
  for (int k = 0; k < toneCount; ++k) stepped[tones[k]] = true;
  for (int ch = 0; ch < 3; ++ch)
    if (!stepped[ch]) skip_tone(p.toneCounter[ch], p.tonePeriod[ch], p.output[ch], span);
  if (!noiseHeard) skip_noise(p, span);
  if (!followsEnvelope) skip_envelope(p, n);
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
