// The YM2149's register interface at 0xff8800/0xff8802: a copy of the
// registers for reads, writes passed on to the synthesis with their frame
// cycle, port A (drive and side select) and port B (the printer port, whose
// bytes go to the file "Printer Output").
#pragma once

#include "common/types.h"
#include "machine/ym2149.h"

struct PSG_RegisterCopy {
  u8 spare[2];  // only the saved state touches these
  u32 selected;
  // R0, R1, R8, R2, R3, R9, R4, R5, R10, R6, R7, R11, R12, R13.
  u32 r0, r1, r8, r2, r3, r9, r4, r5, r10, r6, r7, r11, r12, r13;
  u32 r15;           // port B
  u32 shapeWritten;  // set by every R13 write
};
extern PSG_RegisterCopy PSG_RegCopy;
extern u32 PSG_PortA;  // R14: bits 2:1 drive select (active low), bit 0 side (low = side 1)

// The open printer file's descriptor, or -1 before the first printed byte
// (and after a failure).
extern i32 PRINTER_Fd;
// Writes the printed bytes gathered so far to the file (at every frame end).
// A failed write is said once on standard error, with its reason; the file
// is then left as it is and printed bytes are dropped until PRINTER_Retry.
// The first write of a frame looks whether "Printer Output" still names the
// file: one removed or renamed is left, and the bytes go on into a new one.
// A file a drive (or a hard disk, or a floppy waiting for a drive) took as
// its disk since it was opened is left to it before the next write, and
// printed bytes are lost from then on (said once): a file found so is never
// printed into again in this run, also once the drive let it go, and
// PRINTER_Retry does not bring it back.
void PRINTER_Flush();
// Closes the printer file, its bytes written (a failure said as above); the
// next printed byte starts a new one. The end of a run: the files found held
// as disks may be printed into by the next.
void PRINTER_Close();
// A printer file that was refused or failed (but one found held as a disk)
// is tried again at the next printed byte, and goes on at its end when this
// run began it: at every reset of the machine and after every menu command
// (a change of the options). The next write looks at the file's name
// again, as at a frame's start; nothing else changes for a file that works.
void PRINTER_Retry();
// A restored machine prints on at the end of "Printer Output", also when
// this run has not opened it yet: what it printed before the state was
// saved is there (written by the run that saved it), and a job it is in the
// middle of goes on after it rather than emptying the file.
void PRINTER_KeepOutput();
// Whether the printer holds the file at path: the file it has open, the
// regular file "Printer Output" in the application's folder (by whatever
// name or link leads to either), or that name itself, whether or not
// anything is there yet (its next printed byte may create it).
bool PRINTER_Holds(const char* path);

u32 PSG_GetB(u32 addr);
u32 PSG_GetW(u32 addr);
u32 PSG_GetL(u32 addr);
void PSG_PutB(u32 addr, u32 value);
void PSG_PutW(u32 addr, u32 value);
void PSG_PutL(u32 addr, u32 value);

// The bits each of R0-R13 keeps.
constexpr u8 PSG_RegisterMask[14] = {0xff, 0x0f, 0xff, 0x0f, 0xff, 0x0f, 0x1f,
                                     0xff, 0x1f, 0x1f, 0x1f, 0xff, 0xff, 0x0f};
// The copy of register r as stored (R14 from port A, R15 reads 0).
u32 PSG_CopyOf(u32 r);
// Stores the copy of register r (0-13), as a write keeps it.
void PSG_SetCopy(u32 r, u32 v);
