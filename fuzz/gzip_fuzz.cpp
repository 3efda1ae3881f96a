// The gzip image opener on arbitrary files named ".gz": it must unpack or
// refuse, never read or write outside its buffer, hand back an unpacked copy
// of at most 999,999 bytes, and leave in the folder only the input.
#include <sys/stat.h>
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
  std::FILE* f = std::fopen(input.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();

  std::string why;
  const int out = DISKIMG_UnpackCompressed(input, why);
  if (out >= 0) {
    struct stat st;
    if (fstat(out, &st) != 0 || st.st_size >= off_t(DISKIMG_GzBufferSize)) std::abort();
    if (size < 2 || data[0] != 0x1f || data[1] != 0x8b) std::abort();  // a plain file
    close(out);
  } else if (why.empty()) {
    std::abort();
  }
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    (void)e;
    ++entries;
  }
  if (entries != 1) std::abort();
  return 0;
}
