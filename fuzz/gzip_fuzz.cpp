// The gzip image opener on arbitrary files named ".gz": it must unpack or
// refuse, never read or write outside its buffer, and leave in the folder
// only the input and, when it unpacked a gzip stream, a "tempgzip.st" of at
// most 999,999 bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/app.h"
#include "host/shared/gzip_image.h"

namespace fs = std::filesystem;

namespace {

std::string folder;

void remove_folder() {
  std::error_code ec;
  fs::remove_all(folder, ec);
}

bool set_up() {
  char tmpl[] = "/tmp/vantorell-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  folder = tmpl;
  APP_Folder.path = folder;
  std::atexit(remove_folder);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static const bool ready = set_up();
  (void)ready;
  const std::string input = folder + "/disk.gz";
  const std::string temp = folder + "/" + DISKIMG_GzTempName;
  std::FILE* f = std::fopen(input.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
  unlink(temp.c_str());

  const std::string out = DISKIMG_UnpackCompressed(input);
  std::error_code ec;
  if (!out.empty()) {
    if (out != temp || fs::file_size(out, ec) >= DISKIMG_GzBufferSize || ec) std::abort();
    if (size < 2 || data[0] != 0x1f || data[1] != 0x8b) std::abort();  // a plain file
  }
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    (void)e;
    ++entries;
  }
  if (entries != (out.empty() ? 1u : 2u)) std::abort();
  return 0;
}
