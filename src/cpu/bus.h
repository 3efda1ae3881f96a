// The board as the processor sees it: the few services of the machine that
// the CPU calls, declared here so that the CPU needs no header of the
// machine. The memory map, the scheduler, the MFP's arbitration and the
// start-up code define them, and their headers include this one.
//
// Memory is reached through the bank table with inline accessors, and the
// scheduler's words are plain globals: nothing here adds an indirect call to
// the per-instruction or per-access paths.
#pragma once

#include "common/types.h"

// ---- Memory: the bank table -------------------------------------------------

// Operations of one kind of memory. Addresses are already cut to 24 bits.
struct MMU_Bank {
  u32 (*getL)(u32 addr);
  u32 (*getW)(u32 addr);
  u32 (*getB)(u32 addr);
  void (*putL)(u32 addr, u32 value);
  void (*putW)(u32 addr, u32 value);
  void (*putB)(u32 addr, u32 value);
  u8* (*hostPtr)(u32 addr);  // host address of addr, or null
  u32 (*check)(u32 addr, u32 size);
};

constexpr u32 MMU_AddressMask = 0xffffff;

// One entry per 64 KB bank of the 16 MB space. Every caller masks the address
// to 24 bits first, so an unmasked 32-bit address reaches the same record as
// its 24-bit image: the space mirrors every 16 MB.
extern const MMU_Bank* MMU_bankTable[256];

inline const MMU_Bank* MMU_BankOf(u32 addr) {
  return MMU_bankTable[(addr & MMU_AddressMask) >> 16];
}

// Whether a word or long access at addr runs past the end of its 64 KB bank
// (a word at the last byte, a long at one of the last three).
inline bool MMU_CrossesBank(u32 addr, u32 size) { return (addr & 0xffff) > 0x10000 - size; }

// A word or long access that runs into the next bank: each bank serves its
// own bytes (an even long as two words, anything else byte by byte).
u32 MMU_ReadAcross(u32 addr, u32 size);
void MMU_WriteAcross(u32 addr, u32 size, u32 v);

// Data accesses of the CPU and the other bus masters, at any address: the
// bank operations take odd addresses, and an access that runs past the end
// of a bank is composed from the banks it touches.
inline u32 MMU_ReadB(u32 addr) { return MMU_BankOf(addr)->getB(addr & MMU_AddressMask) & 0xff; }
inline u32 MMU_ReadW(u32 addr) {
  if (MMU_CrossesBank(addr, 2)) [[unlikely]] return MMU_ReadAcross(addr, 2);
  return MMU_BankOf(addr)->getW(addr & MMU_AddressMask) & 0xffff;
}
inline u32 MMU_ReadL(u32 addr) {
  if (MMU_CrossesBank(addr, 4)) [[unlikely]] return MMU_ReadAcross(addr, 4);
  return MMU_BankOf(addr)->getL(addr & MMU_AddressMask);
}
inline void MMU_WriteB(u32 addr, u32 v) { MMU_BankOf(addr)->putB(addr & MMU_AddressMask, v); }
inline void MMU_WriteW(u32 addr, u32 v) {
  if (MMU_CrossesBank(addr, 2)) [[unlikely]] return MMU_WriteAcross(addr, 2, v);
  MMU_BankOf(addr)->putW(addr & MMU_AddressMask, v);
}
inline void MMU_WriteL(u32 addr, u32 v) {
  if (MMU_CrossesBank(addr, 4)) [[unlikely]] return MMU_WriteAcross(addr, 4, v);
  MMU_BankOf(addr)->putL(addr & MMU_AddressMask, v);
}

// ---- Memory: what the jump guard and the restart ask ---------------------------

// RAM size in bytes and TOS version code (above 14 the ROM lies at
// 0xE00000): they set the ranges the jump guard forbids and the restart's
// entry point.
extern u32 MMU_RamSize;
extern u32 MMU_TosVersion;
// Zeroes RAM from byte 9 to its end (before the guard's restart).
void MMU_ClearRAM();

// 1 while the installed memory map has no forbidden ranges: the jump guard
// then lets the PC go wherever there is memory. A map without devices (the
// test map) sets it; the machine's memory map clears it.
extern u32 m68k_jump_guard_off;

// ---- Scheduler ------------------------------------------------------------------

extern i32 SCHED_FrameCycle;   // CPU cycles since the start of the frame
extern i32 SCHED_CycleBefore;  // frame position before the current instruction

// Event times in frame cycles, in this order (slot 6 is SCHED_NextEvent, the
// earliest of them); SCHED_Never when not armed.
enum : u32 {
  SCHED_TimerC,
  SCHED_TimerA,
  SCHED_TimerB,
  SCHED_TimerD,
  SCHED_LineEnd,
  SCHED_Hbl,
  SCHED_Next,
  SCHED_Keyboard,
};
extern i32 SCHED_EventTimes[8];
inline i32& SCHED_NextEvent = SCHED_EventTimes[SCHED_Next];

extern u32 SCHED_InBorder;  // 1 while the line ends outside the display lines
extern u32 SCHED_SpareWord;
// Host microseconds at the last pacing mark; the run loop sets it at entry.
extern u64 SCHED_PaceMark;
// Interrupt mask at the previous status-register check.
extern u32 m68k_last_mask;

// Recomputes SCHED_NextEvent from the armed events (after an SR write).
void SCHED_ComputeNextEvent();
// Fires every event the last instruction crossed; runs the frame end.
void SCHED_RunEvents();
// One 16-cycle step of time while the CPU is stopped, with the due events.
// Ends with SCHED_CycleBefore at the new position: the step's events are done.
void SCHED_StopStep();

// ---- Interrupts --------------------------------------------------------------------

// Vector number of the MFP interrupt being acknowledged (level 6).
extern u32 MFP_VectorLatch;
// Interrupt arbitration: offers the highest pending interrupt to the CPU.
void MFP_CheckInterrupts();

// ---- Start-up, reset and stop ----------------------------------------------------------

extern i32 APP_StopFlag;  // 0 run, 1 quit, -1 stop requested
// 1 once the run loop's first entry of this start has dealt with "Auto Saved
// State" (restored it when the option is on and the file is there).
extern u32 APP_AutoStateLoaded;
// Resets the emulated devices (the restart and the RESET instruction).
void APP_HardwareReset();
// Restores the machine from the state file at path; false, with the machine
// unchanged and an alert saying why, when the file is no regular file, can't
// be read or is refused.
bool STATE_Read(const char* path);
