// MIDI output as the machine sees it: the driver record whose slots receive
// every byte the ST sends on its MIDI port, and its start and shut-down.
#pragma once

#include "common/types.h"

struct QTMIDI_DriverRecord {
  u32 open;
  void (*close)();
  void (*writeByte)(u8 byte);
  void (*allNotesOff)();
  void (*reset)();
  void (*spare1)();
  void (*spare2)();
};
extern QTMIDI_DriverRecord QTMIDI_Driver;
void QTMIDI_CheckQuickTime();
void QTMIDI_OpenIfEnabled();
void QTMIDI_Shutdown();
