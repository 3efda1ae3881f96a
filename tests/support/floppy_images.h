// Floppy images for the tests: plain images made here, and formatted ones
// made with mtools.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"

// An image of `size` bytes whose byte i is floppy_pattern(i); the boot sector
// is zero except for the geometry fields when sides and spt are non-zero.
std::vector<u8> make_floppy(u32 size, u32 sides = 0, u32 spt = 0, u32 spc = 2);
inline u8 floppy_pattern(u32 i) { return u8(i * 31 + (i >> 9)); }
// A double-sided image of 80 tracks of 9 sectors (737,280 bytes) as an MSA
// file, every track side stored as it is.
std::vector<u8> msa_of(const std::vector<u8>& image);

// Formats a new image at `path` with mtools (80 tracks); false when mtools
// is missing or fails. With `pattern`, every byte after the boot sector is
// replaced by floppy_pattern.
bool mtools_format(const std::string& path, u32 sides, u32 spt, bool pattern);

std::vector<u8> read_file(const std::string& path);

// The machine the floppy tests drive: globals at their power-on values, the
// application folder at `folder` and the flat test map with 4 MB of RAM.
void floppy_machine_reset(const std::string& folder);
