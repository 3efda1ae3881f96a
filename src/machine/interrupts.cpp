// Interrupt sources and their arbitration: the six MFP channels on level 6,
// vectored through the MFP's vector register, the VBL on level 4 and the HBL
// on level 2, both autovectored.
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "machine/acia.h"
#include "machine/ikbd.h"
#include "machine/mfp.h"

u32 MFP_VideoIntPending;
u32 MFP_VectorLatch;
u32 MFP_IntTaken;

namespace {

inline void request() { m68k_pend_set(m68k_pend_interrupt); }

u32 take(u8& pending, u8& mask, u8& inService, u8 bit, i32 ch) {
  MFP_IntTaken = 0;
  m68k_sr_compose();
  if (!(mask & bit)) return 0;
  if (MFP_VR & 0x08) {
    if (MFP_InServiceChannel >= ch || m68k_regfile.imask > 5) return 0;
    inService |= bit;
    MFP_InServiceChannel = ch;
  } else if (m68k_regfile.imask > 5) {
    return 0;
  }
  MFP_VectorLatch = (MFP_VR & 0xf0) + u32(ch);
  m68k_accept_interrupt(6);
  pending &= u8(~bit);
  MFP_IntTaken = 1;
  return 1;
}

// The autovectored video interrupts: taken when the mask is below `level`.
u32 take_video(u32 level, u32 source) {
  MFP_IntTaken = 0;
  m68k_sr_compose();
  if (m68k_regfile.imask >= level) return 0;
  MFP_VectorLatch = 0;
  m68k_accept_interrupt(level);
  MFP_VideoIntPending &= ~source;
  MFP_IntTaken = 1;
  return 1;
}

}  // namespace

void MFP_RaiseTimerA() { MFP_IPERA |= 0x20; request(); }
void MFP_RaiseTimerB() { MFP_IPERA |= 0x01; request(); }
void MFP_RaiseDisk() { MFP_IPERB |= 0x80; request(); }
void MFP_RaiseACIA() { MFP_IPERB |= 0x40; request(); }
void MFP_RaiseTimerC() { MFP_IPERB |= 0x20; request(); }
void MFP_RaiseTimerD() { MFP_IPERB |= 0x10; request(); }
void MFP_RaiseVBL() { MFP_VideoIntPending |= MFP_VideoVBL; request(); }
void MFP_RaiseHBL() { MFP_VideoIntPending |= MFP_VideoHBL; request(); }

u32 MFP_TakeTimerA() { return take(MFP_IPERA, MFP_IMRA, MFP_ISRA, 0x20, 13); }
u32 MFP_TakeTimerB() { return take(MFP_IPERA, MFP_IMRA, MFP_ISRA, 0x01, 8); }
u32 MFP_TakeDisk() { return take(MFP_IPERB, MFP_IMRB, MFP_ISRB, 0x80, 7); }
u32 MFP_TakeTimerC() { return take(MFP_IPERB, MFP_IMRB, MFP_ISRB, 0x20, 5); }
u32 MFP_TakeTimerD() { return take(MFP_IPERB, MFP_IMRB, MFP_ISRB, 0x10, 4); }

u32 MFP_TakeACIA() {
  if (IKBD_QueueCount) {
    MFP_GPI &= u8(~0x10);
    ACIA_KbdRegs[1] |= 0x81;
  }
  if (MIDI_RxCount) {
    MFP_GPI &= u8(~0x10);
    MIDI_Acia[1] |= 0x81;
  }
  if (!(MFP_IERB & 0x40)) {
    MFP_IntTaken = 0;
    return 0;
  }
  return take(MFP_IPERB, MFP_IMRB, MFP_ISRB, 0x40, 6);
}

u32 MFP_TakeVBL() { return take_video(4, MFP_VideoVBL); }
u32 MFP_TakeHBL() { return take_video(2, MFP_VideoHBL); }

void MFP_CheckInterrupts() {
  const u8 a = MFP_IERA & MFP_IMRA & MFP_IPERA;
  const u8 b = MFP_IERB & MFP_IMRB & MFP_IPERB;
  if ((a & 0x20) && MFP_TakeTimerA()) return;
  if ((a & 0x01) && MFP_TakeTimerB()) return;
  if ((b & 0x80) && MFP_TakeDisk()) return;
  if ((b & 0x40) && MFP_TakeACIA()) return;
  if ((b & 0x20) && MFP_TakeTimerC()) return;
  if ((b & 0x10) && MFP_TakeTimerD()) return;
  if ((MFP_VideoIntPending & MFP_VideoVBL) && MFP_TakeVBL()) return;
  if (MFP_VideoIntPending & MFP_VideoHBL) MFP_TakeHBL();
}

u32 MFP_AnyPending() {
  return ((MFP_IPERA & 0x21) || (MFP_IPERB & 0xf0) || (MFP_VideoIntPending & 6)) ? 1 : 0;
}
