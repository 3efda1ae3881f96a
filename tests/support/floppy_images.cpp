#include "support/floppy_images.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "host/app.h"
#include "machine/memory.h"
#include "support/flat_memory.h"
#include "support/machine_fixture.h"

std::vector<u8> make_floppy(u32 size, u32 sides, u32 spt, u32 spc) {
  std::vector<u8> img(size);
  for (u32 i = 0; i < size; ++i) img[i] = floppy_pattern(i);
  for (u32 i = 0; i < 512 && i < size; ++i) img[i] = 0;
  if (size >= 512) {
    img[0x0b] = 0x00, img[0x0c] = 0x02;  // 512 bytes a sector
    img[0x0d] = u8(spc);
    if (sides && spt) {
      const u32 sectors = size / 512;
      img[0x13] = u8(sectors), img[0x14] = u8(sectors >> 8);
      img[0x18] = u8(spt);
      img[0x1a] = u8(sides);
    }
  }
  return img;
}

std::vector<u8> msa_of(const std::vector<u8>& image) {
  std::vector<u8> msa = {0x0e, 0x0f, 0, 9, 0, 1, 0, 0, 0, 79};
  for (size_t at = 0; at + 4608 <= image.size(); at += 4608) {
    msa.insert(msa.end(), {0x12, 0x00});
    msa.insert(msa.end(), image.begin() + long(at), image.begin() + long(at + 4608));
  }
  return msa;
}

bool mtools_format(const std::string& path, u32 sides, u32 spt, bool pattern) {
  const std::string cmd = "mformat -C -i '" + path + "' -t 80 -h " + std::to_string(sides) +
                          " -s " + std::to_string(spt) + " :: >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return false;
  if (!pattern) return true;
  std::vector<u8> img = read_file(path);
  if (img.size() != 80u * sides * spt * 512) return false;
  for (u32 i = 512; i < img.size(); ++i) img[i] = floppy_pattern(i);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
  return bool(out);
}

std::vector<u8> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<u8> bytes(size_t(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  bytes.resize(size_t(in.gcount()));
  return bytes;
}

void floppy_machine_reset(const std::string& folder) {
  machine_reset_globals();
  APP_FolderOverride = folder;
  FLAT_Install();
  MMU_RamSize = 0x400000;
}
