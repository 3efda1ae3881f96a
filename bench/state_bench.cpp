// What the saved state's record of a hard disk costs every quit: the record
// of a 512 MB FAT16 image (8 KB sectors, 64 directories of 16 files each,
// made here with mkfs.fat and mtools), read from the page cache, and from
// the disk after the cache was dropped (root only: /proc/sys/vm/drop_caches).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/app.h"
#include "host/options.h"
#include "machine/hdd.h"
#include "machine/sections.h"

namespace {

std::string make_image() {
  std::string folder = (std::filesystem::temp_directory_path() / "vantorell-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) return {};
  const std::string image = folder + "/HDD-C.dmg", file = folder + "/file.txt";
  std::ofstream(file) << std::string(3000, 'x');
  std::string script = "export MTOOLS_SKIP_CHECK=1; /usr/sbin/mkfs.fat -C -F 16 -S 8192 -s 1 '" + image +
                       "' 524288 >/dev/null || exit 1";
  for (int d = 0; d < 64; ++d) {
    const std::string dir = "::D" + std::to_string(d);
    script += "; mmd -i '" + image + "' " + dir;
    script += "; for f in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do mcopy -i '" + image + "' '" + file + "' " +
              dir + "/F$f.TXT; done";
  }
  if (std::system(script.c_str()) != 0) return {};
  return folder;
}

void BM_HardDiskRecord(benchmark::State& state, bool cold) {
  static const std::string folder = make_image();
  if (folder.empty()) return state.SkipWithError("mkfs.fat or mtools failed");
  APP_FolderOverride = folder;
  APP_GetAppFolder();
  PREFS_HardDiskOn = 1;
  if (!HDD_OpenImages()) return state.SkipWithError("the image did not open");
  std::vector<u8> out;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      sync();
      std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
      state.ResumeTiming();
    }
    out.clear();
    StateWriter w(out);
    HDD_SaveRecord(w);
    benchmark::DoNotOptimize(out.data());
  }
  HDD_CloseImages();
}

}  // namespace

BENCHMARK_CAPTURE(BM_HardDiskRecord, cached, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HardDiskRecord, cold, true)->Unit(benchmark::kMillisecond)->Iterations(20);
