// The built-in debugger on a console: the host's side of it. It opens between
// two instructions (the menu asks with DEBUG_RequestEntry), prints the CPU
// state and reads one-letter commands until one lets the CPU run again: one
// instruction, up to an address, or freely. Every host links it; the run
// loop reaches it through host/debugger.h.
//
// The console is any pair of line-oriented streams (standard input and output
// unless DEBUG_In and DEBUG_Out say otherwise), so tests feed commands and
// read transcripts. While it waits for a line nothing else runs: the window is
// not repainted and host events wait.
//
// Whatever the debugger shows of memory it reads without touching the
// machine (DEBUG_Peek*): RAM, ROM and the cartridge straight from their host
// memory, and of the I/O page the registers whose reads leave the machine as
// it was: the Shifter's palette, screen base, sync mode and resolution, the
// sound chip, and the MFP's registers but its input port and timer data.
// The other bytes of the I/O page (the video counter and the MFP's input
// port and timer data, which a read changes; bytes whose read is a bus
// error; the ACIAs, the disk controller, the Blitter, the clock and the
// hard-disk port, which it does not look at) and unmapped space show as
// "??" in a dump ("????" for a whole word).
#pragma once

#include <cstdio>

#include "common/types.h"
#include "host/debugger.h"

extern u32 DEBUG_Active;        // 1 while the debugger is open
extern u32 DEBUG_StepToActive;  // running until the PC is DEBUG_StepToAddr
extern u32 DEBUG_StepToAddr;

// PCs of the last stops, a ring; it shows at most DEBUG_HistorySize - 1.
constexpr u32 DEBUG_HistorySize = 10000;
extern u32 DEBUG_PcHistory[DEBUG_HistorySize];
extern u32 DEBUG_PcHistoryHead;  // next write index
extern u32 DEBUG_PcHistoryTail;  // oldest entry

// The console; null means standard input and output.
extern std::FILE* DEBUG_In;
extern std::FILE* DEBUG_Out;
std::FILE* DEBUG_Console();  // DEBUG_Out, or standard output

// Addresses that `o` lists, entries 0 to DEBUG_TraceCount (-1: none). The
// emulator records nothing into it: it lists what a tool or test put there.
constexpr u32 DEBUG_TraceSize = 256;
extern u32 DEBUG_TraceList[DEBUG_TraceSize];
extern i32 DEBUG_TraceCount;

// Name of the file, in the application's folder, that `F` writes and `U`
// reads the machine's state from.
constexpr const char* DEBUG_FrozenName = "frozen";

// The menu restored the machine from `path`: when that is the file `U` could
// not restore (its TOS back, made readable), still under "frozen", `F`
// writes over it as after a `U` that restored it, instead of setting it
// aside as refused.
void DEBUG_StateLoaded(const char* path);
// The machine saved a state at `path` (APP_StateSaved): where "frozen"
// leads there, what `U` could not restore is gone, and `F` writes over the
// state as usual; the refused link that led nowhere stays set aside from
// the state saved where it leads.
void DEBUG_StateSaved(const char* path);
// Lets go of the file `U` could not restore once it is removed
// (FILES_HeldEntry::LetGoOfGone).
void DEBUG_LetGoOfGone();

// Whether a save at `path` would replace the file `U` could not restore
// (which `F` would set aside first): `path` leads to it.
bool DEBUG_LeadsToRefusedFrozen(const char* path);
// Whether what "frozen" holds now is another program's file put in place of
// the one `U` could not restore (which `F` sets aside all the same).
bool DEBUG_RefusedFrozenReplaced();
// Whether what `U` refused under "frozen" is a link that leads nowhere, or
// to a state the user saved there since (INPUT_RefusedLinkOpen); a state
// saved at `path` meanwhile is given to DEBUG_RefusedLinkSaved, which keeps
// it from `F` when the link leads to it.
bool DEBUG_RefusedLinkOpen();
void DEBUG_RefusedLinkSaved(const char* path);

// The menu's command: opens the debugger after the current instruction (and
// cancels a step-to in progress). The menu is only reached while the CPU
// runs, so an open debugger stops again too: one that `j` or the end of its
// input let run on, or whose step a restart of the machine dropped.
void DEBUG_RequestEntry();

// A quit `q` asked for waited for a floppy to go in (the debugger closed
// meanwhile), and the user went back from what could not be saved: says so
// and opens the debugger again.
void DEBUG_QuitCancelled();

// Sets the PC for `g`. Refuses (false, nothing changed) an address the jump
// guard would answer with a restart: one without memory, or outside RAM and
// the ROM and cartridge windows.
bool DEBUG_SetPC(u32 address);

// Reads of emulated memory without side effects, each giving what a CPU
// read of its size gives: false where there is no host memory behind the
// address and no I/O register whose read of that size leaves the machine
// as it was.
bool DEBUG_PeekB(u32 address, u8& value);
bool DEBUG_PeekW(u32 address, u16& value);
bool DEBUG_PeekL(u32 address, u32& value);

// Prints the registers, the current instruction and the beam position; `next`
// (when given) receives the address of the instruction after the current one.
void DEBUG_DumpCpuState(u32* next);
