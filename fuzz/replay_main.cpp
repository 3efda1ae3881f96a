// Runs the fuzz target over the files of the given folders or files, once
// each: the corpus replay of the ordinary test run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
void replay(const std::filesystem::path& p, int& count) {
  std::ifstream in(p, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  ++count;
}
}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int a = 1; a < argc; ++a) {
    const std::filesystem::path p(argv[a]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) replay(e.path(), count);
    } else {
      replay(p, count);
    }
  }
  std::fprintf(stdout, "replayed %d inputs\n", count);
  return count > 0 ? 0 : 1;
}
