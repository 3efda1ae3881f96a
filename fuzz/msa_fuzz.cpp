// MSA expansion of arbitrary bytes: it must refuse or expand, never read or
// write outside its buffers, and an accepted file expands to exactly the
// size its header promises.
#include <cstdlib>
#include <vector>

#include "machine/diskimg.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  std::vector<u8> image;
  MSA_Header h{};
  const MSA_Result r = MSA_Expand(data, size, image, &h);
  if (r == MSA_Result::Ok) {
    const size_t expected = size_t(h.lastTrack + 1) * h.sides * h.sectorsPerTrack * 512;
    if (image.size() != expected || h.sides < 1 || h.sides > 2 || h.firstTrack > h.lastTrack)
      std::abort();
  } else if (!image.empty()) {
    std::abort();
  }
  return 0;
}
