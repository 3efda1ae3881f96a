// The emulator's conversations with its user, the same in every host: the
// numbered alerts and their texts, the confirmations, the about box, the
// settings dialog with the option each of its boxes sets, the file dialogs
// with their prompts and kinds of file, the opening of addresses, the beep,
// and the cursor's visibility.
//
// Each conversation first looks for an answer given in advance (a script:
// tests, or any caller that must not wait for a user); only when none is
// queued does the host show it, its own way (the presenters at the end,
// which each host defines), and where there is no user to ask it is
// answered at once. Every conversation is noted in DLG_Log.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"
#include "host/dialogs.h"

// ---- Alerts ----------------------------------------------------------------

// What an alert shows.
struct DLG_AlertView {
  u32 number;               // its number (130 for the message alert)
  const char* message;      // the headline
  const char* explanation;  // the line below it (may be empty)
  std::string detail;       // the text set with DLG_SetAlertText (may be empty)
  bool stop;                // a stop alert, else a caution alert
  bool cancel;              // a Cancel button beside OK
  const u32* fixedAnswer;   // the windowless host's answer (null: OK, or Cancel when asked)
  const char* okLabel = nullptr;  // the OK button's own words (null: "OK")
};

// The message and explanation of alert n (1-20), empty for other numbers;
// the quit's (3) says what the quit does with the machine as auto-save is set
// and whether the next start brings it back (not with another RAM size), and
// that of the kept automatic state (17) what loads it again, by why the
// start refused it (APP_AutoStateRefused). 18 says why the start took the
// default settings, 19 what the quit can't save.
struct DLG_AlertText {
  const char* message;
  const char* explanation;
};
DLG_AlertText DLG_AlertTexts(u32 n);

// With OK and Cancel: 1 for OK, 0 for Cancel.
u32 DLG_ConfirmAlert(u32 index, u32 stopFlag);
// Asked when the quit can't save everything, `what` saying what and why (a
// line each), with Quit Anyway and Cancel: 1 to quit all the same.
u32 DLG_ConfirmQuitUnsaved(const std::string& what);
u32 DLG_ConfirmReset();
u32 DLG_ConfirmRestart();

// The message dialog: a beep, then `text` with an OK button; returns 1.
u32 DLG_Message(const char* text);
// A line of text scrolled in at the foot of the picture, above the status
// line, the picture moving up to make room; at most one line each 2 ticks.
void DLG_ScrollText(const char* line);

// ---- The about box and the settings dialog -----------------------------------

void DLG_About();
// The about box's lines, the version line among them.
extern const char* const DLG_AboutLines[];
extern const size_t DLG_AboutLineCount;

// One check box of the settings dialog (items 2-11; item 1 is OK).
struct DLG_SettingsItem {
  u32 item;
  const char* label;
  u32* option;
  bool clickable;  // item 7 only shows its option
};
extern const DLG_SettingsItem DLG_SettingsItems[];
extern const size_t DLG_SettingsItemCount;
constexpr const char* DLG_SettingsTitle = "Settings";

// Runs the settings dialog: every click sets its option at once; after OK a
// change of the big screen restarts the machine in low resolution and one of
// the RAM size says that it takes a restart.
void DLG_Settings();
// A click on item `item`: the box and its option toggle (0 or 1).
void DLG_SettingsClick(u32 item);
// A check box's value toggled: 1 when its low 8 bits are 0, else 0.
void DLG_ToggleCheckbox(u32& value);

// ---- File dialogs -------------------------------------------------------------

// Prompts (their titles), by the number the callers pass.
enum : u32 {
  NAV_PromptTos = 1,
  NAV_PromptSaveState = 2,
  NAV_PromptDisk = 3,
  NAV_PromptLoadState = 4,
};

// What a file dialog asks for.
struct NAV_Request {
  bool save;
  u32 prompt;
  const char* title;
  const char* suggestedName;             // save: the name offered
  const char* filterName;                // open: the kind of file it lists first (null: any)
  std::vector<std::string> extensions;  // that kind's name endings, lower case, with the dot
};
NAV_Request NAV_RequestFor(u32 prompt, bool save);
// The open dialog's filter while it lists every file: it takes every name.
u8 NAV_FilterAll(const std::string& name);
// What the file chooser says of the name `path` (no folder: a folder's name
// opens the folder) when it can't be taken as the file asked for; empty
// when it can. Something there that is no regular file is named for what
// it is, as the insertion's alert names it ("pipe" is a FIFO.); to open,
// a name of nothing is no file of that name, and to save, a name in no
// folder is no folder of that name.
std::string NAV_Refusal(const std::string& path, bool save);

// The save dialog: a file to write the caller creates or replaces; returns
// reply.chosen.
u8 NAV_PutFile(u32 prompt, const char* defaultName, NAV_Reply& reply);
// Asks for a TOS image until one loads or the user cancels; a loaded one
// restarts the machine.
void NAV_ChooseTos();

// ---- Addresses, beep, cursor ----------------------------------------------------

// Opens a web or mail address: 0, or non-zero when it can't be opened (-674
// when this host can open none, after a beep).
i32 APP_LaunchURL(const char* address);
// A short tone of `ticks` 1/60 s on the host's audio output, mixed over the
// ST's sound; a "(beep)" line on standard error where there is no device.
void APP_Beep(u32 ticks);

extern u32 APP_CursorShown;
u32 APP_ShowCursor();
u32 APP_HideCursor();

// ---- Answers given in advance ---------------------------------------------------

struct DLG_ScriptedAnswer {
  enum Kind : u8 { Button, File, Settings } kind;
  u32 ok = 1;                // Button: 1 OK, 0 Cancel
  std::string path;          // File: the file chosen, empty to cancel
  std::vector<u32> clicks;   // Settings: items clicked before OK
};
void DLG_Script(DLG_ScriptedAnswer answer);
inline void DLG_ScriptButton(bool ok) { DLG_Script({DLG_ScriptedAnswer::Button, ok ? 1u : 0u, {}, {}}); }
inline void DLG_ScriptFile(const std::string& path) { DLG_Script({DLG_ScriptedAnswer::File, 1, path, {}}); }
inline void DLG_ScriptSettings(std::vector<u32> clicks) {
  DLG_Script({DLG_ScriptedAnswer::Settings, 1, {}, std::move(clicks)});
}
size_t DLG_ScriptLeft();
void DLG_ScriptClear();

// One line a conversation: "alert 13 OK", "open 3 PATH" (or "open 3
// cancelled"), "save 2 PATH", "settings", "about", "url ADDRESS".
extern std::vector<std::string> DLG_Log;

// ---- What each host shows -----------------------------------------------------

// Each returns DLG_NotShown when the host has no user to ask (no window, no
// display): the conversation is then reported on standard error and
// answered at once, the alerts with their fixed answers, the file dialogs
// with no file.
constexpr int DLG_NotShown = -1;
// An alert: 1 for OK, 0 for Cancel.
int DLG_HostAlert(const DLG_AlertView& view);
// A file dialog: 1 with `path` set when a file was chosen, 0 when cancelled.
int DLG_HostChooseFile(const NAV_Request& request, std::string& path);
// The settings dialog, calling DLG_SettingsClick for each click, until OK: 1.
int DLG_HostSettings();
int DLG_HostAbout();
// 0 when the address was handed on, -674 when the host can open none,
// -1 when handing it on failed.
i32 APP_HostOpenURL(const char* address);
// Shows the pointer (letting go of it when the window holds it).
void APP_HostShowCursor();
