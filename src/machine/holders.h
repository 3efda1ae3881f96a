// The files the machine holds while it runs, and who holds each: the floppy
// drives' images (for a packed image, the file it was unpacked from), the
// floppies waiting for a drive, the hard disks' images and the printer's
// file. None of the machine's other paths writes over, moves or renames
// such a file: a state is not saved over one, the printer does not print
// into a disk, the quit does not set a disk aside as a refused state, and no
// empty hard-disk image is made over one.
#pragma once

#include <string>

#include "common/files.h"
#include "common/types.h"

enum HOLDERS_Kind : u32 {
  HOLDERS_Drives = 1,     // floppy drives A and B, and the floppies waiting for them
  HOLDERS_HardDisks = 2,  // hard disks C and D
  HOLDERS_Printer = 4,    // "Printer Output"
  HOLDERS_All = 7,
};

// Who, of `kinds`, holds the file at path (the same file by device and
// inode, whatever name or link leads to it; the printer also holds its name
// before anything is there), in words that make a reason: "drive A holds
// PATH as its disk", "hard disk C holds PATH as its image", "the printer
// writes PATH as its output", "drive A waits for PATH as its disk" (a
// dropped floppy that goes in once the ST has seen the drive empty; its
// name is held also while nothing lies there, and so is every place a
// symbolic link of that name leads through, since whatever is put there
// goes in). Empty when nobody does.
std::string HOLDERS_Of(const char* path, u32 kinds = HOLDERS_All);
// Who finds a file at every start by a name that passes through `path`
// (FILES_PassesThrough), so that what lies there can't be moved without
// losing it: the hard disks, by their images' names, also while they are
// off (they may be switched on again), and the cartridge port by
// "cart.img" (the next start would have no cartridge, and refuse a state
// saved with one). In words that make a reason: "hard disk C finds its
// image NAME through PATH", "the cartridge port finds its image NAME
// through PATH"; empty when nobody does.
std::string HOLDERS_Through(const char* path);
// Who, of the drives and hard disks in `kinds`, holds the file `id` (one
// open already), named `path` in the words. The drives are asked in
// memory; a system call only while a floppy waits for one.
std::string HOLDERS_OfFile(const FILES_Id& id, const std::string& path, u32 kinds);
