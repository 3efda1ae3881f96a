// The CPU's section of the saved-state file: 480 bytes, big-endian, holding
// the frame-timing words, the register record, its copy at the last
// interrupt and the current PC.
#pragma once

#include <cstdio>

#include "common/types.h"

constexpr u32 m68k_state_section_size = 480;
constexpr u32 m68k_state_regfile_size = 196;

// Writes the section into out (480 bytes). The SR image is composed first, so
// the condition flags travel in it.
void m68k_state_encode(u8* out);
// Whether the section at in (480 bytes) holds only what the processor can:
// mode bits and the stop flag 0 or 1, an interrupt mask of 0-7, the
// SR-changed and big-screen words 0 or 1.
bool m68k_state_acceptable(const u8* in);
// The pending word and the frame position before the last instruction that
// the section at in holds.
u32 m68k_state_pending(const u8* in);
i32 m68k_state_cycle_before(const u8* in);
// Reads the section from in (480 bytes): the flags are split back out of the
// SR image and the PC is set through the jump guard.
void m68k_state_decode(const u8* in);

// The processor's part of the file's extension (36 bytes): the PC a trace
// armed for the next instruction reports, and the 68020/68040 control
// registers.
constexpr u32 m68k_state_extension_size = 36;
void m68k_state_extension_encode(u8* out);
// Whether the control registers hold only bits MOVEC keeps.
bool m68k_state_extension_acceptable(const u8* in);
void m68k_state_extension_decode(const u8* in);

// The section at the file's current position. Return 0 on success.
i32 m68k_save_state(std::FILE* file);
i32 m68k_restore_state(std::FILE* file);
