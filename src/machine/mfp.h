// The MFP 68901's interrupt registers and the arbitration of the eight
// interrupt sources of the ST (six MFP channels on level 6, VBL on level 4,
// HBL on level 2).
#pragma once

#include "common/types.h"

extern u32 MFP_IERA, MFP_IERB;  // interrupt enable A and B
extern u32 MFP_IPRA, MFP_IPRB;  // interrupt pending A and B
extern u32 MFP_IMRA, MFP_IMRB;  // interrupt mask A and B
extern u32 MFP_ISRA, MFP_ISRB;  // interrupt in service A and B
extern u32 MFP_VR;              // vector register
extern u32 MFP_InServiceChannel;

// Pending video interrupts: value 2 VBL, value 4 HBL.
extern u32 MFP_VideoIntPending;
// Vector number of the interrupt being accepted (0 for the autovectored ones).
extern u32 MFP_VectorLatch;
// 1 when the last take function delivered its interrupt.
extern u32 MFP_IntTaken;

// Offers the pending sources to the CPU in fixed priority order; delivers at
// most one. The run loop calls it after clearing the CPU's interrupt bit.
void MFP_CheckInterrupts();
// 1 when any source is pending, whatever its enable and mask bits.
u32 MFP_AnyPending();
// Puts the interrupt registers back to their power-on values.
void MFP_Reset();
