// What each menu item does: the command table and MENU_Command, which
// carries out a choice.
#include <filesystem>

#include "cpu/exceptions.h"
#include "host/app.h"
#include "host/debugger/debugger.h"
#include "host/events.h"
#include "host/midi.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/dialogs.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "host/shared/screen_window.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/shifter.h"
#include "machine/state.h"

u32 MENU_DiskDrive = 1;
const char* const MENU_WebAddress = "https://vantorell.example.org/";
const char* const MENU_MailAddress = "mailto:authors@vantorell.example.org";

namespace {

u32 toggled(u32 option) { return option ? 0 : 1; }

std::string file_name(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// ---- Menu 128 ----

void about(u32) { DLG_About(); }

// ---- Menu 129 ----

void load_tos(u32) {
  if (DLG_ConfirmRestart()) NAV_ChooseTos();
}

void reset(u32) {
  if (!DLG_ConfirmReset()) return;
  if (SCREEN_BigScreen) MMU_ClearRAM();
  m68k_restart();
}

void cold_reset(u32) {
  if (!DLG_ConfirmReset()) return;
  MMU_ClearRAM();
  m68k_restart();
}

void debugger(u32) { DEBUG_RequestEntry(); }

void pause(u32) {
  if (EVENTS_Paused) {
    EVENTS_Paused = 0;
    EVENTS_Suspended = 0;
    MENU_CheckItem(MENU_FileId, 7, false);
    SCREEN_DrawStatusLine();
  } else {
    MENU_CheckItem(MENU_FileId, 7, true);
    SCREEN_DrawStatusLine();
    EVENTS_Paused = 1;
  }
}

}  // namespace

// Items without anything to do.
void MENU_FileItem9(u32) {}
void MENU_FileItem10(u32) {}
void MENU_EditItem4(u32) {}
void MENU_EditItem8(u32) {}

namespace {

// The same path as the close box's: preferences, the automatic state.
void quit(u32) { APP_AutoSaveOnQuit(); }

// ---- Menu 131 ----

void monitor(u32) {
  if (PREFS_BigScreen) return;
  if (SHIFTER_Mode <= 1) {
    SHIFTER_Reset(2);
    m68k_restart();
    MENU_SetItemText(MENU_OptionsId, 3, "Switch to Color");
  } else {
    m68k_restart();
    SHIFTER_Reset(0);
    MENU_SetItemText(MENU_OptionsId, 3, "Switch to Monochrome");
  }
}

void double_size(u32) {
  STATE_SpareWord = 0;
  PREFS_DoubleSize = PREFS_DoubleSize == 0 ? 1 : 0;
  MENU_CheckItem(MENU_OptionsId, 4, PREFS_DoubleSize != 0);
  SCREEN_OpenWindow();
}

// The bar hides in full screen; the shortcuts still work. Leaving keeps the
// doubled low resolution.
void full_screen(u32) {
  if (SCREEN_FullScreen == 0) {
    SCREEN_FullScreen = 1;
    MENU_CheckItem(MENU_OptionsId, 6, true);
    PREFS_DoubleSize = 1;
    MENU_SetItemEnabled(MENU_OptionsId, 4, 0);
    MENU_HideMenuBar();
    SCREEN_VideoWritten = 1;
  } else {
    SCREEN_FullScreen = 0;
    MENU_CheckItem(MENU_OptionsId, 6, false);
    MENU_SetItemEnabled(MENU_OptionsId, 4, 1);
    MENU_ShowMenuBar();
  }
  SCREEN_OpenWindow();
}

void speed_counters(u32) {
  PREFS_SpeedCounters = toggled(PREFS_SpeedCounters);
  SCREEN_DrawStatusLine();
  MENU_CheckItem(MENU_OptionsId, 7, PREFS_SpeedCounters != 0);
}

void buffered_drawing(u32) {
  PREFS_BufferedDrawing = PREFS_BufferedDrawing == 1 ? 0 : 1;
  MENU_CheckItem(MENU_OptionsId, 8, PREFS_BufferedDrawing != 0);
  if (!PREFS_BufferedDrawing) SCREEN_UpdateWindowOrigin();
}

void mouse_driver(u32) {
  MENU_STMouseDriver = toggled(MENU_STMouseDriver);
  MENU_CheckItem(MENU_OptionsId, 11, MENU_STMouseDriver != 0);
}

void sound(u32) {
  if (PREFS_SoundOn == 0) {
    PREFS_SoundOn = 1;
    SOUND_Start();
  } else {
    PREFS_SoundOn = 0;
    SOUND_Stop();
  }
  MENU_CheckItem(MENU_OptionsId, 13, PREFS_SoundOn != 0);
  SOUND_Active = PREFS_SoundOn;
}

// Checked while the emulation is paced at 50 frames a second.
void pacing(u32) {
  PREFS_Unthrottled = PREFS_Unthrottled == 1 ? 0 : 1;
  MENU_CheckItem(MENU_OptionsId, 15, PREFS_Unthrottled == 0);
  SOUND_SetStopped(PREFS_Unthrottled);
}

void settings(u32) { DLG_Settings(); }

// ---- Menu 132 ----

void insert_disk(u32 item) {
  MENU_DiskDrive = item;
  MENU_InsertDisk();
}

void write_protect(u32) {
  PREFS_WriteProtect = PREFS_WriteProtect ? 0 : 0x40;
  MENU_CheckItem(MENU_DisksId, 4, PREFS_WriteProtect != 0);
}

// A file the machine holds under the image's name, or something other than a
// plain file there, is named with what it is, not taken for a folder that
// can't take the image.
void empty_hard_disk(u32) {
  std::string why;
  const u32 made = HDD_CreateEmptyImage(nullptr, &why);
  if (made == 1) {
    DLG_Alert(11, 0);
  } else if (made == HDD_Held || made == HDD_NotAFile) {
    DLG_SetAlertText(why.c_str());
    DLG_Alert(made == HDD_Held ? DLG_HeldImageAlert : DLG_NotAFileImageAlert, 1);
  } else if (made != HDD_Cancelled) {
    DLG_Alert(12, 1);
  }
}

// Only a later TOS can use the hard disk. The images are opened (or closed)
// at once, so the restarted machine has them.
void hard_disk(u32) {
  if (!MMU_IsLaterTos()) {
    DLG_Alert(13, 1);
    return;
  }
  if (!DLG_ConfirmRestart()) return;
  PREFS_HardDiskOn = PREFS_HardDiskOn == 1 ? 0 : 1;
  MENU_CheckItem(MENU_DisksId, 8, PREFS_HardDiskOn != 0);
  HDD_OpenImages();
  m68k_restart();
  MMU_ClearRAM();
}

// After every item of the menu, even one without an action.
void disks_after(u32) {
  DISKIMG_SetWriteProtect(PREFS_WriteProtect);
  MENU_UpdateDiskItems();
}

// ---- Submenus ----

void frame_skip(u32 item) {
  for (u32 i = 1; i <= 6; ++i) MENU_CheckItem(MENU_FrameSkipId, i, false);
  PREFS_AutoFrameSkip = 0;
  if (item >= 1 && item <= 5) PREFS_FrameSkip = item;
  if (item == 6) PREFS_AutoFrameSkip = 1;
  MENU_CheckItem(MENU_FrameSkipId, PREFS_AutoFrameSkip ? 6 : item, true);
}

void web_page(u32) {
  if (APP_LaunchURL(MENU_WebAddress) != 0) DLG_Alert(10, 1);
}

void mail(u32) {
  if (APP_LaunchURL(MENU_MailAddress) != 0) DLG_Alert(10, 1);
}

void midi_close(u32) { QTMIDI_MenuClose(); }
void midi_open(u32) { QTMIDI_MenuOpen(); }
void midi_notes_off(u32) { QTMIDI_MenuAllNotesOff(); }

void joysticks(u32 item) {
  for (u32 i = 1; i <= 3; ++i) MENU_CheckItem(MENU_JoysticksId, i, false);
  IKBD_JoyLayout = item;
  IKBD_SetJoystickKeys();
  MENU_CheckItem(MENU_JoysticksId, item, true);
}

void save_state_as(u32) {
  NAV_Reply reply;
  if (NAV_PutFile(NAV_PromptSaveState, "Frozen State", reply)) MENU_SaveState(reply.path);
}

// A restored state inserts its own images again: the eject items follow.
// Its ST has its pointer where it was when saved. The automatic state the
// start refused, loaded here (its TOS back, made readable) while still
// under its name, is refused no longer: the quit writes over it as after a
// start that restored it; so is the debugger's "frozen" that `U` refused.
void load_state(u32) {
  NAV_Reply reply;
  NAV_GetFile(reply, NAV_PromptLoadState);
  if (!reply.chosen || !STATE_Read(reply.path.c_str())) return;
  APP_StateLoaded(reply.path.c_str());
  DEBUG_StateLoaded(reply.path.c_str());
  INPUT_StateRestored();
  MENU_UpdateDiskItems();
}

}  // namespace

const MENU_CommandRow MENU_Commands[] = {
    {MENU_AppleId, 1, about},
    {MENU_FileId, 1, load_tos},
    {MENU_FileId, 3, reset},
    {MENU_FileId, 4, cold_reset},
    {MENU_FileId, 5, debugger},
    {MENU_FileId, 7, pause},
    {MENU_FileId, 9, MENU_FileItem9},
    {MENU_FileId, 10, MENU_FileItem10},
    {MENU_FileId, 14, quit},
    {MENU_EditId, 4, MENU_EditItem4},
    {MENU_EditId, 8, MENU_EditItem8},
    {MENU_OptionsId, 3, monitor},
    {MENU_OptionsId, 4, double_size},
    {MENU_OptionsId, 6, full_screen},
    {MENU_OptionsId, 7, speed_counters},
    {MENU_OptionsId, 8, buffered_drawing},
    {MENU_OptionsId, 11, mouse_driver},
    {MENU_OptionsId, 13, sound},
    {MENU_OptionsId, 15, pacing},
    {MENU_OptionsId, 17, settings},
    {MENU_DisksId, 1, insert_disk},
    {MENU_DisksId, 2, insert_disk},
    {MENU_DisksId, 4, write_protect},
    {MENU_DisksId, 6, empty_hard_disk},
    {MENU_DisksId, 7, hard_disk},
    {MENU_DisksId, 0, disks_after},
    {MENU_FrameSkipId, 0, frame_skip},
    {MENU_LinksId, 1, web_page},
    {MENU_LinksId, 2, mail},
    {MENU_MidiId, 1, midi_close},
    {MENU_MidiId, 2, midi_open},
    {MENU_MidiId, 8, midi_notes_off},
    {MENU_JoysticksId, 0, joysticks},
    {MENU_StatesId, 1, save_state_as},
    {MENU_StatesId, 2, load_state},
};
const size_t MENU_CommandCount = std::size(MENU_Commands);

void MENU_Command(i32 choice) {
  APP_ShowCursor();
  if (SOUND_Active) SOUND_Pause(1);
  const u32 menu = u32(choice) >> 16, item = u32(choice) & 0xffff;
  if (menu != 0) {
    // An item's own row first, then the row for every item of its menu.
    for (const MENU_CommandRow& row : MENU_Commands)
      if (row.menu == menu && row.item == item) row.run(item);
    for (const MENU_CommandRow& row : MENU_Commands)
      if (row.menu == menu && row.item == 0) row.run(item);
    MENU_UpdateChecks();
    PRINTER_Retry();  // the user may have mended what the printer file lacked
  }
  SCREEN_RedrawRequest = 1;
  SCREEN_DrawStatusLine();
  // A command chosen while paused leaves the sound paused with the machine
  // (the pause loop resumes it when the pause ends).
  if (SOUND_Active && !EVENTS_Paused) SOUND_Pause(0);
}

void MENU_InsertDisk() {
  const u32 d = MENU_DiskDrive == 2 ? 1 : 0;
  const char letter = d ? 'B' : 'A';
  if (DISKIMG_InsertedMask & (1u << d)) {
    DISKIMG_Eject(letter);
    return;
  }
  // A dropped disk waiting for the drive: ejected before it went in.
  if (INPUT_CancelPendingDisk(letter)) return;
  NAV_Reply reply;
  NAV_GetFile(reply, NAV_PromptDisk);
  if (reply.chosen) INPUT_PutDisk(letter, reply.path);
}

u32 MENU_InsertImage(char drive, const std::string& path) {
  if (!DISKIMG_Insert(path.c_str(), drive)) return 0;
  // The user's own file that we may only read: the ST's writes would fail
  // without a word of why.
  const u32 d = drive == 'B' || drive == 'b' ? 1 : 0;
  if (DISKIMG_WhyProtected[d] == DISKIMG_Protection::ReadOnlyFile) DISKIMG_TellProtected(d, path);
  MENU_SetDiskName(drive, file_name(path));
  MENU_UpdateDiskItems();
  return 1;
}

bool MENU_SaveState(const std::string& path, bool tell) {
  std::string why;
  // Told before the save: one where a refused link leads nowhere, or to
  // the user's own state saved there so, replaces nothing refused, and that
  // link, held alone, is set aside rather than written over through.
  const bool auto_open = APP_RefusedLinkOpen();
  const bool frozen_open = DEBUG_RefusedLinkOpen();
  if (STATE_Write(path.c_str(), &why)) {
    if (auto_open) APP_RefusedLinkSaved(path.c_str());
    if (frozen_open) DEBUG_RefusedLinkSaved(path.c_str());
    APP_StateSaved(path.c_str());
    return true;
  }
  if (tell) {
    DLG_SetAlertText((path + ": " + why).c_str());
    DLG_Alert(14, 1);
  }
  return false;
}
