// The hard-disk port at 0xfff700-0xfff7ff and its image files.
#pragma once

#include "common/types.h"

// Opens the hard-disk images; non-zero when the image of drive C is open.
u32 HDD_OpenImages();
u32 HDD_PortGet(u32 addr);
void HDD_PortPutB(u32 addr, u32 value);
void HDD_PortPutW(u32 addr, u32 value);
void HDD_PortPutL(u32 addr, u32 value);
