#include "support/machine_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "blitter/blitter.h"
#include "common/console.h"
#include "common/endian.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "host/app.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/acia.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/rtc.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

TempFolder::TempFolder() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vantorell-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(path_, ec);
}

void TempFolder::write(const std::string& name, const std::vector<u8>& bytes) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<u8> make_tos_image(u8 v0, u8 v1, u32 size, bool emuTos) {
  const u32 version = u32(v0) * 10 + v1;
  if (!size) size = version == 10 || version == 12 || version == 14 ? 0x30000 : 0x40000;
  std::vector<u8> img(size, 0);
  if (size >= 4) {
    img[0] = 0x60;
    img[1] = 0x2e;
    img[2] = v0;
    img[3] = v1;
  }
  if (size > 0x2c && emuTos) img[0x2c] = 'E';
  if (size >= 0x32) be_write16(&img[0x30], 0x60fe);  // bra.s *
  return img;
}

std::vector<u8> load_test_rom(const std::string& name) {
  const std::string path = std::string(M68K_PROGRAM_DIR) + "/" + name + ".img";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing test ROM " + path);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

u64 FakeClock::now;
u64 FakeClock::slept;
u32 FakeClock::sleeps;
i32 FakeClock::date[6];

namespace {
u64 fake_us() { return FakeClock::now; }
void fake_sleep(u32 us) {
  FakeClock::now += us;
  FakeClock::slept += us;
  ++FakeClock::sleeps;
}
HOST_DateTime fake_time() {
  const i32* d = FakeClock::date;
  return {d[0], d[1], d[2], d[3], d[4], d[5]};
}
void throwing_exit(int code) { throw ProcessExit{code}; }
}  // namespace

void FakeClock::install() {
  now = 1000000000;
  slept = 0;
  sleeps = 0;
  const i32 d[6] = {2004, 3, 7, 14, 5, 9};
  std::memcpy(date, d, sizeof date);
  HOST_Clock = {fake_us, fake_sleep, fake_time};
}

void machine_reset_globals() {
  CONSOLE_Report();
  m68k_registers_reset();
  FakeClock::install();
  HOST_ExitHandler = throwing_exit;
  PREFS_SetDefaults();
  PREFS_StateTos.clear();
  PREFS_Unthrottled = 1;
  PREFS_SoundOn = 0;
  SOUND_Active = 0;
  SOUND_FramesEnded = 0;
  SOUND_RingClear();
  DISKIMG_Reset();
  FDC_Reset();
  PRINTER_Close();
  SHIFTER_Mode = 0;
  // The Shifter's reset leaves the base, sync and palette registers.
  SHIFTER_BaseHigh = SHIFTER_BaseMid = SHIFTER_Sync = 0;
  SHIFTER_LoadBase = SHIFTER_VideoAddress = SHIFTER_Sync60Line = 0;
  for (u32& c : SHIFTER_Palette) c = 0;
  SCREEN_Init();
  SCREEN_DriveLightOn = SCREEN_DriveLightFrames = 0;  // lit by an earlier test's floppy
  SHIFTER_Reset(0);
  // The MFP's reset leaves its mask, direction and USART registers, the
  // MIDI ACIA has no reset of its own, and the I/O page's registers keep
  // what was written: like the Shifter's, all start from their power-on
  // zeros.
  std::memset(MFP_Regs, 0, sizeof MFP_Regs);
  MFP_Init();
  ACIA_Reset();
  std::memset(MIDI_Acia, 0, sizeof MIDI_Acia);
  MIDI_RxCount = MIDI_RxIndex = 0;
  MMU_MemConfig = 0;
  MMU_MicrowireMask = MMU_MicrowireData = MMU_IOSpare = 0;
  IKBD_PowerOn();
  RTC_ModeReg = 0;
  PSG_RegCopy = {};
  PSG_PortA = 0;
  m68k_last_int_level = 0;
  // The Blitter's registers, which no reset touches.
  std::memset(BLITTER_Halftone, 0, sizeof BLITTER_Halftone);
  std::memset(BLITTER_HalftoneSnap, 0, sizeof BLITTER_HalftoneSnap);
  BLITTER_SrcXInc = BLITTER_SrcYInc = BLITTER_DstXInc = BLITTER_DstYInc = BLITTER_LineStep = 0;
  BLITTER_SrcAddr = BLITTER_DstAddr = BLITTER_HalftoneLine = 0;
  BLITTER_EndMask1 = BLITTER_EndMask2 = BLITTER_EndMask3 = BLITTER_XCount = BLITTER_YCount = 0;
  BLITTER_Hop = BLITTER_Op = BLITTER_LineCtl = BLITTER_Skew = BLITTER_Fxsr = BLITTER_Nfsr = 0;
  APP_StopFlag = 0;
  APP_QuitUnsaved = 0;
  APP_AutoStateLoaded = 0;
  APP_AutoStateTakenUp = 0;
  APP_AutoStateRefused = 0;
  APP_AutoStateRefusedEntry.LetGo();
  APP_AutoStateTakenEntry.LetGo();
  SCHED_StopAfterFrames = 0;
  SCHED_HostDue = 0;
  SCHED_FrameCount = 0;
  SCHED_AutoSkip = 0;
  SCHED_PaceMark = FakeClock::now;
  SCHED_SecondMark = FakeClock::now;
  for (u32& h : SCHED_FrameHistory) h = 0;
  SCREEN_FirstLine = 64;
  SCREEN_DisplayLines = 200;
  SCREEN_FrameBase = 0;
  SCREEN_VideoWritten = 1;
  MMU_BusErrorCount = 0;
  MMU_TosVersion = 0;
  MMU_IsEmuTOS = 0;
  m68k_last_mask = 7;
  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  SCHED_LineCounter = 1;
  m68k_regfile.s = 1;
  m68k_regfile.imask = 7;
  SCHED_ComputeNextEvent();
}

namespace {

const HOST_ExitFn process_exit = HOST_ExitHandler;

// After every test, the machine's global words the processor tests also read
// go back to their values at program start, whatever a machine test set, and
// the console forgets the lines it printed, so that the next test's lines
// are printed, not counted as repeats.
class RestoreMachineDefaults : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    CONSOLE_Report();
    MMU_TosVersion = 0;
    MMU_IsEmuTOS = 0;
    MMU_RamSize = 0x400000;
    MMU_HostRamLimit = 0xffffffff;
    PREFS_SetDefaults();
    PREFS_Unthrottled = 1;
    APP_StopFlag = 0;
    APP_QuitUnsaved = 0;
    SCHED_StopAfterFrames = 0;
    APP_FolderOverride.clear();
    HOST_UseSystemClock();
    HOST_ExitHandler = process_exit;
  }
};

const bool listener_installed = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new RestoreMachineDefaults);
  return true;
}();

}  // namespace

void machine_build_memory(const std::string& folder) {
  APP_FolderOverride = folder;
  APP_Folder = {};
  APP_GetAppFolder();
  testing::internal::CaptureStdout();
  try {
    MMU_Init();
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  testing::internal::GetCapturedStdout();
}

std::string machine_start(const std::string& folder) {
  APP_FolderOverride = folder;
  testing::internal::CaptureStdout();
  try {
    APP_StartUp();
    PREFS_Unthrottled = 1;
    PREFS_SoundOn = 0;
    SOUND_Active = 0;
    APP_InitMachine();
  } catch (...) {
    testing::internal::GetCapturedStdout();
    throw;
  }
  return testing::internal::GetCapturedStdout();
}

void machine_run_frames(u32 frames) {
  SCHED_StopAfterFrames = frames;
  APP_Run();
  SCHED_StopAfterFrames = 0;
}

void machine_continue_frames(u32 frames) {
  APP_StopFlag = 0;
  SCHED_StopAfterFrames = frames;
  m68k_running = 1;
  while (!APP_StopFlag) m68k_run_loop();
  m68k_running = 0;
  SCHED_StopAfterFrames = 0;
}

void machine_run_quietly(u32 frames, bool goOn) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  if (goOn) {
    machine_continue_frames(frames);
  } else {
    machine_run_frames(frames);
  }
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
}

std::string held_removed_file(const std::string& folder) {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string held = std::filesystem::read_symlink(fd, ec).string();
    if (held.starts_with(folder + "/") && held.ends_with(" (deleted)")) return held;
  }
  return {};
}

void machine_point_vectors() {
  m68k_regs& r = m68k_regfile;
  r.s = 1;
  r.a[7] = 0x8000;
  r.vbr = 0;
  for (u32 v = 2; v < 256; ++v) MMU_WriteL(4 * v, vector_target(v));
  for (u32 v = 2; v < 256; ++v) MMU_WriteW(vector_target(v), 0x60fe);  // bra.s *
  MMU_WriteW(machine_idle_pc, 0x60fe);
  m68k_jump_to_core(machine_idle_pc);
  m68k_reload_prefetch();
}

bool machine_end_instruction() {
  if (!(m68k_regfile.pending & m68k_pend_fault_resume)) return false;
  m68k_fault_resume();
  return true;
}

std::vector<u8> ikbd_take() {
  std::vector<u8> out;
  for (u32 i = IKBD_QueueCount; i > 0; --i)
    out.push_back(IKBD_Queue[(IKBD_QueueHead - i) & (IKBD_QueueSize - 1)]);
  IKBD_QueueCount = 0;
  return out;
}
