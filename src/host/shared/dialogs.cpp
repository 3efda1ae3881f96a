// The conversations with the user: texts, the steps around them, and the
// answers given in advance.
#include "host/shared/dialogs.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iterator>

#include "common/files.h"
#include "cpu/exceptions.h"
#include "host/app.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/menus.h"
#include "host/shared/screen_window.h"
#include "host/shared/sound_output.h"
#include "machine/memory.h"
#include "machine/shifter.h"

DLG_Answers DLG_FixedAnswers = {0, 0, 0, 1, 1};
std::vector<std::string> DLG_Log;
u32 APP_CursorShown = 1;

namespace {

std::string alert_text;
std::string last_alert_text;  // kept after the alert has shown it
u32 scroll_tick;              // DLG_ScrollText's last line
std::deque<DLG_ScriptedAnswer> script;

// The first queued answer when it is of `kind`.
bool take_scripted(DLG_ScriptedAnswer::Kind kind, DLG_ScriptedAnswer& out) {
  if (script.empty() || script.front().kind != kind) return false;
  out = std::move(script.front());
  script.pop_front();
  return true;
}

// An alert nobody sees: said on standard error, answered by its fixed
// answer (OK where there is no choice, Cancel where none is set).
u32 unseen(const DLG_AlertView& v) {
  const u32 answer = v.fixedAnswer ? (*v.fixedAnswer != 0) : !v.cancel;
  const char* text = v.detail.empty() ? v.message : v.detail.c_str();
  if (v.number == 130)
    std::fprintf(stderr, "alert 130: %s; answered OK\n", text);
  else
    std::fprintf(stderr, "alert: %s alert, message %u: %s; answered %s\n", v.stop ? "stop" : "caution",
                 v.number, text, answer ? (v.okLabel ? v.okLabel : "OK") : "Cancel");
  return answer;
}

u32 ask(DLG_AlertView view) {
  DLG_ScriptedAnswer a;
  u32 answer;
  if (take_scripted(DLG_ScriptedAnswer::Button, a)) {
    answer = a.ok ? 1 : 0;
  } else {
    const int shown = DLG_HostAlert(view);
    answer = shown == DLG_NotShown ? unseen(view) : u32(shown);
  }
  DLG_Log.push_back("alert " + std::to_string(view.number) + (answer ? " OK" : " Cancel"));
  return answer;
}

// Alert n from its texts, with the text set for it.
u32 numbered(u32 n, bool stop, bool cancel, const u32* fixed = nullptr, const char* okLabel = nullptr) {
  const DLG_AlertText t = DLG_AlertTexts(n);
  DLG_AlertView v{n, t.message, t.explanation, std::move(alert_text), stop, cancel, fixed, okLabel};
  alert_text.clear();
  return ask(std::move(v));
}

u32 confirm(u32 n, const u32* fixed = nullptr) {
  APP_ShowCursor();
  return numbered(n, true, true, fixed);
}

}  // namespace

// ---- Alerts ----

namespace {

// Message and explanation of each alert, by number (9 has none).
const DLG_AlertText alert_texts[] = {
    {"", ""},
    {"Reset the ST?", "Whatever the ST is doing now is lost."},
    {"Restart the ST?", "The ST starts again with its memory cleared: whatever it is doing now is lost."},
    {"Quit Vantorell?",
     "With \"Auto-save the machine on quit\" on, the ST is saved and comes back at the next start."},
    {"There is no usable TOS image.",
     "Vantorell needs the ST's operating system: choose a TOS image, or Cancel to quit."},
    {"Write the boot sector of this disk?",
     "A program is about to change sector 0 of the disk image, which can make the disk unusable."},
    {"The hard disk driver is not loaded.",
     "Put the driver's image in the application's folder as \"cart.img\" and start again."},
    {"The disk image can't be inserted.", ""},
    {"Format the existing hard disk image?", "Everything on it is lost."},
    {"", ""},
    {"The address can't be opened.", "No web browser or mail program took it."},
    {"An empty hard disk image was created.",
     "Rename \"HDD (Empty).dmg\" to \"HDD-C.dmg\" (or \"HDD-D.dmg\") and start again to use it. An ST "
     "that comes back from its automatic state at that start sees the new disk after File > Reset."},
    {"The empty hard disk image could not be created.",
     "The application's folder must be writable and have 20 MB free."},
    {"The hard disk needs TOS 1.62 or later, or EmuTOS.", ""},
    {"The state of the machine could not be saved.", "Save it under another name, or in another folder."},
    {"The file can't be used as the TOS image.", "The ST goes on as it was."},
    {"The cartridge image can't be read.", "The ST starts without a cartridge."},
    {"The automatic state that could not be restored is kept under another name.",
     "It can be loaded again with File > Saved State once the TOS it needs is in place."},
    {"The settings are the defaults.",
     "The preferences file can't be read. It is kept as it was: nothing is written over it in this session, "
     "and once it can be read the next start takes its settings again."},
    {"Not everything can be saved for the next start.",
     "Quit Anyway quits without it. Cancel goes back to the ST, which runs on as before, so that the cause "
     "can be mended first."},
    {"The disk went in write-protected.", "The ST can't write on it: its writes end with \"write-protected\"."},
    {"The empty hard disk image could not be created.",
     "The machine holds its name (for a disk, or the printer's output), so nothing under it is changed. Once it "
     "no longer does (the disk out of its drive, the hard disk off, or the file renamed), choose the item again."},
    {"The empty hard disk image could not be created.",
     "What lies under its name is no plain file, and it is left as it is. Once it is renamed or removed, choose "
     "the item again."},
    {"What replaced the automatic state that could not be restored is kept under another name.", ""},
};

// The quit's explanation while the machine is not saved on quit, and while
// the next start will have another RAM size, which refuses the state.
constexpr const char* quit_unsaved = "With \"Auto-save the machine on quit\" off, whatever the ST is doing now is lost.";
constexpr const char* quit_other_ram =
    "With \"Auto-save the machine on quit\" on, the ST is saved, but it does not come back at the next start: "
    "\"14 MB of ST RAM (after a restart)\" gives that start another RAM size. The state is kept; File > Saved "
    "State loads it at a start with the RAM size it was saved with.";

// What loads the automatic state set aside again, by why the start refused
// it (its TOS unless known otherwise).
const char* kept_state_explanation(u32 refusal) {
  switch (refusal) {
    case STATE_RefusedRam:
      return "It was saved with another ST RAM size: File > Saved State loads it at a start with that size "
             "(\"14 MB of ST RAM (after a restart)\" in the settings).";
    case STATE_RefusedHddDriver:
      return "It was saved with the hard disk driver loaded: File > Saved State loads it at a start with the "
             "driver as \"cart.img\".";
    case STATE_RefusedCartridge:
      return "It was saved with another cartridge: File > Saved State loads it at a start with that cartridge "
             "as \"cart.img\".";
    case STATE_RefusedFile: return "It is damaged, or no saved state of this machine: it is kept as it was.";
    case STATE_RefusedNotAFile: return "It is no file, so no saved state: it is kept as it was.";
    case STATE_RefusedEarlierHardDisk:
      return "It was saved by an earlier version, which can't show that the hard disk is unchanged: File > Saved "
             "State loads it at a start without a hard disk in use (the hard disk off, or no HDD-C.dmg).";
    case STATE_RefusedUnreadable:
      return "It could not be read at the start (its permissions, or the disk), so it may well be whole: it is "
             "kept as it was, and File > Saved State loads it once it can be read.";
    case STATE_RefusedHardDisk:
      return "Its hard disk changed since it was saved (or is gone): its ST would write over what is on the disk "
             "now. File > Saved State loads it again only with the hard disk as it was then.";
    case STATE_RestoresNow:
      return "It is a saved state this machine restores now: File > Saved State loads it.";
    default: return alert_texts[17].explanation;
  }
}

}  // namespace

DLG_AlertText DLG_AlertTexts(u32 n) {
  if (n == 3 && !PREFS_AutoSaveOnQuit) return {alert_texts[3].message, quit_unsaved};
  if (n == 3 && MMU_StartRamSize() != MMU_RamSize) return {alert_texts[3].message, quit_other_ram};
  if (n == 17 || n == 23) return {alert_texts[n].message, kept_state_explanation(APP_AutoStateRefused)};
  return n < std::size(alert_texts) ? alert_texts[n] : alert_texts[0];
}

u32 DLG_Alert(u32 index, u32 stopFlag) {
  numbered(index, stopFlag != 0, false);
  return 1;
}

u32 DLG_ConfirmAlert(u32 index, u32 stopFlag) { return numbered(index, stopFlag != 0, true); }

u32 DLG_ConfirmReset() { return confirm(1); }
u32 DLG_ConfirmRestart() { return confirm(2); }
u32 DLG_ConfirmQuit() { return confirm(3, &DLG_FixedAnswers.confirmQuit); }
u32 DLG_ConfirmQuitUnsaved(const std::string& what) {
  APP_ShowCursor();
  DLG_SetAlertText(what.c_str());
  return numbered(19, true, true, &DLG_FixedAnswers.quitUnsaved, "Quit Anyway");
}
u32 DLG_ConfirmBootWrite() { return confirm(5, &DLG_FixedAnswers.confirmBootWrite); }

u32 DLG_AskForTos(const std::string& why) {
  alert_text = why;
  return confirm(4, &DLG_FixedAnswers.askForTos);
}

u32 DLG_ConfirmFormat(const char* text) {
  alert_text = text;
  return numbered(8, false, true, &DLG_FixedAnswers.confirmFormat);
}

void DLG_SetAlertText(const char* text) { last_alert_text = alert_text = text ? text : ""; }

const std::string& DLG_LastAlertText() { return last_alert_text; }

void DLG_ShowAlert(i32 id) {
  APP_ShowCursor();
  DLG_AlertView v{u32(id), "", "", std::move(alert_text), true, false, nullptr};
  alert_text.clear();
  ask(std::move(v));
}

// ---- Message dialog and scrolling text ----

u32 DLG_Message(const char* text) {
  APP_Beep(20);
  APP_ShowCursor();
  ask({135, text ? text : "", "", {}, false, false, nullptr});
  return 1;
}

void DLG_ScrollText(const char* line) {
  while (HOST_TickCount() - scroll_tick <= 2) HOST_Sleep(1000);
  scroll_tick = HOST_TickCount();
  SCREEN_Surface& pic = SCREEN_WindowPicture;
  const u32 bottom = SCREEN_Height < pic.height ? SCREEN_Height : pic.height, step = 11;
  if (!pic.pixels || bottom <= step) return;
  // The picture above the status line moves up 11 rows; the line goes in
  // the cleared rows at its foot, 2 rows above its bottom.
  for (u32 y = 0; y + step < bottom; ++y) std::memcpy(pic.row<u8>(y), pic.row<u8>(y + step), pic.pitch);
  SCREEN_FillRect({i32(bottom - step), 0, i32(bottom), i32(pic.width)}, SCREEN_Color2Index(0xffff, 0xffff, 0xffff));
  SCREEN_DrawText(4, i32(bottom) - 2, line ? line : "", SCREEN_Color2Index(0, 0, 0));
  SCREEN_WindowChanged = 1;
  SCREEN_ShowWindow();
}

// ---- About box and settings ----

const char* const DLG_AboutLines[] = {
    "Vantorell",
    "An Atari ST emulator",
    "Ver 1.42 (601) 1/6/2004",
    "Written by the Vantorell developers.",
};
const size_t DLG_AboutLineCount = std::size(DLG_AboutLines);

void DLG_About() {
  APP_ShowCursor();
  DLG_Log.push_back("about");
  DLG_ScriptedAnswer a;
  if (!take_scripted(DLG_ScriptedAnswer::Button, a) && DLG_HostAbout() == DLG_NotShown)
    std::fputs("dialog: about Vantorell; closed\n", stderr);
  SCREEN_UpdateWindowOrigin();
}

const DLG_SettingsItem DLG_SettingsItems[] = {
    {2, "Auto-save the machine on quit", &PREFS_AutoSaveOnQuit, true},
    {3, "Printer ready (output to \"Printer Output\")", &PREFS_PrinterOn, true},
    {4, "Simple video address counter", &PREFS_SimpleVideoCounter, true},
    {5, "Blitter", &PREFS_BlitterEnabled, true},
    {6, "Pause while in the background", &PREFS_PauseInBackground, true},
    {7, "ST mouse driver (in the Options menu)", &MENU_STMouseDriver, false},
    {8, "Delayed floppy interrupt", &PREFS_FdcDelay, true},
    {9, "Bus errors on unused I/O addresses", &MMU_BusErrorsEnabled, true},
    {10, "Big screen (640 x 400 in 16 colours)", &PREFS_BigScreen, true},
    {11, "14 MB of ST RAM (after a restart)", &PREFS_Ram14MB, true},
};
const size_t DLG_SettingsItemCount = std::size(DLG_SettingsItems);

void DLG_SettingsClick(u32 item) {
  for (const DLG_SettingsItem& s : DLG_SettingsItems)
    if (s.item == item && s.clickable) DLG_ToggleCheckbox(*s.option);
}

void DLG_ToggleCheckbox(u32& value) { value = (value & 0xff) ? 0 : 1; }

void DLG_Settings() {
  APP_ShowCursor();
  DLG_Log.push_back("settings");
  const u32 big = PREFS_BigScreen, ram = PREFS_Ram14MB;
  DLG_ScriptedAnswer a;
  if (take_scripted(DLG_ScriptedAnswer::Settings, a)) {
    for (u32 item : a.clicks) DLG_SettingsClick(item);
  } else if (DLG_HostSettings() == DLG_NotShown) {
    std::fputs("dialog: settings; closed with OK\n", stderr);
  }
  SCREEN_UpdateWindowOrigin();
  if (PREFS_BigScreen != big) {
    SHIFTER_Reset(0);
    m68k_restart();
  }
  if (PREFS_Ram14MB != ram) {
    DLG_SetAlertText("You need to restart Vantorell to activate this option");
    DLG_ShowAlert(130);
  }
}

// ---- File dialogs ----

NAV_Request NAV_RequestFor(u32 prompt, bool save) {
  switch (prompt) {
    case NAV_PromptTos: return {save, prompt, "Choose a TOS image", "", "TOS images", {".img", ".rom", ".tos"}};
    case NAV_PromptSaveState: return {save, prompt, "Save the state of the machine as", "", nullptr, {}};
    case NAV_PromptDisk: return {save, prompt, "Choose a disk image", "", "Disk images", {".st", ".msa", ".gz"}};
    case NAV_PromptLoadState: return {save, prompt, "Choose a saved state", "", nullptr, {}};
    default: return {save, prompt, "Choose a file", "", nullptr, {}};
  }
}

u8 NAV_FilterAll(const std::string&) { return 1; }

std::string NAV_Refusal(const std::string& path, bool save) {
  const std::filesystem::path p(path);
  std::error_code ec;
  if (save && !std::filesystem::is_directory(p.parent_path(), ec)) return "There is no folder of that name.";
  // A FIFO, a device or a folder is no file to read or to write over.
  const std::string what = FILES_NotRegular(path.c_str());
  if (!what.empty()) return '"' + p.filename().string() + "\" " + what + ".";
  if (!save && !std::filesystem::is_regular_file(p, ec)) return "There is no file of that name.";
  return {};
}

namespace {

u8 file_dialog(NAV_Request request, NAV_Reply& reply) {
  APP_ShowCursor();
  reply = {0, 0, {}};
  DLG_ScriptedAnswer a;
  std::string path;
  bool chosen;
  if (take_scripted(DLG_ScriptedAnswer::File, a)) {
    chosen = !(path = a.path).empty();
  } else {
    const int shown = DLG_HostChooseFile(request, path);
    if (shown == DLG_NotShown)
      std::fprintf(stderr, "dialog: %s file (kind %u); no file chosen\n", request.save ? "save" : "open",
                   request.prompt);
    chosen = shown == 1;
  }
  DLG_Log.push_back(std::string(request.save ? "save " : "open ") + std::to_string(request.prompt) + " " +
                    (chosen ? path : "cancelled"));
  if (!chosen) return 0;
  reply.chosen = 1;
  reply.replacing = request.save && FILES_Exists(path.c_str()) ? 1 : 0;
  reply.path = path;
  return 1;
}

}  // namespace

void NAV_GetFile(NAV_Reply& reply, u32 kind) { file_dialog(NAV_RequestFor(kind, false), reply); }

u8 NAV_PutFile(u32 prompt, const char* defaultName, NAV_Reply& reply) {
  NAV_Request r = NAV_RequestFor(prompt, true);
  r.suggestedName = defaultName;
  return file_dialog(std::move(r), reply);
}

void NAV_ChooseTos() {
  for (;;) {
    NAV_Reply reply;
    NAV_GetFile(reply, NAV_PromptTos);
    if (!reply.chosen) break;
    std::string why;
    if (MMU_LoadTOS(reply.path, &why)) {
      MMU_ClearRAM();
      m68k_restart();
      break;
    }
    DLG_SetAlertText((reply.path + " " + why).c_str());
    DLG_Alert(15, 1);
  }
  MMU_DetectTOSVersion();
  SCREEN_DrawStatusLine();
}

// ---- Addresses, beep, cursor ----

i32 APP_LaunchURL(const char* address) {
  DLG_Log.push_back(std::string("url ") + address);
  const i32 r = APP_HostOpenURL(address);
  if (r == -674) APP_Beep(30);
  return r;
}

void APP_Beep(u32 ticks) {
  if (!SOUND_Beep(ticks)) std::fputs("(beep)\n", stderr);
}

// The pointer's poll hides the pointer and holds it while the ST has it
// (shared/input.cpp); showing it lets go of it whatever the flag says.
u32 APP_ShowCursor() {
  APP_HostShowCursor();
  APP_CursorShown = 1;
  return 1;
}

u32 APP_HideCursor() {
  APP_CursorShown = 0;
  return 0;
}

// ---- Answers given in advance ----

void DLG_Script(DLG_ScriptedAnswer answer) { script.push_back(std::move(answer)); }
size_t DLG_ScriptLeft() { return script.size(); }
void DLG_ScriptClear() { script.clear(); }
