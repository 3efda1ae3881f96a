// The saved-state section pairs of the chips, each beside its chip's code
// (shifter_state.cpp, acia_state.cpp, fdc_state.cpp, psg_state.cpp,
// blitter/blitter_state.cpp, screen_state.cpp, machine_state.cpp). See state_io.h for the
// two-pass contract of the restore functions.
#pragma once

#include "machine/state_io.h"

void SHIFTER_SaveState(StateWriter& w);  // 108 bytes
bool SHIFTER_RestoreState(StateReader& r);
void IKBD_SaveState(StateWriter& w);  // 16561 bytes
bool IKBD_RestoreState(StateReader& r);
// 116 bytes; for an operation stopped with register writes waiting for it,
// 132 more hold the writes.
void BLITTER_Save(StateWriter& w);
constexpr u32 BLITTER_WaitingStateBytes = 132;
bool BLITTER_Restore(StateReader& r);
void DISKIMG_SaveState(StateWriter& w);  // 563 bytes
bool DISKIMG_RestoreState(StateReader& r);
void MIDI_SaveState(StateWriter& w);  // 16395 bytes
bool MIDI_RestoreState(StateReader& r);
void PSG_SaveState(StateWriter& w);  // 6 bytes
bool PSG_RestoreState(StateReader& r);
void SCREEN_SaveState(StateWriter& w);  // 84 bytes
bool SCREEN_RestoreState(StateReader& r);

// The extension at the file's end: what the chips keep besides their
// sections above (a file written before it had none: see state.cpp).
void SCHED_SaveExtension(StateWriter& w);  // 4 bytes
bool SCHED_RestoreExtension(StateReader& r);
// The floppies' parts store what the restore needs in their second pass;
// DISKIMG_FinishRestore then puts the drives back as a whole (a file
// without the extension's blocks tells less: where the heads are, the
// geometry, whether the ST could write each image).
void DISKIMG_SaveExtension(StateWriter& w);  // 28 bytes
bool DISKIMG_RestoreExtension(StateReader& r);
// Each drive's sides, tracks and sectors a track, as the image was read
// when it went in (the extension's second block).
void DISKIMG_SaveGeometry(StateWriter& w);  // 24 bytes
bool DISKIMG_RestoreGeometry(StateReader& r);
// Each drive's access: whether the ST could write its image, and whether
// it was one of the application folder's own disks (the third block).
void DISKIMG_SaveAccess(StateWriter& w);  // 8 bytes
bool DISKIMG_RestoreAccess(StateReader& r);
// Where each drive's write-protect sensor stands: its phase and the frames
// left in it (the fourth block).
void DISKIMG_SaveSensor(StateWriter& w);  // 16 bytes
bool DISKIMG_RestoreSensor(StateReader& r);
void DISKIMG_FinishRestore();
// What tells whether each hard-disk image changed since the save (the third
// block): a file whose image changed is refused. A file without it (an
// earlier build's) is refused while a hard-disk image is in use.
void HDD_SaveRecord(StateWriter& w);  // 40 bytes
bool HDD_RestoreRecord(StateReader& r);
bool HDD_RecordAbsent(StateReader& r);
void PSG_SaveExtension(StateWriter& w);  // 14 bytes
bool PSG_RestoreExtension(StateReader& r);
void SHIFTER_SaveExtension(StateWriter& w);  // 4 bytes
bool SHIFTER_RestoreExtension(StateReader& r);
void IKBD_SaveExtension(StateWriter& w);  // 1 byte
bool IKBD_RestoreExtension(StateReader& r);
void RTC_SaveExtension(StateWriter& w);  // 4 bytes
bool RTC_RestoreExtension(StateReader& r);
void SCREEN_SaveExtension(StateWriter& w);  // 12 bytes
bool SCREEN_RestoreExtension(StateReader& r);
