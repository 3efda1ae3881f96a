// The board as the processor sees it: the few services of the machine that
// the CPU calls, declared here so that the CPU needs no header of the
// machine. The memory map, the scheduler, the MFP's arbitration and the
// start-up code define them, and their headers include this one.
//
// Memory is reached through the bank table with inline accessors, and the
// scheduler's words are plain globals: nothing here adds an indirect call to
// the per-instruction or per-access paths.
#pragma once

#include "common/endian.h"
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

// Plain RAM: its bank record and its buffer (ST address 0 is the buffer's
// first byte). An access whose bank entry is this record is served inline,
// without a call: the record's own operations do the same (machine/memory.cpp).
extern const MMU_Bank MMU_RamBank;
extern u8* MMU_RamBase;
// A RAM write from the first byte of the displayed frame to the byte just
// past it marks the frame as changed (host/screen.h).
extern u32 SCREEN_FrameBase;
extern u32 SCREEN_FrameBytes;
extern u32 SCREEN_VideoWritten;
inline void MMU_RamMarkScreen(u32 addr) {
  // Both ends included; an address below the base wraps far above the size.
  if (addr - SCREEN_FrameBase <= SCREEN_FrameBytes) SCREEN_VideoWritten = 1;
}

// Accesses through the bank records, at any address: the bank operations
// take odd addresses, and an access that runs past the end of a bank is
// composed from the banks it touches (machine/memory.cpp). The accessors
// below call them for everything that isn't plain RAM inside one bank.
u32 MMU_ReadBankB(u32 addr);
u32 MMU_ReadBankW(u32 addr);
u32 MMU_ReadBankL(u32 addr);
void MMU_WriteBankB(u32 addr, u32 v);
void MMU_WriteBankW(u32 addr, u32 v);
void MMU_WriteBankL(u32 addr, u32 v);

// Whether the bank of the 24-bit address a is plain RAM.
inline bool MMU_IsRam(u32 a) { return MMU_bankTable[a >> 16] == &MMU_RamBank; }

// Data accesses of the CPU and the other bus masters, at any address.
inline u32 MMU_ReadB(u32 addr) {
  const u32 a = addr & MMU_AddressMask;
  if (!MMU_IsRam(a)) [[unlikely]] return MMU_ReadBankB(addr);
  return MMU_RamBase[a];
}
inline u32 MMU_ReadW(u32 addr) {
  const u32 a = addr & MMU_AddressMask;
  if (MMU_CrossesBank(addr, 2) || !MMU_IsRam(a)) [[unlikely]] return MMU_ReadBankW(addr);
  return be_read16(MMU_RamBase + a);
}
inline u32 MMU_ReadL(u32 addr) {
  const u32 a = addr & MMU_AddressMask;
  if (MMU_CrossesBank(addr, 4) || !MMU_IsRam(a)) [[unlikely]] return MMU_ReadBankL(addr);
  return be_read32(MMU_RamBase + a);
}
inline void MMU_WriteB(u32 addr, u32 v) {
  const u32 a = addr & MMU_AddressMask;
  if (!MMU_IsRam(a)) [[unlikely]] return MMU_WriteBankB(addr, v);
  MMU_RamMarkScreen(a);
  MMU_RamBase[a] = u8(v);
}
inline void MMU_WriteW(u32 addr, u32 v) {
  const u32 a = addr & MMU_AddressMask;
  if (MMU_CrossesBank(addr, 2) || !MMU_IsRam(a)) [[unlikely]] return MMU_WriteBankW(addr, v);
  MMU_RamMarkScreen(a);
  be_write16(MMU_RamBase + a, v);
}
inline void MMU_WriteL(u32 addr, u32 v) {
  const u32 a = addr & MMU_AddressMask;
  // One test for two rare cases: a long that runs into the next bank, and
  // one at the first five bytes of a bank (for bank 0 the RAM record's bus
  // error at addresses 0-4), which the record then serves.
  if (u16(addr - 5) > 0xfffc - 5 || !MMU_IsRam(a)) [[unlikely]] return MMU_WriteBankL(addr, v);
  MMU_RamMarkScreen(a);
  be_write32(MMU_RamBase + a, v);
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
// Set by a restore: a state the host loaded replaced the machine (a menu
// command at the frame's poll, in the pause, inside a Blitter operation).
// What is left of the old machine's pass is dropped; the restored machine
// goes on with the rest of its own pass when it was saved inside one (a
// Blitter operation) or stopped, else with its next instruction. The run
// loop clears it.
extern u32 SCHED_PassReplaced;
// The host's work that the events of a pass made due: its events and
// pointer at the frame's poll, the pause at a frame end. The run loop has
// SCHED_HostWork do it between two passes (or two steps of a stopped CPU),
// where the machine is whole: a state saved or loaded there is one between
// two instructions.
enum : u32 { SCHED_HostEvents = 1, SCHED_HostPointer = 2, SCHED_HostPause = 4 };
extern u32 SCHED_HostDue;
void SCHED_HostWork();
// Lets the host act when a Blitter operation asked for it, and goes on with
// an operation stopped for it, until it ends or the machine stops (a quit,
// whose saved state holds the operation still to finish). The run loop
// calls it first after the instruction that started the operation. Returns
// whether no operation is left stopped.
bool SCHED_FinishBlitter();
// One 16-cycle step of time while the CPU is stopped, with the due events.
// Ends with SCHED_CycleBefore at the new position: the step's events are done.
void SCHED_StopStep();
// While the CPU is stopped: the 16-cycle steps up to and including the next
// one in which an event falls due, with the state those SCHED_StopStep calls
// would leave; the steps before it only move the frame position.
void SCHED_StopIdle();

// ---- Interrupts --------------------------------------------------------------------

// Vector number of the MFP interrupt being acknowledged (level 6).
extern u32 MFP_VectorLatch;
// Interrupt arbitration: offers the highest pending interrupt to the CPU.
void MFP_CheckInterrupts();

// ---- Start-up, reset and stop ----------------------------------------------------------

extern i32 APP_StopFlag;  // 0 run, 1 quit, -1 stop requested
// 1 once the run loop's first entry of this start has dealt with "Auto Saved
// State" (restored it when the option is on and the file is there, looked
// at it when the option is off).
extern u32 APP_AutoStateLoaded;
// 1 when that entry restored the machine from it.
extern u32 APP_AutoStateTakenUp;
// The automatic state's file in the application's folder.
constexpr const char* APP_AutoStateName = "Auto Saved State";
// Why a restore refused its file: it needs another TOS, another RAM size,
// the hard-disk driver in the cartridge port or another cartridge, it is no
// state this machine can read (or nothing is of that name), it is a file
// that could not be opened or read (its permissions, the disk): that one may
// well be whole, its hard disk changed since it was saved, or what has the
// name is no file at all (a folder, a FIFO, a device, a link to nothing),
// or it is an earlier version's, which can't show its hard disk unchanged.
enum : u32 {
  STATE_RefusedFile = 1,
  STATE_RefusedTos,
  STATE_RefusedRam,
  STATE_RefusedHddDriver,
  STATE_RefusedCartridge,
  STATE_RefusedUnreadable,
  STATE_RefusedHardDisk,
  STATE_RefusedNotAFile,
  STATE_RefusedEarlierHardDisk,
  // No refusal: what was refused is, written over since, a state this
  // machine restores now.
  STATE_RestoresNow,
};
// Why STATE_Read (or STATE_Check) last refused a file (one of the above).
extern u32 STATE_Refusal;
// Non-zero when that entry found "Auto Saved State" and the restore refused
// it (or, with the option off, would have), the reason why
// (STATE_Refused...): the quit sets whatever has that name aside before it
// writes a new one, and says why.
extern u32 APP_AutoStateRefused;
// Resets the emulated devices (the restart and the RESET instruction).
void APP_HardwareReset();
// Restores the machine from the state file at path; false, with the machine
// unchanged and an alert saying why, when the file is no regular file, can't
// be read or is refused.
bool STATE_Read(const char* path);
// Whether STATE_Read would restore the machine from path, which it only
// looks at: the machine stays as it is, nothing is shown, and a refusal's
// reason is in STATE_Refusal.
bool STATE_Check(const char* path);
