// Loads a 68000 program that the build assembled from tests/programs.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"

std::vector<u8> load_m68k_program(const std::string& name);
