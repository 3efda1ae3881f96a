#include "machine/fdc.h"

#include <unistd.h>

#include <cstdio>

#include "common/console.h"
#include "cpu/registers.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/diskimg.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"

u32 FDC_Regs[6];
u32 DMA_Regs[4];
u8 DMA_Address[3];
i32 FDC_StepDir = 1;
u8 FDC_SectorBuffer[FDC_SectorBufferSize];

namespace {

inline void store_low(u32& reg, u32 byte) { reg = (reg & 0xff00) | (byte & 0xff); }

// The drive that port A selects: 0 for A, 1 for B, -1 for both or neither.
int selected_drive() {
  switch (PSG_PortA & 6) {
    case 4: return 0;  // bit 1 low
    case 2: return 1;  // bit 2 low
    default: return -1;
  }
}

// Whether [address, address + length) is a transfer the buffer and RAM can take.
bool transfer_fits(u32 address, i64 length) {
  return length >= 1 && length <= FDC_MaxTransfer && i64(address) + length <= i64(MMU_RamSize);
}

// Whether [offset, offset + length) lies inside drive d's image.
bool inside_image(u32 d, i64 offset, i64 length) {
  return offset >= 0 && u64(offset + length) <= DISKIMG_ImageSize[d];
}

u32 read_sectors(u32 d, i64 offset, i64 length, u32 address, bool single) {
  const int fd = DISKIMG_Files[d];
  if (fd < 0 || !transfer_fits(address, length) || !inside_image(d, offset, length))
    return FDC_RecordNotFound;
  if (pread(fd, FDC_SectorBuffer, size_t(length), off_t(offset)) != ssize_t(length))
    return FDC_RecordNotFound;
  // A boot sector with no sectors per cluster would stop TOS: it sees one.
  if (single && offset == 0 && FDC_SectorBuffer[0x0d] == 0) FDC_SectorBuffer[0x0d] = 1;
  for (i64 i = 0; i < length; ++i) MMU_WriteB(address + u32(i), FDC_SectorBuffer[i]);
  DMA_SetAddress(address + u32(length));
  DMA_Regs[DMA_Count] = 0;
  return 0;
}

u32 write_sectors(u32 d, i64 offset, i64 length, u32 address) {
  const int fd = DISKIMG_Files[d];
  // The image never grows and never takes bytes that did not come from RAM.
  if (fd < 0 || !transfer_fits(address, length) || !inside_image(d, offset, length))
    return FDC_RecordNotFound;
  if (offset == 0 && DLG_ConfirmBootWrite() == 0) return FDC_RecordNotFound;
  for (i64 i = 0; i < length; ++i) FDC_SectorBuffer[i] = u8(MMU_ReadB(address + u32(i)));
  if (pwrite(fd, FDC_SectorBuffer, size_t(length), off_t(offset)) != ssize_t(length))
    return FDC_RecordNotFound;
  DMA_SetAddress(address + u32(length));
  DMA_Regs[DMA_Count] = 0;
  return 0;
}

// Whether the head stands on the track the track register names: the chip
// compares the track of the ID fields under the head with the register
// before it verifies a seek or moves a byte of a sector.
bool head_on_track(const DISKIMG_Drive& g) { return g.headTrack == i32(FDC_Regs[FDC_Track]); }

// A head moved by the seek or a step: below track 0 or not below the drive's
// track count it stands at track 0 (never past what an i32 holds, however
// many steps a program gives).
i32 head_at(i64 head, const DISKIMG_Drive& g) { return (head < 0 || head >= g.tracks) ? 0 : i32(head); }

void type_one(DISKIMG_Drive& g, u32 command, u32& status) {
  // The track register wraps like any stored word; the head arithmetic is
  // done wide, since a restored state may hold any register value.
  u32 track = FDC_Regs[FDC_Track];
  switch (command & 0xf0) {
    case 0x00:
      g.headTrack = 0;
      track = 0;
      break;
    case 0x10: {
      const u32 data = FDC_Regs[FDC_Data];
      const i64 head = i64(g.headTrack) + i64(i32(data)) - i64(i32(track));
      track = data;
      g.headTrack = head_at(head, g);
      break;
    }
    case 0x20: g.headTrack = head_at(i64(g.headTrack) + FDC_StepDir, g); break;
    case 0x30:
      track += u32(FDC_StepDir);
      g.headTrack = head_at(i64(g.headTrack) + FDC_StepDir, g);
      break;
    case 0x50: track += 1; [[fallthrough]];
    case 0x40:
      if (g.headTrack < g.tracks) g.headTrack += 1;
      FDC_StepDir = 1;
      break;
    case 0x70: track -= 1; [[fallthrough]];
    case 0x60:
      if (g.headTrack > 0) g.headTrack -= 1;
      FDC_StepDir = -1;
      break;
    default: break;
  }
  FDC_Regs[FDC_Track] = track;
  if (g.headTrack == 0) status |= FDC_Track0;
  if ((command & 0x04) && !head_on_track(g)) status |= FDC_RecordNotFound;
  status |= FDC_SpinUp;
}

void complete(u32 status) {
  status |= FDC_MotorOn;
  if (!PREFS_FdcDelay) {
    FDC_Regs[FDC_Status] = (status & 0x7f) | FDC_Busy;
    MFP_GPI &= u8(~0x20);
    if (MFP_IERB & 0x80) MFP_RaiseDisk();
    return;
  }
  FDC_Regs[FDC_Status] = status;
  MFP_GPI |= 0x20;
  FDC_IrqTime = (SCHED_FrameCycle + 2000) % SCHED_CyclesPerFrame;
  SCHED_ComputeNextEvent();
}

}  // namespace

void FDC_Reset() {
  for (u32& r : FDC_Regs) r = 0;
  for (u32& r : DMA_Regs) r = 0;
  for (u8& b : DMA_Address) b = 0;
  FDC_StepDir = 1;
}

u32 DMA_GetAddress() {
  return u32(DMA_Address[0]) << 16 | u32(DMA_Address[1]) << 8 | DMA_Address[2];
}

void DMA_SetAddress(u32 address) {
  DMA_Address[0] = u8(address >> 16);
  DMA_Address[1] = u8(address >> 8);
  DMA_Address[2] = u8(address);
}

void FDC_Execute() {
  const u32 command = FDC_Regs[FDC_Command] & 0xff;
  const int d = selected_drive();
  const u32 side = (PSG_PortA & 1) ? 0 : 1;
  u32 status = 0;

  if ((command & 0xf0) == 0xd0) {
    if (command == 0xd8) FDC_Regs[FDC_ForceInt] = 1;
    if (command == 0xd0) FDC_Regs[FDC_ForceInt] = 0;
    return complete(status);
  }
  if (d < 0) return complete(FDC_RecordNotFound);

  DISKIMG_Drive& g = DISKIMG_Drives[d];
  // A head whose track nothing told (a state of an earlier build) is taken
  // to stand where the ST holds it to be: on the track register's track.
  if (g.headTrack == DISKIMG_HeadUnknown) g.headTrack = head_at(i64(i32(FDC_Regs[FDC_Track])), g);
  if (command < 0x80) {
    type_one(g, command, status);
    return complete(status);
  }

  const i64 bps = g.bytesPerSector;
  const i64 offset =
      bps * ((i64(g.headTrack) * g.sides + side) * g.sectorsPerTrack + i64(FDC_Regs[FDC_Sector]) - 1);
  const i64 length = i64(DMA_Regs[DMA_Count]) * bps;
  const u32 address = DMA_GetAddress();
  const bool present = DISKIMG_InsertedMask & (1u << d);
  // Side 1 of a one-sided image has no sectors at all, and a track side only
  // sectors 1 to sectors-per-track: a block starting outside them would take
  // another track's sectors (and a write would overwrite them). A block that
  // starts on the track runs on through the image's following sectors.
  const i64 first = FDC_Regs[FDC_Sector];
  const bool noSide = i64(side) > i64(g.sides) - 1 || first < 1 || first > g.sectorsPerTrack;

  // The chip looks at the drive's write-protect line before a write of
  // sectors or of a track does anything else: on a protected disk the
  // command ends there with that bit alone, nothing written and the DMA
  // address and count as they were. Anything else would tell the operating
  // system the disk is damaged rather than locked. It goes by the disk's own
  // protection: one sliding in past the sensor is as protected as in place.
  const bool writes = (command & 0xe0) == 0xa0 || (command & 0xf0) == 0xf0;
  if (writes && present && DISKIMG_WriteProtect[d] == FDC_WriteProtect) {
    SCREEN_SetDriveLight(u32(d), 1);
    DMA_Regs[DMA_Status] = 1;
    return complete(FDC_WriteProtect);
  }
  // Under a head that is not on the register's track no ID field matches:
  // no sector is found, and nothing is read or written.
  const u32 type = command & 0xf0;
  if (type <= 0xb0 && !head_on_track(g)) {
    SCREEN_SetDriveLight(u32(d), type >= 0xa0 ? 1 : 0);
    DMA_Regs[DMA_Status] = 1;
    return complete(FDC_RecordNotFound);
  }

  switch (type) {
    case 0x80:
    case 0x90:
      SCREEN_SetDriveLight(u32(d), 0);
      if (!present || noSide) status |= FDC_RecordNotFound;
      else status |= read_sectors(u32(d), offset, length, address, (command & 0xf0) == 0x80);
      DMA_Regs[DMA_Status] = 1;
      break;
    case 0xa0:
    case 0xb0:
      SCREEN_SetDriveLight(u32(d), 1);
      DMA_Regs[DMA_Status] = 1;
      if (!present || noSide) status |= FDC_RecordNotFound;
      else status |= write_sectors(u32(d), offset, length, address);
      break;
    default:  // read address, read track, write track
      status = FDC_RecordNotFound;
      break;
  }
  complete(status);
}

u32 FDC_ReadReg() {
  const u32 mode = DMA_Regs[DMA_Mode];
  if (mode & 0x10) return DMA_Regs[DMA_Count] & 0xff;
  if (mode & 0x08) return DMA_Regs[DMA_Hdc] & 0xff;
  switch ((mode >> 1) & 3) {
    case 1: return FDC_Regs[FDC_Track] & 0xff;
    case 2: return FDC_Regs[FDC_Sector] & 0xff;
    case 3: return FDC_Regs[FDC_Data] & 0xff;
    default: break;
  }
  // A status read releases the interrupt line, unless a forced interrupt holds it.
  if (FDC_Regs[FDC_ForceInt] != 1) MFP_GPI |= 0x20;
  const int d = selected_drive();
  if (d < 0) return 0x4c;
  // Bit 6 is the drive's write-protect line, as its sensor sees it now.
  if (DISKIMG_InsertedMask & (1u << d)) return (DISKIMG_SensorLine(u32(d)) | FDC_Regs[FDC_Status]) & 0xff;
  return 0x0c | DISKIMG_SensorLine(u32(d));
}

void FDC_WriteReg(u32 byte) {
  const u32 mode = DMA_Regs[DMA_Mode];
  if (mode & 0x10) return store_low(DMA_Regs[DMA_Count], byte);
  if (mode & 0x08) return store_low(DMA_Regs[DMA_Hdc], byte);
  switch ((mode >> 1) & 3) {
    case 1: return store_low(FDC_Regs[FDC_Track], byte);
    case 2: return store_low(FDC_Regs[FDC_Sector], byte);
    case 3: return store_low(FDC_Regs[FDC_Data], byte);
    default: break;
  }
  store_low(FDC_Regs[FDC_Command], byte);
  FDC_Execute();
}

u32 DMA_GetB(u32 addr) {
  switch (addr) {
    case 0xff8605: return FDC_ReadReg();
    case 0xff8607: return DMA_Regs[DMA_Status] & 0xff;
    case 0xff8609: return DMA_Address[0];
    case 0xff860b: return DMA_Address[1];
    case 0xff860d: return DMA_Address[2];
    default: CONSOLE_Line("DMA_GetB %x", addr); return 0;
  }
}

void DMA_PutB(u32 addr, u32 value) {
  switch (addr) {
    case 0xff8605: FDC_WriteReg(value & 0xff); break;
    case 0xff8607: store_low(DMA_Regs[DMA_Mode], value); break;
    case 0xff8609: DMA_Address[0] = u8(value); break;
    case 0xff860b: DMA_Address[1] = u8(value); break;
    case 0xff860d: DMA_Address[2] = u8(value); break;
    default: CONSOLE_Line("DMA_PutB %x", addr); break;
  }
}

u32 DMA_GetW(u32 addr) {
  switch (addr) {
    case 0xff8604: return FDC_ReadReg();
    case 0xff8606: return DMA_Regs[DMA_Status] & 0xff;
    default: CONSOLE_Line("DMA_GetW %x", addr); return 0;
  }
}

void DMA_PutW(u32 addr, u32 value) {
  switch (addr) {
    case 0xff8604: FDC_WriteReg(value & 0xff); break;
    case 0xff8606: store_low(DMA_Regs[DMA_Mode], value); break;
    default: CONSOLE_Line("DMA_PutW %x", addr); break;
  }
}

u32 DMA_GetL(u32 addr) {
  switch (addr) {
    case 0xff8604: return FDC_ReadReg() << 16 | (DMA_Regs[DMA_Status] & 0xff);
    case 0xff8606: return (DMA_Regs[DMA_Status] & 0xff) << 16;
    default: return addr;
  }
}

void DMA_PutL(u32 addr, u32 value) {
  switch (addr) {
    case 0xff8604:
      store_low(DMA_Regs[DMA_Mode], value);
      FDC_WriteReg((value >> 16) & 0xff);
      break;
    case 0xff8606: store_low(DMA_Regs[DMA_Mode], value); break;
    default: break;
  }
}
