// The DMA chip and the floppy controller behind it, as far as the machine
// core needs them: register words, status and the delayed completion.
#pragma once

#include "common/types.h"

// Command, track, sector, data, force-interrupt flag, status.
enum : u32 { FDC_Command, FDC_Track, FDC_Sector, FDC_Data, FDC_ForceInt, FDC_Status };
extern u32 FDC_Regs[6];
// Mode, sector count, HDC register, DMA status.
extern u32 DMA_Regs[4];
extern i32 FDC_IrqTime;  // scheduler time of the delayed completion

void FDC_Reset();
u32 DMA_GetB(u32 addr);
u32 DMA_GetW(u32 addr);
u32 DMA_GetL(u32 addr);
void DMA_PutB(u32 addr, u32 value);
void DMA_PutW(u32 addr, u32 value);
void DMA_PutL(u32 addr, u32 value);

// Floppy images in drives A and B (the file is only checked and remembered).
u32 DISKIMG_Insert(const char* path, char drive);
// Bit 0: drive A holds an image, bit 1: drive B.
extern u32 DISKIMG_InsertedMask;
// Full paths of the images in A and B: a length byte, then the characters.
extern u8 DISKIMG_NameA[256], DISKIMG_NameB[256];
