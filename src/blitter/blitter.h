// The Blitter: its register block at 0xff8a00-0xff8a3d as the I/O page
// reaches it, the start of an operation, and the 128 operation functions that
// copy and combine rectangles of words in the ST's memory.
//
// An operation runs at the end of the register write that starts it (once
// all of that write's bytes are in place): when the write returns every line
// is done, the busy bit reads 0 again and no emulated time has passed. Its memory accesses go through the bank table; while it
// runs the I/O page serves nothing (BLITTER_Running).
//
// Operations ask the host every few hundred thousand words (EVENTS_BusyPoll)
// whether it has something to act on, such as a quit; if so the operation
// stops between two lines with its registers as the chip leaves them
// mid-operation (lines still to do, the addresses of the next line, BUSY
// set). Once the instruction that started it ends, before anything else
// that follows it (a trace or interrupt frame, the events it crossed), the
// run loop lets the host act and goes on with it (BLITTER_Resume), so the
// ST sees nothing of the stop. A quit leaves it stopped with the rest of
// that instruction's pass still to come: a saved state holds both, and the
// restored machine takes them up before its first instruction.
//
// The instruction that started the operation may write more registers after
// it stopped (a long or MOVEM write across the control register): those
// writes wait, in order, and take effect when the operation has ended, as
// they would have after an operation that ran through. A start among them
// may stop again for the host with the rest still waiting.
#pragma once

#include <array>

#include "common/types.h"

// Register addresses.
enum : u32 {
  BLITTER_HALFTONE = 0xff8a00,  // 16 words, to 0xff8a1e
  BLITTER_SRC_XINC = 0xff8a20,
  BLITTER_SRC_YINC = 0xff8a22,
  BLITTER_SRC_ADDR = 0xff8a24,  // long
  BLITTER_ENDMASK1 = 0xff8a28,
  BLITTER_ENDMASK2 = 0xff8a2a,
  BLITTER_ENDMASK3 = 0xff8a2c,
  BLITTER_DST_XINC = 0xff8a2e,
  BLITTER_DST_YINC = 0xff8a30,
  BLITTER_DST_ADDR = 0xff8a32,  // long
  BLITTER_XCOUNT = 0xff8a36,
  BLITTER_YCOUNT = 0xff8a38,
  BLITTER_HOP = 0xff8a3a,
  BLITTER_OP = 0xff8a3b,
  BLITTER_LINE_CTL = 0xff8a3c,  // BUSY, HOG, SMUDGE, halftone line
  BLITTER_SKEW = 0xff8a3d,      // FXSR, NFSR, skew
};

// Bits of the control byte (BLITTER_LineCtl) and of the skew byte.
constexpr u32 BLITTER_Busy = 0x80, BLITTER_Hog = 0x40, BLITTER_Smudge = 0x20;
constexpr u32 BLITTER_FxsrBit = 0x80, BLITTER_NfsrBit = 0x40;

// The register fields. Zero at program start; an emulated reset leaves them.
extern u16 BLITTER_Halftone[16];
extern i32 BLITTER_SrcXInc, BLITTER_SrcYInc;  // sign-extended from the 16 bits written
extern i32 BLITTER_DstXInc, BLITTER_DstYInc;
extern u32 BLITTER_SrcAddr, BLITTER_DstAddr;  // after an operation, the full 32-bit sums
extern u16 BLITTER_EndMask1, BLITTER_EndMask2, BLITTER_EndMask3;
extern u16 BLITTER_XCount, BLITTER_YCount;
extern u8 BLITTER_Hop;      // halftone operation, 0-3
extern u8 BLITTER_Op;       // logic operation, 0-15
extern u8 BLITTER_LineCtl;  // stored only by a write that starts an operation
extern u8 BLITTER_Skew;     // the byte written & 0xcf
extern u8 BLITTER_Fxsr, BLITTER_Nfsr;

// Working values of the operations with a halftone (HOP 1 and 3): the copy of
// the halftone RAM they use, the current line and its step per line.
extern u16 BLITTER_HalftoneSnap[16];
extern u32 BLITTER_HalftoneLine;
extern i32 BLITTER_LineStep;

extern u32 BLITTER_Running;  // 1 while an operation runs
// 1 while an operation waits between two of its lines for the host; the
// source word it carries into its next line.
extern u32 BLITTER_Stopped;
extern u16 BLITTER_CarryWord;
// 1 once an operation (stopped or ended) has found the host with something
// to act on; the scheduler clears it when the host has acted.
extern u32 BLITTER_BreakAsked;

// Register writes waiting for the stopped operation to end: the offset from
// 0xff8a00, the access size as the I/O page gives it (0 long, 1 word, 2 byte)
// and the value. More than fit end the operation first, with no stop.
struct BLITTER_Write {
  u8 offset, size;
  u32 value;
};
constexpr u32 BLITTER_MaxWaiting = 16;
extern BLITTER_Write BLITTER_Waiting[BLITTER_MaxWaiting];
extern u32 BLITTER_WaitingCount;

// Words (of all operations together) between two questions to the host (a
// few milliseconds of work), and the words left until the next one.
extern i32 BLITTER_PollWords, BLITTER_WordsToPoll;

// Goes on with a stopped operation, which may stop again, then with the
// writes that waited for it.
void BLITTER_Resume();
// Runs a stopped operation and the writes waiting for it to their end, with
// no stop: for what must come after them within the same instruction (a
// bus error later in it pushes its frame after the operation, as the chip
// has ended it by then).
void BLITTER_Settle();
// Drops a stopped operation and the writes waiting for it (a reset); the
// registers stay as the operation left them.
void BLITTER_Abandon();

// The operation functions by HOP * 16 + OP: table 0 for a negative source X
// increment, table 1 for a zero or positive one.
using BLITTER_OpFn = void (*)();
extern const std::array<std::array<BLITTER_OpFn, 64>, 2> BLITTER_OpTables;

// The members of the tables: BLITTER_OpPos<h><x> for a zero or positive
// source X increment, BLITTER_OpNeg<h><x> for a negative one, h the HOP and
// x the OP as one upper-case hex digit. M(Dir, h, x, op) for each of a row.
#define BLITTER_FOR_OPS(M, Dir, h)                                                             \
  M(Dir, h, 0, 0) M(Dir, h, 1, 1) M(Dir, h, 2, 2) M(Dir, h, 3, 3) M(Dir, h, 4, 4)            \
  M(Dir, h, 5, 5) M(Dir, h, 6, 6) M(Dir, h, 7, 7) M(Dir, h, 8, 8) M(Dir, h, 9, 9)            \
  M(Dir, h, A, 10) M(Dir, h, B, 11) M(Dir, h, C, 12) M(Dir, h, D, 13) M(Dir, h, E, 14)       \
  M(Dir, h, F, 15)
#define BLITTER_FOR_MEMBERS(M, Dir) \
  BLITTER_FOR_OPS(M, Dir, 0) BLITTER_FOR_OPS(M, Dir, 1) BLITTER_FOR_OPS(M, Dir, 2) BLITTER_FOR_OPS(M, Dir, 3)
#define BLITTER_DECLARE_MEMBER(Dir, h, x, op) void BLITTER_Op##Dir##h##x();
BLITTER_FOR_MEMBERS(BLITTER_DECLARE_MEMBER, Pos)
BLITTER_FOR_MEMBERS(BLITTER_DECLARE_MEMBER, Neg)
#undef BLITTER_DECLARE_MEMBER

// Register reads and writes; the I/O page masks byte and word results.
u32 BLITTER_GetB(u32 addr);
u32 BLITTER_GetW(u32 addr);
u32 BLITTER_GetL(u32 addr);
void BLITTER_PutB(u32 addr, u32 value);
void BLITTER_PutW(u32 addr, u32 value);
void BLITTER_PutL(u32 addr, u32 value);
