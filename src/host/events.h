// Host events and input as the machine sees them: the event poll, the pause
// loop, the host states the frame end reads, and the pointer and key map the
// keyboard processor reads.
#pragma once

#include "common/types.h"

extern u32 EVENTS_Paused, EVENTS_Suspended, EVENTS_WindowObscured, EVENTS_InBackground;
extern i32 EVENTS_LastMouseH, EVENTS_LastMouseV;
extern u32 EVENTS_CapsLock;
extern u32 EVENTS_VdiTracking;
extern u32 EVENTS_PollCount;  // host polls since start-up

// The host pointer in window coordinates and the host key map (bit k & 7 of
// byte k >> 3 set while virtual key k is down), as the keyboard processor
// reads them. The windowless build reports these words, which tests set.
extern i32 EVENTS_MouseH, EVENTS_MouseV;
extern u8 EVENTS_KeyMap[16];
void EVENTS_GetMouse(i32& h, i32& v);
void EVENTS_GetKeys(u8 map[16]);

// Scripted input of the windowless build: when set, called at every host
// poll of the pointer (once a frame) with the number of polls before it.
extern void (*EVENTS_ScriptHook)(u32 poll);

// Long work inside one instruction (a Blitter operation) asks this every few
// milliseconds: the host keeps its window alive and answers whether it has
// something to act on (a quit, an event for the ST, a drop), for which the
// machine breaks off before the next instruction and calls EVENTS_DoEvent.
// The windowless build answers through EVENTS_BusyHook when a test sets it.
bool EVENTS_BusyPoll();
extern bool (*EVENTS_BusyHook)();
// What the windowless build's host does when the machine lets it act
// (EVENTS_DoEvent, the pause), when a test sets it.
extern void (*EVENTS_DoEventHook)();

void EVENTS_DoEvent(i32 wait);
void EVENTS_PollMouse();
// A state was restored: the host lets go of a held pointer, drops the
// motion it has not polled yet and takes where the pointer is only from
// its next event (where it last saw it may be from before a dialog), so
// that the restored machine gets only motion made after the load.
void EVENTS_ForgetPointerMotion();
void EVENTS_PauseLoop();
