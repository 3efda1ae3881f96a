// Interrupt raise functions: each sets its source's pending state and the
// CPU's interrupt-pending bit.
#pragma once

void MFP_RaiseTimerA();
void MFP_RaiseTimerB();
void MFP_RaiseDisk();
void MFP_RaiseACIA();
void MFP_RaiseTimerC();
void MFP_RaiseTimerD();
void MFP_RaiseVBL();
void MFP_RaiseHBL();
