// The MFP 68901: general-purpose inputs, four timers and the interrupt
// controller of sixteen channels; and the interrupt sources of the machine.
#pragma once

#include "common/types.h"
#include "cpu/bus.h"  // MFP_VectorLatch and MFP_CheckInterrupts

// The 24 registers at the odd addresses 0xfffa01-0xfffa2f.
extern u8 MFP_Regs[24];
inline u8& MFP_GPI = MFP_Regs[0];
inline u8& MFP_AER = MFP_Regs[1];
inline u8& MFP_DDR = MFP_Regs[2];
inline u8& MFP_IERA = MFP_Regs[3];
inline u8& MFP_IERB = MFP_Regs[4];
inline u8& MFP_IPERA = MFP_Regs[5];
inline u8& MFP_IPERB = MFP_Regs[6];
inline u8& MFP_ISRA = MFP_Regs[7];
inline u8& MFP_ISRB = MFP_Regs[8];
inline u8& MFP_IMRA = MFP_Regs[9];
inline u8& MFP_IMRB = MFP_Regs[10];
inline u8& MFP_VR = MFP_Regs[11];
inline u8& MFP_TACR = MFP_Regs[12];
inline u8& MFP_TBCR = MFP_Regs[13];
inline u8& MFP_TCDCR = MFP_Regs[14];
inline u8& MFP_TADR = MFP_Regs[15];
inline u8& MFP_TBDR = MFP_Regs[16];
inline u8& MFP_TCDR = MFP_Regs[17];
inline u8& MFP_TDDR = MFP_Regs[18];
inline u8& MFP_SCR = MFP_Regs[19];
inline u8& MFP_UCR = MFP_Regs[20];
inline u8& MFP_RSR = MFP_Regs[21];
inline u8& MFP_TSR = MFP_Regs[22];
inline u8& MFP_UDR = MFP_Regs[23];

extern u32 MFP_ReloadA, MFP_ReloadB, MFP_ReloadC, MFP_ReloadD;
extern u32 MFP_TickCycles[16];
extern const u32 MFP_TickCyclesInit[16];
extern u8 MFP_TimerBReadCount;
extern i32 MFP_InServiceChannel;
extern u32 MFP_SoftEOI;
extern u32 MFP_ClockWord;
extern u32 MFP_SpareWord;

i32 MFP_Init();
void MFP_Reset();
u32 MFP_GetB(u32 addr);
u32 MFP_GetW(u32 addr);
u32 MFP_GetL(u32 addr);
void MFP_PutB(u32 addr, u32 value);
void MFP_PutW(u32 addr, u32 value);
void MFP_PutL(u32 addr, u32 value);

// Cycles of one period of a timer with control value `control` (low four bits
// used) and data value `data` (0 counts 256).
u32 MFP_TimerPeriod(u32 control, u32 data);

// ---- Interrupt raising and arbitration ----

// Bits of MFP_VideoIntPending.
constexpr u32 MFP_VideoVBL = 2;
constexpr u32 MFP_VideoHBL = 4;

extern u32 MFP_VideoIntPending;
extern u32 MFP_IntTaken;

void MFP_RaiseTimerA();
void MFP_RaiseTimerB();
void MFP_RaiseTimerC();
void MFP_RaiseTimerD();
void MFP_RaiseDisk();
void MFP_RaiseACIA();
void MFP_RaiseVBL();
void MFP_RaiseHBL();

u32 MFP_TakeTimerA();
u32 MFP_TakeTimerB();
u32 MFP_TakeDisk();
u32 MFP_TakeACIA();
u32 MFP_TakeTimerC();
u32 MFP_TakeTimerD();
u32 MFP_TakeVBL();
u32 MFP_TakeHBL();

u32 MFP_AnyPending();
