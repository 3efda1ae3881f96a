// The hard-disk port at 0xfff700-0xfff7ff and the images of drives C and D.
//
// The driver in the cartridge (driver/hdd_driver.s) hooks the operating
// system's sector, BPB and media-change calls for C and D and forwards them
// here by writing a command byte to 0xfff700; the arguments stay on the ST's
// stack and the answer goes back in D0.
#pragma once

#include <string>

#include "common/files.h"
#include "common/types.h"

// The operating system's BPB words of one drive, in its order.
struct HDD_BpbRecord {
  u16 recsiz, clsiz, clsizb, rdlen, fsiz, fatrec, datrec, numcl, bflags;
};
extern HDD_BpbRecord HDD_Bpb[2];  // C, D
extern u32 HDD_Open[2];           // 1 while the image of C / D is open
// 1 while the image is only read: another program, or one of our floppy
// drives, writes it (it is locked, flock, exclusive, while we write it). The
// ST's writes get "write-protected".
extern u32 HDD_ReadOnly[2];

constexpr u32 HDD_BpbAddress = 0xfa0300;  // where Getbpb leaves the record
constexpr u32 HDD_EmptyImageBytes = 20971520;

// Opens "HDD-C.dmg" and "HDD-D.dmg" from the application's folder; non-zero
// when the image of drive C is open.
u32 HDD_OpenImages();
// Where every start opens the image of C (d 0) or D (d 1).
std::string HDD_ImagePath(u32 d);
void HDD_CloseImages();
// Whether the open image of drive C (d 0) or D (d 1) is the file at path
// (the same file, by whatever name), or the file `file`.
bool HDD_Holds(u32 d, const char* path);
bool HDD_Holds(u32 d, const FILES_Id& file);
// Builds the BPB of each open image; an image with an unusable boot sector is
// closed with a message.
void HDD_ReadBootInfo();
// The BPB of a boot sector for an image of imageBytes bytes; false with a
// reason when the sector describes no usable volume.
bool HDD_BpbFromBootSector(const u8* sector, u64 imageBytes, HDD_BpbRecord& bpb,
                           std::string& reason);

void HDD_PortCommandE();  // Rwabs
void HDD_PortCommandF();  // Getbpb
u32 HDD_PortGet(u32 addr);
void HDD_PortPutB(u32 addr, u32 value);
void HDD_PortPutW(u32 addr, u32 value);
void HDD_PortPutL(u32 addr, u32 value);
void HDD_NoDriverAlert();

// Fills `sector` (512 bytes) with the boot sector of the new empty image.
void HDD_BuildBootSector(u8* sector);
// Creates "HDD (Empty).dmg" in the application's folder (or at `path` when
// given): 1 done, 0 failed (a part-made new file is removed), HDD_Cancelled
// when the user kept an existing file, HDD_Held when the machine holds the
// name and HDD_NotAFile when something other than a plain file lies under it
// (a folder, a symbolic link: nothing is asked), both leaving it as it is.
// `why`, when given, then names the file and the reason ("PATH: drive A holds
// PATH as its disk", "PATH is a directory"); otherwise it is left empty.
constexpr u32 HDD_Cancelled = 2;
constexpr u32 HDD_Held = 3;
constexpr u32 HDD_NotAFile = 4;
u32 HDD_CreateEmptyImage(const char* path = nullptr, std::string* why = nullptr);
