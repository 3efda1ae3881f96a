// The ST's memory map: one bank record per 64 KB of the 24-bit address space.
#pragma once

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

extern const MMU_Bank* MMU_bankTable[256];

// Points every bank at open bus.
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

// RAM size in bytes and the TOS version code (10, 12, 14, 16, 25, 26; 0 when
// not recognised).
extern u32 MMU_RamSize;
extern u32 MMU_TosVersion;

// Clears RAM from address 9 up to MMU_RamSize - 1.
void MMU_ClearRAM();
