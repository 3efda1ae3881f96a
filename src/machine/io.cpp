// The I/O page: finds the chip that owns an address and calls its register
// handler; answers a few registers itself and turns the rest into bus errors
// or fill values.
#include <cstdio>

#include "blitter/blitter.h"
#include "common/console.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/options.h"
#include "machine/acia.h"
#include "machine/fdc.h"
#include "machine/hdd.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/rtc.h"
#include "machine/shifter.h"

u8 MMU_MemConfig;
u16 MMU_MicrowireMask;
u16 MMU_MicrowireData;
u16 MMU_IOSpare;

namespace {

inline bool in(u32 addr, u32 lo, u32 hi) { return addr - lo <= hi - lo; }

// With Mask, the byte and word getters' results are cut to their size.
template <u32 (*B)(u32), u32 (*W)(u32), u32 (*L)(u32), bool Mask = false>
inline u32 chip_get(u32 addr, u32 size) {
  switch (size) {
    case 0: return L(addr);
    case 1: return Mask ? W(addr) & 0xffff : W(addr);
    case 2: return Mask ? B(addr) & 0xff : B(addr);
    default: return 0;
  }
}

template <void (*B)(u32, u32), void (*W)(u32, u32), void (*L)(u32, u32)>
inline void chip_put(u32 addr, u32 size, u32 value) {
  switch (size) {
    case 0: L(addr, value); break;
    case 1: W(addr, value & 0xffff); break;
    case 2: B(addr, value & 0xff); break;
    default: break;
  }
}

u32 fill_value(u32 addr, u32 size) {
  const bool odd = addr & 1;
  switch (size) {
    case 0: return odd ? 0xaa55aa55 : 0x55aa55aa;
    case 1: return odd ? 0xaa55 : 0x55aa;
    default: return odd ? 0xaa : 0x55;
  }
}

}  // namespace

u32 MMU_IOGet(u32 addr, u32 size) {
  if (BLITTER_Running) return addr;
  if (in(addr, 0xfffa00, 0xfffaff)) return chip_get<MFP_GetB, MFP_GetW, MFP_GetL>(addr, size);
  if (in(addr, 0xff8200, 0xff82ff))
    return chip_get<SHIFTER_GetB, SHIFTER_GetW, SHIFTER_GetL>(addr, size);
  if (in(addr, 0xff8600, 0xff86ff)) return chip_get<DMA_GetB, DMA_GetW, DMA_GetL>(addr, size);
  if (in(addr, 0xff8800, 0xff88ff)) return chip_get<PSG_GetB, PSG_GetW, PSG_GetL>(addr, size);
  if (in(addr, 0xfffc00, 0xfffc02)) return chip_get<ACIA_GetB, ACIA_GetW, ACIA_GetL>(addr, size);
  if (in(addr, 0xfffc04, 0xfffc06)) return chip_get<MIDI_GetB, MIDI_GetW, MIDI_GetL>(addr, size);
  if (size == 1 && in(addr, 0xfff700, 0xfff7ff)) return HDD_PortGet(addr) & 0xffff;
  if (addr == 0xff8001) return MMU_MemConfig;
  if (in(addr, 0xff8a00, 0xff8a3d)) {
    if (PREFS_BlitterEnabled && MMU_TosVersion > 10)
      return chip_get<BLITTER_GetB, BLITTER_GetW, BLITTER_GetL, true>(addr, size);
    MMU_BusError();
    return fill_value(addr, size);
  }
  if (in(addr, 0xfffc21, 0xfffc3f)) return chip_get<RTC_GetB, RTC_GetW, RTC_GetL, true>(addr, size);
  if (addr == 0xffef86) return 0;
  if (MMU_IsLaterTos()) {
    if (in(addr, 0xff8e0d, 0xff8e0f)) return 0;
    if (in(addr, 0xff8900, 0xff8924)) return addr == 0xff8924 ? MMU_MicrowireMask : 0;
    if (in(addr, 0xff9200, 0xff9222)) return 0;
    if (in(addr, 0xff8c81, 0xff8c87)) return 0;
    if (in(addr, 0xf00000, 0xf00039)) return 0;
  }
  if (addr == 0xff8e21) return 0;
  if (addr > 0xfeffff && MMU_BusErrorsEnabled) {
    CONSOLE_Line("Bus error @ GET (MMU.C) = %x", addr);
    MMU_BusError();
  }
  return fill_value(addr, size);
}

void MMU_IOPut(u32 addr, u32 size, u32 value) {
  if (BLITTER_Running) return;
  if (!m68k_regfile.s && addr > 0x3fffff && MMU_BusErrorsEnabled) {
    MMU_BusError();
    return;
  }
  if (in(addr, 0xfffa00, 0xfffaff)) return chip_put<MFP_PutB, MFP_PutW, MFP_PutL>(addr, size, value);
  if (in(addr, 0xff8200, 0xff82ff))
    return chip_put<SHIFTER_PutB, SHIFTER_PutW, SHIFTER_PutL>(addr, size, value);
  if (in(addr, 0xff8600, 0xff86ff)) return chip_put<DMA_PutB, DMA_PutW, DMA_PutL>(addr, size, value);
  if (in(addr, 0xff8800, 0xff88ff)) return chip_put<PSG_PutB, PSG_PutW, PSG_PutL>(addr, size, value);
  if (in(addr, 0xfffc00, 0xfffc02))
    return chip_put<ACIA_PutB, ACIA_PutW, ACIA_PutL>(addr, size, value);
  if (in(addr, 0xfffc04, 0xfffc06))
    return chip_put<MIDI_PutB, MIDI_PutW, MIDI_PutL>(addr, size, value);
  if (addr == 0xff8001) {
    MMU_MemConfig = u8(value);
    return;
  }
  if (MMU_IsLaterTos()) {
    if (in(addr, 0xff9200, 0xff9222)) return;
    if (in(addr, 0xff8900, 0xff8924)) {
      if (addr == 0xff8924) MMU_MicrowireMask = u16(value);
      if (addr == 0xff8922) MMU_MicrowireData = u16(value);
      return;
    }
    if (in(addr, 0xff8e0d, 0xff8e0f)) return;
    if (in(addr, 0xff8c81, 0xff8c87)) return;
  }
  if (in(addr, 0xfff700, 0xfff7ff))
    return chip_put<HDD_PortPutB, HDD_PortPutW, HDD_PortPutL>(addr, size, value);
  if (in(addr, 0xff8a00, 0xff8a3d) || in(addr, 0xff7f30, 0xff7f6d)) {
    if (!PREFS_BlitterEnabled || MMU_TosVersion <= 10) {
      MMU_BusError();
      return;
    }
    if (addr < 0xff8000) addr += 0xad0;
    return chip_put<BLITTER_PutB, BLITTER_PutW, BLITTER_PutL>(addr, size, value);
  }
  if (in(addr, 0xfffc21, 0xfffc3f)) return chip_put<RTC_PutB, RTC_PutW, RTC_PutL>(addr, size, value);
  if (addr == 0xff8e21) return;
  if (addr <= 0xfeffff) return;
  if (MMU_BusErrorsEnabled) {
    CONSOLE_Line("Bus Error @ PUT (MMU.C) = %x ", addr);
    MMU_BusError();
  }
}
