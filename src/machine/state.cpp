#include "machine/state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <span>
#include <string>

#include "blitter/blitter.h"
#include "common/files.h"
#include "cpu/registers.h"
#include "cpu/saved_state.h"
#include "host/dialogs.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/holders.h"
#include "machine/machine_state.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/state_io.h"

u32 STATE_SpareWord;
u32 STATE_Refusal;

namespace {

// Bytes of every section but the memory section's RAM, the extension
// included.
constexpr u64 fixed_bytes = STATE_HeaderSize + 108 + 16561 + 116 + 4 + 209 + 563 + 4 + 16395 + 8 +
                            6 + 7 + m68k_state_section_size + 16 + CART_Size + 84 +
                            STATE_ExtensionBytes;

// Set while a file is only looked at (STATE_Check): its refusal shows
// nothing.
bool looking = false;

void refuse(const char* text, u32 why = STATE_RefusedFile) {
  STATE_Refusal = why;
  if (looking) return;
  DLG_SetAlertText(text);
  DLG_ShowAlert(130);
}

// A section's own refusal of the file being checked (empty: none).
std::string section_refusal;
u32 section_refusal_why;

void write_header(StateWriter& w) {
  w.u32v(STATE_Magic);
  w.u32v(MMU_RamSize);
  w.u32v(MMU_TosVersion);
  w.u32v(CART_PortConfig);
}

// 0 to accept; otherwise one alert has been shown.
bool read_header(StateReader& r) {
  if (r.u32v() != STATE_Magic || !r.ok()) {
    refuse("Cant restore Saved State, Invalid file");
    return false;
  }
  const u32 ram = r.u32v(), tos = r.u32v();
  const u32 cart = r.u32v();
  // A file cut inside its header is no state at all, whatever the words it
  // has before the cut say.
  if (!r.ok()) {
    refuse("Cant restore Saved State, Invalid file");
    return false;
  }
  if (tos != MMU_TosVersion) {
    const u32 why = STATE_RefusedTos;
    switch (tos) {
      case 10: refuse("Saved State needs TOS 1.0", why); break;
      case 12: refuse("Cant restore Saved State, Saved State needs TOS 1.2", why); break;
      case 14: refuse("Cant restore Saved State, Saved State needs TOS 1.4", why); break;
      case 16: refuse("Cant restore Saved State, Saved State needs TOS 1.6", why); break;
      case 25: refuse("Cant restore Saved State, Saved State needs TOS 2.5", why); break;
      default: refuse("Cant restore Saved State, Saved State and current TOS are different", why); break;
    }
    return false;
  }
  if (ram != MMU_RamSize) {
    refuse("Cant restore Saved State, Memory configuration is different...", STATE_RefusedRam);
    return false;
  }
  if (cart != CART_PortConfig) {
    if (cart == 1)
      refuse("Cant restore Saved State, the Hard disk Driver is not loaded", STATE_RefusedHddDriver);
    else
      refuse("Cant restore Saved State, Cartridge Port configuration is different", STATE_RefusedCartridge);
    return false;
  }
  return true;
}

void write_spare(StateWriter& w) { w.u32v(STATE_SpareWord); }
bool read_spare(StateReader& r) {
  const u32 v = r.u32v();
  if (r.ok() && r.applying()) STATE_SpareWord = v;
  return r.ok();
}

void write_cpu(StateWriter& w) {
  u8 section[m68k_state_section_size];
  m68k_state_encode(section);
  w.bytes(section, sizeof section);
}
// The frame position of the file being read, for the processor's section.
i32 file_cycle;
bool read_cycle(StateReader& r) {
  StateReader peek = r;
  file_cycle = peek.i32v();
  return SCHED_RestoreCycle(r);
}

bool read_cpu(StateReader& r) {
  const u8* section = r.view(m68k_state_section_size);
  if (!section) return false;
  // The first and last picture lines bound the line loop of the scheduler.
  const u32 lines = be_read32(section + 4), first = be_read32(section + 16);
  if (first > 313 || lines > 313 || !m68k_state_acceptable(section)) return false;
  // The pass of an instruction still to come starts where the instruction
  // did. A position past the frame's end needs such a pass, with the
  // instruction's start inside the frame, and no STOP (which writes no
  // Blitter register): its events, the frame's end among them, then fire.
  const u32 pending = m68k_state_pending(section);
  const i32 before = m68k_state_cycle_before(section);
  if ((pending & m68k_pend_blitter) && before > file_cycle) return false;
  if (file_cycle > SCHED_CyclesPerFrame &&
      (!(pending & m68k_pend_blitter) || (pending & m68k_pend_stop) || before > SCHED_CyclesPerFrame))
    return false;
  if (!r.applying()) return true;
  m68k_state_decode(section);
  // A state saved with an operation stopped (before the pending word had a
  // bit for it, too): the instruction that started it has its pass to come.
  if (BLITTER_Stopped) m68k_pend_set(m68k_pend_blitter);
  return true;
}

void write_memory(StateWriter& w) {
  w.u32v(MMU_SpareWord);
  w.u32v(MMU_TosVersion);
  w.u32v(MMU_RomSize);
  w.u32v(MMU_RomBase);
  w.bytes(MMU_RamBase, MMU_RamSize);
  w.bytes(CART_Buffer, CART_Size);
}
bool read_memory(StateReader& r) {
  const u32 spare = r.u32v(), tos = r.u32v(), romSize = r.u32v(), romBase = r.u32v();
  const u8* ram = r.view(MMU_RamSize);
  const u8* cart = r.view(CART_Size);
  if (!r.ok()) return false;
  // The ROM is not in the file: these must describe the one that is loaded.
  if (tos != MMU_TosVersion || romSize != MMU_RomSize || romBase != MMU_RomBase) return false;
  if (r.applying()) {
    MMU_SpareWord = spare;
    std::memcpy(MMU_RamBase, ram, MMU_RamSize);
    std::memcpy(CART_Buffer, cart, CART_Size);
  }
  return true;
}

struct Section {
  void (*save)(StateWriter&);
  bool (*restore)(StateReader&);
};

void write_cpu_extension(StateWriter& w) {
  u8 part[m68k_state_extension_size];
  m68k_state_extension_encode(part);
  w.bytes(part, sizeof part);
}
bool read_cpu_extension(StateReader& r) {
  const u8* part = r.view(m68k_state_extension_size);
  if (!part || !m68k_state_extension_acceptable(part)) return false;
  if (r.applying()) m68k_state_extension_decode(part);
  return true;
}

// The extension's blocks and their parts, in the file's order.
constexpr Section first_block[] = {
    {SCHED_SaveExtension, SCHED_RestoreExtension},
    {DISKIMG_SaveExtension, DISKIMG_RestoreExtension},
    {PSG_SaveExtension, PSG_RestoreExtension},
    {SHIFTER_SaveExtension, SHIFTER_RestoreExtension},
    {IKBD_SaveExtension, IKBD_RestoreExtension},
    {RTC_SaveExtension, RTC_RestoreExtension},
    {SCREEN_SaveExtension, SCREEN_RestoreExtension},
    {write_cpu_extension, read_cpu_extension},
};
constexpr Section geometry_block[] = {{DISKIMG_SaveGeometry, DISKIMG_RestoreGeometry}};
constexpr Section access_block[] = {{DISKIMG_SaveAccess, DISKIMG_RestoreAccess},
                                    {HDD_SaveRecord, HDD_RestoreRecord}};
constexpr Section sensor_block[] = {{DISKIMG_SaveSensor, DISKIMG_RestoreSensor}};
struct Block {
  u32 tag, bytes;
  std::span<const Section> parts;
  // What a file that ends before the block leaves to check (both passes):
  // false refuses it.
  bool (*absent)(StateReader&);
};
// Without the first two blocks or the fourth the floppies' restore knows
// less (see DISKIMG_FinishRestore); without the third nothing tells whether
// a hard disk changed.
constexpr Block blocks[] = {
    {STATE_ExtensionTag, STATE_FirstBlockBytes, first_block, nullptr},
    {STATE_GeometryTag, STATE_GeometryBlockBytes, geometry_block, nullptr},
    {STATE_AccessTag, STATE_AccessBlockBytes, access_block, HDD_RecordAbsent},
    {STATE_SensorTag, STATE_SensorBlockBytes, sensor_block, nullptr},
};

// The extension: each block's tag, its length, then the chips' parts. A
// file that ends after the screen section, or after a block, is one of a
// build before the extension or the blocks that follow.
void write_extension(StateWriter& w) {
  for (const Block& b : blocks) {
    w.u32v(b.tag);
    w.u32v(b.bytes - 8);
    for (const Section& s : b.parts) s.save(w);
  }
}
bool read_extension(StateReader& r) {
  for (const Block& b : blocks) {
    if (r.left() == 0) {
      if (b.absent && !b.absent(r)) return false;
      continue;
    }
    if (r.u32v() != b.tag || r.u32v() != b.bytes - 8) return false;
    for (const Section& s : b.parts)
      if (!s.restore(r) || !r.ok()) return false;
  }
  return true;
}

// Whether size is that of a state of this machine: the whole file, or one
// of a build that ended it before a block of the extension; a Blitter
// operation stopped with register writes waiting for it makes it longer by
// their record.
bool known_length(u64 size) {
  u64 length = STATE_FileSize(MMU_RamSize);
  for (size_t i = std::size(blocks); i-- > 0;) {
    if (size == length || size == length + BLITTER_WaitingStateBytes) return true;
    length -= blocks[i].bytes;
  }
  return size == length || size == length + BLITTER_WaitingStateBytes;
}

// Sections 2 to 15, in the file's order.
constexpr Section sections[] = {
    {SHIFTER_SaveState, SHIFTER_RestoreState},
    {IKBD_SaveState, IKBD_RestoreState},
    {BLITTER_Save, BLITTER_Restore},
    {SCHED_SaveCycle, read_cycle},
    {MFP_SaveState, MFP_RestoreState},
    {DISKIMG_SaveState, DISKIMG_RestoreState},
    {write_spare, read_spare},
    {MIDI_SaveState, MIDI_RestoreState},
    {MFP_SaveIntState, MFP_RestoreIntState},
    {PSG_SaveState, PSG_RestoreState},
    {MMU_SaveIORegs, MMU_RestoreIORegs},
    {write_cpu, read_cpu},
    {write_memory, read_memory},
    {SCREEN_SaveState, SCREEN_RestoreState},
    {write_extension, read_extension},
};

bool walk(const u8* data, size_t size, bool apply) {
  StateReader r(data + STATE_HeaderSize, size - STATE_HeaderSize, apply);
  for (const Section& s : sections)
    if (!s.restore(r) || !r.ok()) return false;
  return r.left() == 0;
}

}  // namespace

u64 STATE_FileSize(u32 ramSize) { return fixed_bytes + ramSize; }

std::vector<u8> STATE_Encode() {
  std::vector<u8> out;
  out.reserve(STATE_FileSize(MMU_RamSize));
  StateWriter w(out);
  write_header(w);
  for (const Section& s : sections) s.save(w);
  return out;
}

void STATE_RefuseFile(const std::string& text, u32 why) {
  if (!section_refusal.empty()) return;
  section_refusal = text;
  section_refusal_why = why;
}

namespace {

// Checks every section, then restores the machine when `restore` is set.
STATE_Result decode(const u8* data, size_t size, bool restore) {
  StateReader header(data, size, false);
  if (!read_header(header)) return STATE_Result::BadHeader;
  if (!known_length(size)) {
    refuse("Cant restore Saved State, Invalid file");
    return STATE_Result::WrongLength;
  }
  section_refusal.clear();
  if (!walk(data, size, false)) {
    if (section_refusal.empty())
      refuse("Cant restore Saved State, Invalid file");
    else
      refuse(section_refusal.c_str(), section_refusal_why);
    return STATE_Result::BadField;
  }
  if (!restore) return STATE_Result::Restored;
  walk(data, size, true);
  DISKIMG_FinishRestore();
  SCHED_EventsRestored();
  SCHED_PassReplaced = 1;
  return STATE_Result::Restored;
}

}  // namespace

STATE_Result STATE_Decode(const u8* data, size_t size) { return decode(data, size, true); }

bool STATE_Write(const char* path, std::string* error) {
  // The state would take the name of a file the machine holds: a drive
  // would go on writing the old disk, which no name leads to any more, and
  // all the ST wrote on it would be lost at the quit (a packed image's name
  // would lead a restore to the state); the printer would empty the state
  // or print on at its end.
  std::string why = HOLDERS_Of(path);
  if (why.empty()) {
    // What the ST printed until now is in "Printer Output" with the state:
    // a restored machine prints on after it.
    PRINTER_Flush();
    const std::vector<u8> bytes = STATE_Encode();
    if (FILES_WriteWhole(path, bytes.data(), bytes.size(), why)) return true;
  }
  std::fprintf(stderr, "Can't save the state to %s: %s\n", path, why.c_str());
  if (error) *error = why;
  return false;
}

namespace {

bool read_state(const char* path, bool restore) {
  std::string why;
  const int fd = FILES_OpenRegular(path, O_RDONLY, why);
  if (fd < 0) {
    // A file that may not be opened is no damaged state: it may be whole.
    struct stat st;
    const bool file = stat(path, &st) == 0 && S_ISREG(st.st_mode);
    refuse((std::string("Cant restore Saved State, ") + path + " " + why).c_str(),
           file                       ? STATE_RefusedUnreadable
           : FILES_Exists(path)       ? STATE_RefusedNotAFile
                                      : STATE_RefusedFile);
    return false;
  }
  // Never more than this machine's state: a longer file is refused unread.
  const u64 expected = STATE_FileSize(MMU_RamSize) + BLITTER_WaitingStateBytes;
  std::vector<u8> bytes(expected + 1);
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string reason = std::strerror(errno);
      close(fd);
      refuse((std::string("Cant restore Saved State, ") + path + " can't be read (" + reason + ")").c_str(),
             STATE_RefusedUnreadable);
      return false;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  close(fd);
  return decode(bytes.data(), got, restore) == STATE_Result::Restored;
}

}  // namespace

bool STATE_Read(const char* path) { return read_state(path, true); }

bool STATE_Check(const char* path) {
  looking = true;
  const bool fits = read_state(path, false);
  looking = false;
  return fits;
}
