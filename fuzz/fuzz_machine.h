// The machine the fuzz targets of the saved-state readers work on: started
// once through the real start-up from a TOS 1.04 image whose code is a
// branch to itself, with 512 KB of RAM and the start-up lines kept off the
// fuzzer's output.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/app.h"
#include "host/options.h"
#include "host/sound.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "support/clock_without_sleep.h"

inline void fuzz_start_machine() {
  char dir[] = "/tmp/vantorell-fuzz-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  std::vector<u8> tos(0x30000, 0);
  tos[0] = 0x60;
  tos[1] = 0x2e;
  tos[2] = 1;
  tos[3] = 4;
  tos[0x30] = 0x60;
  tos[0x31] = 0xfe;
  const std::string path = std::string(dir) + "/tos.img";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tos.data()),
                                              std::streamsize(tos.size()));
  APP_FolderOverride = dir;
  MMU_HostRamLimit = 0x80000;  // 512 KB: small files, fast runs
  std::fflush(stdout);
  const int out = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  APP_StartUp();
  PREFS_Unthrottled = 1;
  PREFS_SoundOn = 0;
  SOUND_Active = 0;
  APP_InitMachine();
  install_clock_without_sleep();
  std::remove(path.c_str());
  rmdir(dir);
  std::fflush(stdout);
  dup2(out, 1);
  close(out);
  close(null);
}
