#include "host/debugger/debugger.h"

#include <cctype>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "cpu/bus.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/debugger/disassembler.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/screen_window.h"
#include "machine/acia.h"
#include "machine/holders.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "machine/state.h"

u32 DEBUG_Requested;
volatile std::sig_atomic_t DEBUG_DumpAbort;
u32 DEBUG_Active;
u32 DEBUG_StepToActive;
u32 DEBUG_StepToAddr;
u32 DEBUG_PcHistory[DEBUG_HistorySize];
u32 DEBUG_PcHistoryHead;
u32 DEBUG_PcHistoryTail;
u32 DEBUG_TraceList[DEBUG_TraceSize];
i32 DEBUG_TraceCount = -1;
std::FILE* DEBUG_In;
std::FILE* DEBUG_Out;

std::FILE* DEBUG_Console() { return DEBUG_Out ? DEBUG_Out : stdout; }

namespace {

bool in(u32 a, u32 lo, u32 hi) { return a - lo <= hi - lo; }

// The I/O bytes whose reads leave the machine as it was, each read through
// its chip's own handler:
// - the Shifter's palette (either byte reads as the entry's low byte), its
//   screen base, sync mode and resolution, and 0xff820b and 0xff820d, which
//   read as constants; not the video counter, which a read brings up to the
//   beam, nor 0xff8262, whose read prints, nor the bytes whose read is a bus
//   error (0xff8261 among them: the resolution is a byte, its word faults);
// - every byte of the sound chip, whose reads only look at the copy of its
//   registers (the selected one's at 0xff8800);
// - the MFP's registers but the input port, which the read refreshes, and
//   the timer data registers, which count down as they are read.
bool peek_io_byte(u32 a, u8& value) {
  u32 v;
  if (in(a, 0xff8240, 0xff825f) || a == 0xff8201 || a == 0xff8203 || in(a, 0xff820a, 0xff820b) ||
      a == 0xff820d || a == 0xff8260) {
    v = SHIFTER_GetB(a);
  } else if (in(a, 0xff8800, 0xff88ff)) {
    v = PSG_GetB(a);
  } else if (in(a, 0xfffa03, 0xfffa2f) && (a & 1) && !in(a, 0xfffa1f, 0xfffa25)) {
    v = MFP_GetB(a);
  } else {
    return false;
  }
  value = u8(v);
  return true;
}

// The I/O words whose reads leave the machine as it was: the chips' word
// reads of the bytes above (the Shifter's palette and screen base words
// are words of their own; an MFP register is the odd byte of its word).
bool peek_io_word(u32 a, u16& value) {
  u8 high, low;
  if (in(a, 0xff8240, 0xff825f) || a == 0xff8200 || a == 0xff8202 ||
      (in(a, 0xff8200, 0xff82ff) && peek_io_byte(a, high) && peek_io_byte(a + 1, low)))
    value = u16(SHIFTER_GetW(a));
  else if (in(a, 0xff8800, 0xff88ff))
    value = u16(PSG_GetW(a));
  else if (in(a, 0xfffa00, 0xfffaff) && peek_io_byte(a + 1, low))
    value = u16(MFP_GetW(a));
  else
    return false;
  return true;
}

}  // namespace

bool DEBUG_PeekB(u32 address, u8& value) {
  const u32 a = address & MMU_AddressMask;
  if (const u8* p = MMU_BankOf(a)->hostPtr(a)) {
    value = *p;
    return true;
  }
  return peek_io_byte(a, value);
}

bool DEBUG_PeekW(u32 address, u16& value) {
  const u32 a = address & MMU_AddressMask;
  if ((a & 1) == 0 && !MMU_BankOf(a)->hostPtr(a)) return peek_io_word(a, value);
  u8 high, low;
  if (!DEBUG_PeekB(address, high) || !DEBUG_PeekB(address + 1, low)) return false;
  value = u16(high << 8 | low);
  return true;
}

bool DEBUG_PeekL(u32 address, u32& value) {
  // The sound chip's long reads are its own (they read 0).
  const u32 a = address & MMU_AddressMask;
  if ((a & 1) == 0 && in(a, 0xff8800, 0xff88ff)) {
    value = PSG_GetL(a);
    return true;
  }
  u16 high, low;
  if (!DEBUG_PeekW(address, high) || !DEBUG_PeekW(address + 2, low)) return false;
  value = u32(high) << 16 | low;
  return true;
}

void DEBUG_RequestEntry() {
  DEBUG_StepToActive = 0;
  DEBUG_Active = 1;
  DEBUG_Requested = 1;
  m68k_pend_set(m68k_pend_leave);
}

namespace {
constexpr const char* quit_cancelled = "The quit was cancelled\n";
}  // namespace

void DEBUG_QuitCancelled() {
  std::fputs(quit_cancelled, DEBUG_Console());
  DEBUG_RequestEntry();
}

bool DEBUG_SetPC(u32 address) {
  if (!m68k_jump_target_ok(address)) return false;
  m68k_jump_to(address);
  m68k_reload_prefetch();
  return true;
}

namespace {

constexpr size_t max_line = 79;  // characters of a command line, without its end

// Continuation addresses of `d` and `m`, and the instruction after the one
// the debugger stopped at; they live for one stop.
u32 disasm_next, dump_next, stop_next;

enum class Input { Line, TooLong, End };

// One whole line, without its end. A line longer than max_line is read to its
// end and refused, so no part of it runs as a command.
Input read_line(std::string& line) {
  std::FILE* in = DEBUG_In ? DEBUG_In : stdin;
  line.clear();
  bool any = false, tooLong = false;
  for (int c; (c = std::getc(in)) != EOF;) {
    any = true;
    if (c == '\n') break;
    if (line.size() == max_line)
      tooLong = true;
    else
      line += char(c);
  }
  if (!any) return Input::End;
  return tooLong ? Input::TooLong : Input::Line;
}

// The arguments after a command letter: hexadecimal numbers without prefix.
struct Arguments {
  const char* p;

  // Whether another argument comes before the end of the line.
  bool more() {
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    return *p != 0;
  }
  // Takes digits while they are hexadecimal: none reads as 0.
  u32 hex() {
    more();
    u32 v = 0;
    for (; std::isxdigit(u8(*p)); ++p)
      v = v << 4 | u32(std::isdigit(u8(*p)) ? *p - '0' : (*p | 0x20) - 'a' + 10);
    return v;
  }
};

void dump_memory(Arguments& args) {
  std::FILE* out = DEBUG_Console();
  u32 address = dump_next, lines = 16;
  if (args.more()) {
    address = args.hex();
    if (args.more()) lines = args.hex();
  }
  DEBUG_DumpAbort = 0;
  for (u32 i = 0; i < lines && !DEBUG_DumpAbort; ++i) {
    std::fprintf(out, "%08" PRIx32 " ", address);
    for (u32 k = 0; k < 16; ++k, address += 2) {
      u16 w;
      if (DEBUG_PeekW(address, w)) {
        std::fprintf(out, "%04x ", w);
        continue;
      }
      // A word that can't be read whole may have a byte that can.
      for (u32 b = 0; b < 2; ++b) {
        u8 v;
        if (DEBUG_PeekB(address + b, v))
          std::fprintf(out, "%02x", v);
        else
          std::fputs("??", out);
      }
      std::fputs(" ", out);
    }
    std::fputs("\n", out);
  }
  dump_next = address;
}

void show_history(Arguments& args) {
  const u32 count = args.more() ? args.hex() : 0x64;
  if (count == 0 || (count & 0x80000000)) return;
  const u32 stored =
      (DEBUG_PcHistoryHead + DEBUG_HistorySize - DEBUG_PcHistoryTail) % DEBUG_HistorySize;
  const u32 shown = count < stored ? count : stored;
  for (u32 i = 0; i < shown; ++i)
    DISASM_Lines(
        DEBUG_PcHistory[(DEBUG_PcHistoryHead + DEBUG_HistorySize - shown + i) % DEBUG_HistorySize],
        nullptr, 1);
}

// The recorded addresses: a header with the last index and address, then
// each with its index and its instruction; nothing while none is recorded.
void list_trace() {
  if (DEBUG_TraceCount < 0) return;
  const u32 last = u32(DEBUG_TraceCount) < DEBUG_TraceSize ? u32(DEBUG_TraceCount) : DEBUG_TraceSize - 1;
  std::FILE* out = DEBUG_Console();
  std::fprintf(out, "current=%x->%" PRIx32 "\n", unsigned(last), DEBUG_TraceList[last]);
  DEBUG_DumpAbort = 0;
  for (u32 i = 0; i <= last && !DEBUG_DumpAbort; ++i) {
    std::fprintf(out, "%u ", unsigned(i));
    DISASM_Lines(DEBUG_TraceList[i], nullptr, 1);
  }
}

void dump_mfp() {
  // Four registers a line.
  static const char* const formats[24] = {
      " MFP_GPI %x ",  " MFP_AER %x",   " MFP_DDR %x",   " MFP_IERA %x\n",
      " MFP_IERB %x",  " MFP_IPERA %x", " MFP_IPERB %x", " MFP_ISRA %x\n",
      " MFP_ISRB %x",  " MFP_IMRA %x",  " MFP_IMRB %x",  " MFP_VR %x\n",
      " MFP_TACR %x",  " MFP_TBCR %x",  " MFP_TCDCR %x", " MFP_TADR %x\n",
      " MFP_TBDR %x",  " MFP_TCDR %x",  " MFP_TDDR %x",  " MFP_SCR %x\n",
      " MFP_UCR %x",   " MFP_RSR %x",   " MFP_TSR %x",   " MFP_UDR %x\n"};
  std::FILE* out = DEBUG_Console();
  for (u32 i = 0; i < 24; ++i) std::fprintf(out, formats[i], unsigned(MFP_Regs[i]));
  std::fprintf(out, "maxintv %d", MFP_InServiceChannel);
  std::fprintf(out, "t reload %" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 " \n", MFP_ReloadA,
               MFP_ReloadB, MFP_ReloadC, MFP_ReloadD);
  // Timers A to D: their event times and periods.
  const u32 slots[4] = {SCHED_TimerA, SCHED_TimerB, SCHED_TimerC, SCHED_TimerD};
  for (u32 t = 0; t < 4; ++t)
    std::fprintf(out, "Cycles & T%c next event %d %d %d \n", char('a' + t), SCHED_FrameCycle,
                 SCHED_EventTimes[slots[t]], SCHED_TimerPeriods[t]);
  std::fprintf(out, "Cycles & nextraster %d %d \n", SCHED_FrameCycle,
               SCHED_EventTimes[SCHED_LineEnd]);
  std::fprintf(out, "Cycles & nextevent %d %d\n", SCHED_FrameCycle, SCHED_NextEvent);
  std::fprintf(out, " inbuf %" PRIu32 " %" PRIu32 " loadbase %" PRIx32 " , raster %d\n",
               IKBD_QueueCount, MIDI_RxCount, SHIFTER_LoadBase, SCHED_LineCounter);
  for (u32 c : SHIFTER_Palette) std::fprintf(out, "%d  ", int(c));
  std::fputs("\n", out);
}

void list_vectors() {
  static const char* const names[16] = {
      "Centronic busy", "RS232 DCD     ", "RS232 CTS     ", "Blitter done  ",
      "Timer D       ", "Timer C       ", "Keyboard      ", "FDC/HDC       ",
      "Timer B       ", "Send Error    ", "Send buffer em", "Receive error ",
      "Receive buf fu", "Timer A       ", "RS-232 Ring de", "Monochrome    "};
  std::FILE* out = DEBUG_Console();
  const auto line = [out](const char* name, u32 address) {
    u32 v;
    if (DEBUG_PeekL(address, v))
      std::fprintf(out, "%s %" PRIx32 " %" PRIx32 "\n", name, address, v);
    else
      std::fprintf(out, "%s %" PRIx32 " ????\n", name, address);
  };
  const u32 first = (MFP_VR & 0xf0) * 4;
  for (u32 n = 0; n < 16; ++n) line(names[n], first + 4 * n);
  line("VBL           ", 0x70);
  line("HBL           ", 0x68);
}

void show_help() {
  static const char* const rows[][2] = {
      {"  g: <address>          ", "Start execution at the current address or <address>"},
      {"  c:                    ", "Dump state of the CIA and custom chips"},
      {"  r:                    ", "Dump state of the CPU"},
      {"  m <address> <lines>:  ", "Memory dump starting at <address>"},
      {"  d <address> <lines>:  ", "Disassembly starting at <address>"},
      {"  t:                    ", "Step one instruction"},
      {"  z:                    ", "Step through one instruction - useful for JSR, DBRA etc"},
      {"  f <address>:          ", "Step forward until PC == <address>"},
      {"  H <count>:            ", "Show PC history <count> instructions"},
      {"  M:                   ", "Search for *Tracker sound modules"},
      {"  h,?:                  ", "Show this help page"},
      {"  q:                    ", "Quit the emulator. \n"}};
  std::FILE* out = DEBUG_Console();
  std::fputs("          HELP for Torvi 0.2 Debugger\n", out);
  std::fputs("         -----------------------\n\n", out);
  for (const auto& row : rows) std::fprintf(out, "%s%s\n", row[0], row[1]);
}

std::string frozen_path() { return APP_Folder.path + "/" + DEBUG_FrozenName; }

// The file `U` could not restore, held: `F` sets it aside before it writes
// a new one, so a state of another TOS (or a disk the ST wrote to since) is
// not lost without a word, unless another file was put in its place since;
// the quit does not write the automatic state over it through a link.
FILES_HeldEntry frozen_refused;

// Whether the refused "frozen", still that one, leads to the automatic state
// the start took (or the machine saved there since), which a quit with the
// option on writes over all the same: nothing of it is kept from `F` or the
// quit then.
bool frozen_is_taken_auto() {
  const std::string path = frozen_path(), auto_path = APP_AutoStatePath();
  return PREFS_AutoSaveOnQuit && !frozen_refused.Filled() && frozen_refused.IsAt(path.c_str()) &&
         APP_AutoStateTakenEntry.IsAt(auto_path.c_str()) && FILES_SameEnd(path.c_str(), auto_path.c_str());
}

void freeze() {
  const std::string path = frozen_path();
  // A disk the machine holds under that name stays where it is: the save
  // below refuses it and says why.
  const bool held = !HOLDERS_Of(path.c_str()).empty();
  const std::string auto_path = APP_AutoStatePath();
  // A link to the automatic state the start refused (which `U` may have
  // refused too) is left as it is: that file stays for the quit to set
  // aside and say what loads it again. Where that refused link led nowhere,
  // the "frozen" a state was saved as since (no link, and nothing another
  // program put in its place) is `F`'s own file, which it writes over as
  // ever; nothing is written through a link.
  const bool auto_open = APP_RefusedLinkOpen();
  const bool own = auto_open && INPUT_SavedWhereLinkLed(APP_AutoStateRefusedEntry, path.c_str());
  if (!held && !own && APP_LeadsToRefusedAutoState(path.c_str())) {
    // Also when that one leads here, or both to a third.
    const bool leads = FILES_LeadsThrough(path.c_str(), auto_path.c_str());
    const bool replaced =
        INPUT_RefusedAt(APP_AutoStateRefusedEntry, auto_path.c_str()) == INPUT_Refused::Replaced;
    const char* what = replaced ? "was put in place of the automatic state that " : "";
    std::fprintf(DEBUG_Console(),
                 "Could not save the machine to %s: it %s %s, which %scould not be restored at the start%s "
                 "is kept\n",
                 path.c_str(), leads ? "leads to" : "is one file with", auto_path.c_str(), what,
                 replaced ? ", and" : " and");
    return;
  }
  const INPUT_Refused refused =
      held || frozen_is_taken_auto() ? INPUT_Refused::None : INPUT_RefusedAt(frozen_refused, path.c_str());
  if (refused != INPUT_Refused::None) {
    std::string error, aside;
    std::error_code ec;
    const std::string what = INPUT_RefusedWords(frozen_refused, path.c_str());
    // A link set aside leaves what it leads to where it is: the automatic
    // state's file (or its link's end, unless that link leads through this
    // one) would then be written over by the quit, which no longer knows it
    // for the refused one.
    if (std::filesystem::is_symlink(path, ec) && FILES_SameEnd(path.c_str(), auto_path.c_str()) &&
        !FILES_LeadsThrough(auto_path.c_str(), path.c_str())) {
      error = FILES_LeadsThrough(path.c_str(), auto_path.c_str())
                  ? "it leads to the automatic state's file, " + auto_path
                  : "it leads where the automatic state's file, " + auto_path + ", leads";
    } else {
      aside = INPUT_SetAsideRefused(path, error);
    }
    const bool replaced = refused == INPUT_Refused::Replaced;
    if (aside.empty()) {
      std::fprintf(DEBUG_Console(), "Could not save the machine to %s, which %s is kept: %s\n", path.c_str(),
                   replaced ? "was put in place of the machine that could not be restored, and"
                            : "could not be restored and",
                   error.c_str());
      return;
    }
    std::fprintf(DEBUG_Console(), "%s is kept as %s%s%s\n",
                 replaced ? "What replaced the machine that could not be restored"
                          : "The machine that could not be restored",
                 aside.c_str(), what.empty() ? "" : ", which ", what.c_str());
  }
  // Set aside, it is no longer in the way; otherwise held until a state is
  // written there: a save that fails keeps it known should the next `F` no
  // longer write over the automatic state the start took (the option off).
  if (!held && refused != INPUT_Refused::None) frozen_refused.LetGo();
  // The machine saved where the automatic state's refused link leads
  // nowhere is no more the quit's to write over than a state the menu saved
  // there.
  std::string why;
  if (STATE_Write(path.c_str(), &why)) {
    if (!held) frozen_refused.LetGo();
    if (auto_open) APP_RefusedLinkSaved(path.c_str());
    APP_StateSaved(path.c_str());
    std::fprintf(DEBUG_Console(), "Machine saved to %s\n", path.c_str());
  } else {
    std::fprintf(DEBUG_Console(), "Could not save the machine to %s: %s\n", path.c_str(), why.c_str());
  }
}

// The stop's state again, as at a new stop, after the machine changed under it.
void restart_stop() {
  DEBUG_DumpCpuState(&stop_next);
  disasm_next = stop_next;
  dump_next = 0;
}

void unfreeze() {
  const std::string path = frozen_path();
  std::error_code ec;
  // A link that leads nowhere (or round) is there all the same: the restore
  // says what it is.
  if (!FILES_Exists(path.c_str())) {
    std::fprintf(DEBUG_Console(), "No saved machine: %s does not exist\n", path.c_str());
    return;
  }
  // The refused link held alone since the user saved where it led nowhere
  // stays so, whatever `U` makes of what it leads to.
  const bool link_alone = frozen_refused.Filled() && frozen_refused.IsAt(path.c_str());
  if (!link_alone) frozen_refused.Hold(path.c_str());
  if (!STATE_Read(path.c_str())) {
    // A folder, a FIFO or a device holds nothing a save could lose; a link,
    // which may lead to a file later, stays held.
    if (!std::filesystem::is_regular_file(path, ec) && !std::filesystem::is_symlink(path, ec))
      frozen_refused.LetGo();
    std::fprintf(DEBUG_Console(), "Could not restore the machine from %s\n", path.c_str());
    return;
  }
  if (!link_alone) frozen_refused.LetGo();
  APP_StateLoaded(path.c_str());  // "frozen" a link to the automatic state the start refused
  INPUT_StateRestored();
  MENU_UpdateDiskItems();
  std::fprintf(DEBUG_Console(), "Machine restored from %s\n", path.c_str());
  restart_stop();
}

void step_to(u32 address) {
  DEBUG_StepToAddr = address;
  DEBUG_StepToActive = 1;
  m68k_pend_set(m68k_pend_leave);
}

// Runs one command line; true when the command lets the CPU run again.
bool run_command(const std::string& line) {
  Arguments args{line.c_str()};
  if (!args.more()) return false;
  const char command = *args.p++;
  switch (command) {
    case 'r': {
      u32 next;
      DEBUG_DumpCpuState(&next);
      return false;
    }
    case 'd': {
      u32 address = disasm_next, lines = 10;
      if (args.more()) {
        address = args.hex();
        if (args.more()) lines = args.hex();
      }
      DEBUG_DumpAbort = 0;
      for (i32 left = i32(lines); left > 0 && !DEBUG_DumpAbort; --left)
        DISASM_Lines(address, &address, 1);
      disasm_next = address;
      return false;
    }
    case 'm': dump_memory(args); return false;
    case 't': m68k_pend_set(m68k_pend_leave); return true;
    case 'z': step_to(stop_next); return true;
    case 'f': step_to(args.more() ? args.hex() : 0); return true;
    case 'g':
      if (args.more()) {
        const u32 address = args.hex();
        if (!DEBUG_SetPC(address)) {
          std::fprintf(DEBUG_Console(),
                       "No code can run at %08" PRIx32 ": the PC stays at %08" PRIx32 "\n", address,
                       m68k_get_pc());
          return false;
        }
      }
      DEBUG_Requested = 0;
      DEBUG_Active = 0;
      return true;
    case 'q':
      // The quit path, as every quit takes it; one the user cancels (the
      // state or the preferences can't be saved) leaves the debugger open.
      if (!APP_QuitFromDebugger()) {
        std::fputs(quit_cancelled, DEBUG_Console());
        return false;
      }
      // A floppy still to go in: the machine runs on until it is in (a
      // cancel then opens the debugger again).
      if (INPUT_QuitWaiting()) std::fputs("The quit waits for the floppy to go in\n", DEBUG_Console());
      DEBUG_Requested = 0;
      DEBUG_Active = 0;
      return true;
    case 'H': show_history(args); return false;
    case 'o': list_trace(); return false;
    case 'p': dump_mfp(); return false;
    case 'v': list_vectors(); return false;
    case 'w':
      SCREEN_FrameBase = SHIFTER_LoadBase;
      SCREEN_ForceRedraw = 1;
      SCREEN_Present();
      return false;
    case 'j':
      // The picture keeps to the visible lines wherever the user puts it.
      if (args.more()) SCREEN_SetPictureLines(args.hex(), SCREEN_DisplayLines);
      return true;
    case 'F': freeze(); return false;
    case 'U': unfreeze(); return false;
    case 'h':
    case '?': show_help(); return false;
    default: return false;
  }
}

}  // namespace

void DEBUG_StateLoaded(const char* path) {
  // Whatever a refused link held alone leads to is not what was refused;
  // moved from "frozen" since, it no longer stands for what lies there now.
  if (frozen_refused.IsAt(path) && !frozen_refused.Filled() && frozen_refused.IsAt(frozen_path().c_str()))
    frozen_refused.LetGo();
}

void DEBUG_StateSaved(const char* path) {
  const std::string frozen = frozen_path();
  const bool link_stays = frozen_refused.Filled() && frozen_refused.IsAt(frozen.c_str());
  if (!link_stays && FILES_SameEnd(path, frozen.c_str())) frozen_refused.LetGo();
}

void DEBUG_LetGoOfGone() { frozen_refused.LetGoOfGone(); }

bool DEBUG_RefusedLinkOpen() { return INPUT_RefusedLinkOpen(frozen_refused, frozen_path().c_str()); }

void DEBUG_RefusedLinkSaved(const char* path) {
  INPUT_RefusedLinkSaved(frozen_refused, frozen_path().c_str(), path);
}

bool DEBUG_LeadsToRefusedFrozen(const char* path) {
  // The state the user saved where the refused link led nowhere, no link
  // itself (the automatic state saved from the menu): written over as ever.
  if (INPUT_SavedWhereLinkLed(frozen_refused, path)) return false;
  return !frozen_is_taken_auto() && INPUT_LeadsToRefused(frozen_refused, frozen_path().c_str(), path);
}

bool DEBUG_RefusedFrozenReplaced() {
  return INPUT_RefusedAt(frozen_refused, frozen_path().c_str()) == INPUT_Refused::Replaced;
}

void DEBUG_CommandLoop() {
  const u32 pc = m68k_get_pc();
  if (DEBUG_StepToActive && pc != DEBUG_StepToAddr) {
    m68k_pend_set(m68k_pend_leave);
    return;
  }
  DEBUG_PcHistory[DEBUG_PcHistoryHead] = pc;
  DEBUG_StepToActive = 0;
  DEBUG_PcHistoryHead = (DEBUG_PcHistoryHead + 1) % DEBUG_HistorySize;
  if (DEBUG_PcHistoryHead == DEBUG_PcHistoryTail)
    DEBUG_PcHistoryTail = (DEBUG_PcHistoryTail + 1) % DEBUG_HistorySize;
  restart_stop();

  std::string line;
  for (;;) {
    std::fputs(">", DEBUG_Console());
    std::fflush(DEBUG_Console());
    const Input got = read_line(line);
    if (got == Input::End) return;
    if (got == Input::TooLong) {
      std::fprintf(DEBUG_Console(), "Line too long: a command holds at most %zu characters\n",
                   max_line);
      continue;
    }
    if (run_command(line)) return;
  }
}
