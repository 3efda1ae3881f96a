// Saved-state sections of the memory map's I/O registers (section 12), the
// frame position (section 5), the MFP (section 6) and the interrupt state
// (section 10). Each writes or reads its fields raw and big-endian on an open
// file and returns 1 when every byte was transferred (a failed restore changes
// nothing).
#pragma once

#include <cstdio>

#include "common/types.h"

u32 MMU_SaveIORegs(std::FILE* f);
u32 MMU_RestoreIORegs(std::FILE* f);
u32 SCHED_SaveCycle(std::FILE* f);
u32 SCHED_RestoreCycle(std::FILE* f);
u32 MFP_SaveState(std::FILE* f);
u32 MFP_RestoreState(std::FILE* f);
u32 MFP_SaveIntState(std::FILE* f);
u32 MFP_RestoreIntState(std::FILE* f);
