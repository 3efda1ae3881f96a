#include "support/m68k_program.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

std::vector<u8> load_m68k_program(const std::string& name) {
  const std::string path = std::string(M68K_PROGRAM_DIR) + "/" + name + ".bin";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing test program " + path);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
