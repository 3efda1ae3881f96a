// The ST's memory map: one bank record per 64 KB of the 24-bit address space.
#pragma once

#include <string>

#include "common/types.h"

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

extern const MMU_Bank MMU_RamBank;
extern const MMU_Bank MMU_RomBank;
extern const MMU_Bank MMU_IoBank;
extern const MMU_Bank CART_Bank;

// Every host buffer of emulated memory ends in this many bytes of ILLEGAL
// words, so word and long accesses and instruction fetches at the last bytes
// stay inside the buffer.
constexpr u32 MMU_GuardBytes = 16;

extern u8* MMU_RamBase;
extern u32 MMU_RamSize;
extern u8* MMU_RomBuffer;
extern u32 MMU_RomSize;
extern u32 MMU_RomBase;
extern u32 MMU_TosVersion;
extern u32 MMU_IsEmuTOS;
// A later TOS: EmuTOS, or TOS 1.62 and up (the versions of the STE and later
// models). Only these get the registers of the later models and the hard
// disk; TOS 1.04 and older have neither.
inline bool MMU_IsLaterTos() { return MMU_TosVersion > 14 || MMU_IsEmuTOS; }
extern u8* CART_Buffer;
extern u32 CART_PortConfig;
extern u32 MMU_SpareWord;
extern u32 MMU_Mirror24;

constexpr u32 CART_Size = 0x20000;
constexpr u32 MMU_TosHeaderSize = 48;

// Largest RAM the host will give (tests lower it to see the fallback sizes).
extern u32 MMU_HostRamLimit;

// Screen-write mark of RAM writes.
extern u32 SCREEN_FrameBase;
extern u32 SCREEN_VideoWritten;

void MMU_Init();
void MMU_MapBanks(const MMU_Bank* rec, u32 first, u32 count);
// Loads the TOS image at `path`; 1 on success, 0 when refused.
u32 MMU_LoadTOS(const std::string& path);
void MMU_DetectTOSVersion();
u32 CART_Load(const char* name);
void MMU_ClearRAM();

// Raises a bus error for a device or bank access (vector 2, access address 0)
// through the processor's fault latch: the frame is built when the
// instruction ends, and until then every bank access does nothing.
void MMU_BusError();
extern u32 MMU_BusErrorCount;  // bus errors raised through MMU_BusError

// Points every bank at the I/O record.
void MMU_ResetBanks();

inline const MMU_Bank* MMU_BankOf(u32 addr) {
  return MMU_bankTable[(addr & MMU_AddressMask) >> 16];
}

// Data accesses of the CPU and the other bus masters.
inline u32 MMU_ReadB(u32 addr) { return MMU_BankOf(addr)->getB(addr & MMU_AddressMask) & 0xff; }
inline u32 MMU_ReadW(u32 addr) { return MMU_BankOf(addr)->getW(addr & MMU_AddressMask) & 0xffff; }
inline u32 MMU_ReadL(u32 addr) { return MMU_BankOf(addr)->getL(addr & MMU_AddressMask); }
inline void MMU_WriteB(u32 addr, u32 v) { MMU_BankOf(addr)->putB(addr & MMU_AddressMask, v); }
inline void MMU_WriteW(u32 addr, u32 v) { MMU_BankOf(addr)->putW(addr & MMU_AddressMask, v); }
inline void MMU_WriteL(u32 addr, u32 v) { MMU_BankOf(addr)->putL(addr & MMU_AddressMask, v); }

// The I/O page (io.cpp). Size codes: 0 long, 1 word, 2 byte.
u32 MMU_IOGet(u32 addr, u32 size);
void MMU_IOPut(u32 addr, u32 size, u32 value);
extern u8 MMU_MemConfig;
extern u16 MMU_MicrowireMask;
extern u16 MMU_MicrowireData;
extern u16 MMU_IOSpare;
