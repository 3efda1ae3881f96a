// Floppy images of arbitrary content inserted into drive A (plain images and
// MSA files alike), then driven by a few controller commands with arbitrary
// registers.
//
// Input: byte 0 picks the image size, bytes 1-15 are three commands of five
// bytes (port A and DMA address, command, track, sector, sector count), the
// rest is the file: an MSA file as it stands when it starts 0x0E 0x0F,
// otherwise the image's first bytes, padded with zeros to the picked size.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/app.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "support/clock_without_sleep.h"
#include "support/flat_memory.h"

namespace {

std::string folder;

bool set_up() {
  char tmpl[] = "/tmp/vantorell-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  folder = tmpl;
  APP_FolderOverride = folder;
  install_clock_without_sleep();
  FLAT_Install();
  MMU_RamSize = 0x400000;
  PREFS_FdcDelay = 0;
  PREFS_WriteProtect = 0;
  DLG_FixedAnswers.confirmBootWrite = 0;
  return true;
}

constexpr u32 sizes[] = {200000, 200001,  368640,  409600,  450560, 737280,
                         819200, 901120, 1474560, 1638400, 522240, 204800};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static const bool ready = set_up();
  (void)ready;
  if (size < 16) return 0;
  const u8* body = data + 16;
  const size_t bodySize = size - 16;
  std::vector<u8> file(body, body + bodySize);
  const bool msa = bodySize >= 2 && body[0] == 0x0e && body[1] == 0x0f;
  if (!msa) {
    const size_t want = sizes[data[0] % (sizeof sizes / sizeof sizes[0])];
    if (file.size() > want) file.resize(want);
    file.resize(want, 0);
  }
  const std::string path = folder + "/image";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::abort();
  if (write(fd, file.data(), file.size()) != ssize_t(file.size())) std::abort();
  close(fd);

  DISKIMG_Reset();
  FDC_Reset();
  if (DISKIMG_Insert(path.c_str(), 'A') != 1) return 0;
  const u64 imageSize = DISKIMG_ImageSize[0];
  for (int c = 0; c < 3; ++c) {
    const u8* k = data + 1 + 5 * c;
    PSG_PortA = k[0] & 7;
    DMA_SetAddress(u32(k[0] >> 3) * 0x80000 + 0x1000);
    FDC_Regs[FDC_Track] = k[2];
    FDC_Regs[FDC_Data] = k[2];
    FDC_Regs[FDC_Sector] = k[3];
    DMA_Regs[DMA_Count] = k[4];
    FDC_Regs[FDC_Command] = k[1];
    FDC_Execute();
    DMA_Regs[DMA_Mode] = 0x80;
    FDC_ReadReg();
  }
  // Whatever the commands did, the image kept its size.
  if (DISKIMG_ImageSize[0] != imageSize) std::abort();
  const off_t end = lseek(DISKIMG_Files[0], 0, SEEK_END);
  if (end != off_t(imageSize)) std::abort();
  return 0;
}
