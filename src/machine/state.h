// The saved-state file of the whole machine: a 16-byte header, fourteen
// sections in a fixed order and an extension, all big-endian.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/types.h"
#include "cpu/bus.h"  // STATE_Read, which the run loop's first entry calls

constexpr u32 STATE_Magic = 142;
constexpr u32 STATE_HeaderSize = 16;

// A word saved and restored as its own 4-byte section; nothing reads it.
extern u32 STATE_SpareWord;

// The extension after the screen section: blocks, each a tag, the length of
// its rest, and what the chips keep besides their sections. The first holds
// the drives' heads, the frame count, the sound chip's registers...; the
// second each drive's geometry; the third each drive's access and what
// tells each hard-disk image; the fourth where each drive's write-protect
// sensor stands. A file of an earlier build ends before a block (or before
// the whole extension), and is read all the same.
constexpr u32 STATE_ExtensionTag = 0x56545831;  // "VTX1"
constexpr u32 STATE_FirstBlockBytes = 8 + 4 + 28 + 14 + 4 + 1 + 4 + 12 + 36;
constexpr u32 STATE_GeometryTag = 0x56545832;  // "VTX2"
constexpr u32 STATE_GeometryBlockBytes = 8 + 24;
constexpr u32 STATE_AccessTag = 0x56545833;  // "VTX3"
constexpr u32 STATE_AccessBlockBytes = 8 + 8 + 40;
constexpr u32 STATE_SensorTag = 0x56545834;  // "VTX4"
constexpr u32 STATE_SensorBlockBytes = 8 + 16;
constexpr u32 STATE_ExtensionBytes =
    STATE_FirstBlockBytes + STATE_GeometryBlockBytes + STATE_AccessBlockBytes + STATE_SensorBlockBytes;

// Size of the file of a machine with `ramSize` bytes of RAM, the extension
// included (a Blitter operation stopped with register writes waiting adds
// their record, BLITTER_WaitingStateBytes).
u64 STATE_FileSize(u32 ramSize);

// The whole file as bytes.
std::vector<u8> STATE_Encode();

// Outcome of decoding a file image.
enum class STATE_Result {
  Restored,
  BadHeader,    // magic, TOS, RAM size or cartridge differ (an alert was shown)
  WrongLength,  // not the length this machine's state has
  BadField,     // a section holds a value out of range or a foreign ROM
};

// Checks every section of `data`, and only when all of them accept it
// restores the machine from it. Anything but Restored leaves the machine as it
// was.
STATE_Result STATE_Decode(const u8* data, size_t size);

// A section's refusal of the file it checks, in its first pass: the alert
// says `text` (in place of "Invalid file") and STATE_Refusal becomes `why`.
void STATE_RefuseFile(const std::string& text, u32 why);

// Writes the state to path: a new file in its place, complete or not at all
// (through a symbolic link, in place of the link's target; an existing
// file's permissions kept). Never over a file the machine holds, by
// whatever name (HOLDERS_Of): either floppy drive's image (or the file it
// was unpacked from), a floppy waiting for a drive (it would go in as the
// state), the hard disks' images, the printer's file. False
// (with a message on standard error, and the reason in `error` when given)
// when one of them holds it or any step failed; an older file at path is
// then left as it was.
bool STATE_Write(const char* path, std::string* error = nullptr);
