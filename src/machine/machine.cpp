#include "machine/machine.h"

#include <unistd.h>

#include <cstdio>

#include "blitter/blitter.h"
#include "common/console.h"
#include "common/files.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/run_loop.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/menu.h"
#include "host/midi.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/acia.h"
#include "machine/bigscreen.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/hdd.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

i32 APP_StopFlag;
u32 APP_AutoStateLoaded;
u32 APP_AutoStateTakenUp;
u32 APP_AutoStateRefused;
FILES_HeldEntry APP_AutoStateRefusedEntry;
FILES_HeldEntry APP_AutoStateTakenEntry;
u32 APP_QuitUnsaved;

std::string APP_AutoStatePath() { return APP_Folder.path + "/" + APP_AutoStateName; }

const char* APP_TosLine(u32 version, u32 emuTos) {
  switch (version) {
    case 10: return "TOS 1.0";
    case 12: return emuTos ? "EmuTOS (1.2)" : "TOS 1.2";
    case 14: return "TOS 1.4";
    case 16: return "TOS 1.62";
    case 25: return "TOS 2.05";
    case 26: return "TOS 2.06";
    default: return nullptr;
  }
}

void APP_StartUp() {
  APP_Folder = {};
  APP_GetAppFolder();
  APP_Folder.flag = 0;
  // A second copy from the same folder would share its disks and its
  // automatic state with the first: it ends here, before it opens any.
  if (!APP_LockFolder()) {
    DLG_SetAlertText(
        ("Another copy of Vantorell runs from " + APP_Folder.path + "... Vantorell will exit...").c_str());
    APP_Fatal(0);  // a code without a text of its own: the alert shows this one
  }
  PREFS_Load();
  PREFS_Save();
}

void APP_InitMachine() {
  APP_InstallAppleEvents();
  u32 errors = SCREEN_Init();
  errors += u32(SHIFTER_Reset(SHIFTER_Mode));
  APP_Banner();
  std::puts("Shifter initied...");
  errors += u32(MFP_Init());
  std::puts("MFP initied...");
  ACIA_Reset();
  std::puts("ACIAs initied...");
  SOUND_Open();
  // The synthesizer is set up once here, whether or not sound output starts,
  // so that sound-chip writes always find it ready.
  PSG_Init(2000000, 44100, 50, 160256, SOUND_PutSample);
  if (SOUND_Active) {
    SOUND_Start();
    std::puts("Sound Enabled at 44100 Hz.");
  } else {
    std::puts("Sound disabled");
  }
  IKBD_SetJoystickKeys();
  APP_ICStart();
  if (errors != 0) APP_Fatal(4);
  // The window is there to say it.
  PREFS_TellWhyDefaults();

  std::puts("Building the 68000...");
  m68k_decode_init();
  std::puts("Building the MMU and loading TOS...");
  MMU_Init();
  if (const char* line = APP_TosLine(MMU_TosVersion, MMU_IsEmuTOS)) std::puts(line);

  // A refused image has said why in its alert: the line is for an image
  // that went in.
  const std::string disk1 = APP_Folder.path + "/disk1.st";
  if (FILES_Exists(disk1.c_str()) && DISKIMG_Insert(disk1.c_str(), 'A'))
    std::puts("Disk1.st inserted in drive A");
  const std::string disk2 = APP_Folder.path + "/disk2.st";
  if (FILES_Exists(disk2.c_str()) && DISKIMG_Insert(disk2.c_str(), 'B'))
    std::puts("Disk2.st inserted in drive B");
  // The disks were in at power-on: nothing slides past a sensor.
  DISKIMG_StRestarted();
  SCHED_ResetFrame();

  if (HDD_OpenImages()) {
    // TOS 1.04 and older can't use the hard-disk driver.
    const bool later = MMU_IsLaterTos();
    if (!later) std::puts("This TOS is invalide for HDD...");
    if (later && PREFS_HardDiskOn) std::puts("Hard disk Enabled...");
  }
  std::puts("Events manager initied...");
  std::puts("Quicktime & Midi initialisation...");
  QTMIDI_CheckQuickTime();
  QTMIDI_OpenIfEnabled();
  std::puts("Midi State restored...");
  MENU_UpdateChecks();
  MMU_ClearRAM();
  if (PREFS_Unthrottled) SOUND_SetStopped(1);
}

void APP_Run() {
  APP_StopFlag = 0;
  m68k_go(1);
}

int APP_ShutDown() {
  CONSOLE_Report();
  PRINTER_Close();
  QTMIDI_Shutdown();
  SOUND_Close();
  const bool kept = PREFS_Save();
  APP_ICStop();
  APP_ExitHook();
  return kept && !APP_QuitUnsaved ? 0 : 1;
}

void APP_HardwareReset() {
  // A reset ends an operation the Blitter stopped for the host (the machine
  // is reset while the Blitter works), and the register writes waiting for
  // it; its registers stay.
  BLITTER_Abandon();
  SCREEN_ForceRedraw = 1;
  if (SCREEN_BigScreen) {
    SCREEN_BigScreen = 0;
    SCREEN_OpenWindow();
  }
  SCREEN_InvalidateLines();
  SCREEN_LineABase = 0;
  MFP_Reset();
  ACIA_Reset();
  SCHED_ComputeNextEvent();
  SHIFTER_Reset(SHIFTER_Mode > 1 ? 2 : 0);
  SOUND_Reset();
  SCHED_FrameCount = 0;
  QTMIDI_Driver.reset();
  PRINTER_Retry();
}

void APP_RequestStop() {
  if (APP_StopFlag != -1) APP_StopFlag = -1;
}

void APP_SetDefaultDirToApp() {
  APP_GetAppFolder();
  if (chdir(APP_Folder.path.c_str()) != 0) std::perror("chdir");
}
