// The ST's memory map: one bank record per 64 KB of the 24-bit address space.
#pragma once

#include <string>

#include "common/types.h"
#include "cpu/bus.h"  // the bank record, the bank table, the accessors and the RAM record

extern const MMU_Bank MMU_RomBank;
extern const MMU_Bank MMU_IoBank;
extern const MMU_Bank CART_Bank;

// Every host buffer of emulated memory ends in this many bytes of ILLEGAL
// words, so that instruction fetches at its last bytes stay inside it (data
// accesses never run past a bank). The longest instruction, 10 bytes, read
// from the buffer's last word takes 8 bytes of the pad for its extension
// words, and the prefetch reload behind it 4 more.
constexpr u32 MMU_GuardBytes = 16;
static_assert(MMU_GuardBytes >= 8 + 4, "the pad must hold an instruction's words and the reload behind it");

extern u8* MMU_RomBuffer;
extern u32 MMU_RomSize;
extern u32 MMU_RomBase;
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

void MMU_Init();
// The RAM size the next start takes (the 14 MB option as it is now), when
// the host has room for it.
u32 MMU_StartRamSize();
void MMU_MapBanks(const MMU_Bank* rec, u32 first, u32 count);
// Loads the TOS image at `path`; 1 on success, 0 when refused, with `why`
// (when given) saying why as words that follow the file's name. A refused
// file changes nothing: the TOS in place stays.
u32 MMU_LoadTOS(const std::string& path, std::string* why = nullptr);
// The path of the TOS image in place, as it was given to MMU_LoadTOS.
extern std::string MMU_TosPath;
void MMU_DetectTOSVersion();
u32 CART_Load(const char* name);
// Where every start loads the cartridge from.
std::string CART_ImagePath();

// Raises a bus error for a device or bank access (vector 2, access address 0)
// through the processor's fault latch: the frame is built when the
// instruction ends, and until then every bank access does nothing.
void MMU_BusError();
extern u32 MMU_BusErrorCount;  // bus errors raised through MMU_BusError
// Option word (1 by default): unknown I/O addresses above 0xfeffff and
// user-mode I/O writes raise bus errors.
extern u32 MMU_BusErrorsEnabled;

// Points every bank at the I/O record, with the jump guard on.
void MMU_ResetBanks();

// The I/O page (io.cpp). Size codes: 0 long, 1 word, 2 byte.
u32 MMU_IOGet(u32 addr, u32 size);
void MMU_IOPut(u32 addr, u32 size, u32 value);
extern u8 MMU_MemConfig;
extern u16 MMU_MicrowireMask;
extern u16 MMU_MicrowireData;
extern u16 MMU_IOSpare;
