// The DMA chip at 0xff8604-0xff860d and the WD1772 floppy controller behind
// it: registers, head movement, sector transfers between the images in the
// drives and ST memory, and the completion interrupt on MFP input 5.
#pragma once

#include "common/types.h"

// Command, track, sector, data, force-interrupt flag, status.
enum : u32 { FDC_Command, FDC_Track, FDC_Sector, FDC_Data, FDC_ForceInt, FDC_Status };
extern u32 FDC_Regs[6];
// Mode, sector count, HDC register, DMA status.
enum : u32 { DMA_Mode, DMA_Count, DMA_Hdc, DMA_Status };
extern u32 DMA_Regs[4];
extern u8 DMA_Address[3];  // high, mid, low
extern i32 FDC_StepDir;     // +1 or -1, the direction of the last step in or out
extern i32 FDC_IrqTime;     // frame cycle of the delayed completion

// The transfer buffer between image files and ST memory (the hard-disk port
// uses it too). A transfer is refused unless 1 <= length <= FDC_MaxTransfer.
constexpr u32 FDC_SectorBufferSize = 100000;
constexpr u32 FDC_MaxTransfer = 99999;
extern u8 FDC_SectorBuffer[FDC_SectorBufferSize];

// Status bits.
constexpr u32 FDC_Busy = 0x01, FDC_Track0 = 0x04, FDC_RecordNotFound = 0x10,
              FDC_SpinUp = 0x20, FDC_WriteProtect = 0x40, FDC_MotorOn = 0x80;

void FDC_Reset();
u32 FDC_ReadReg();
void FDC_WriteReg(u32 byte);
void FDC_Execute();
u32 DMA_GetAddress();
void DMA_SetAddress(u32 address);

u32 DMA_GetB(u32 addr);
u32 DMA_GetW(u32 addr);
u32 DMA_GetL(u32 addr);
void DMA_PutB(u32 addr, u32 value);
void DMA_PutW(u32 addr, u32 value);
void DMA_PutL(u32 addr, u32 value);
