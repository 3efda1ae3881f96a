// Saved-state sections of the memory map's I/O registers, the frame
// position, the MFP and the interrupt state. A restore refuses (returns false
// and changes nothing) when the file is short or a field is out of range.
#pragma once

#include "common/types.h"
#include "machine/state_io.h"

void MMU_SaveIORegs(StateWriter& w);
bool MMU_RestoreIORegs(StateReader& r);
void SCHED_SaveCycle(StateWriter& w);
bool SCHED_RestoreCycle(StateReader& r);
void MFP_SaveState(StateWriter& w);
bool MFP_RestoreState(StateReader& r);
void MFP_SaveIntState(StateWriter& w);
bool MFP_RestoreIntState(StateReader& r);
