// Alerts and file dialogs as the machine sees them: the questions the chips
// ask the user and the open-file dialog of the start-up.
#pragma once

#include <string>

#include "common/types.h"

// The answers the windowless alerts give.
struct DLG_Answers {
  u32 confirmBootWrite;  // 1 go ahead, 0 refuse
  u32 askForTos;         // 0 cancel, non-zero choose a file
  u32 confirmFormat;     // 1 format an existing image file, 0 cancel
  u32 confirmQuit;       // 1 quit, 0 go on
  u32 quitUnsaved;       // 1 quit without what can't be saved, 0 go on
};
extern DLG_Answers DLG_FixedAnswers;

struct NAV_Reply {
  u8 chosen;
  u8 replacing;  // save dialog: the chosen file exists and will be replaced
  std::string path;
};

u32 DLG_Alert(u32 index, u32 stopFlag);
// The caution alert of a disk image that went in write-protected although
// the ST could have written it (its text names the drive, the image and
// why).
constexpr u32 DLG_ProtectedDiskAlert = 20;
// The stop alert of an empty hard-disk image not made because the machine
// holds its name (its text names the file and who holds it).
constexpr u32 DLG_HeldImageAlert = 21;
// The stop alert of an empty hard-disk image not made because something other
// than a plain file lies under its name (its text names the file and what).
constexpr u32 DLG_NotAFileImageAlert = 22;
u32 DLG_ConfirmBootWrite();
// Asked before an existing file is formatted as a new hard-disk image, with
// OK and Cancel: 1 to go ahead, 0 to leave the file alone.
u32 DLG_ConfirmFormat(const char* text);
// Asked at start-up when tos.img can't be used, `why` its name and what is
// wrong with it: 1 to choose another image, 0 to quit.
u32 DLG_AskForTos(const std::string& why);
// Asked before the program quits, with OK and Cancel: 1 to quit.
u32 DLG_ConfirmQuit();
void NAV_GetFile(NAV_Reply& reply, u32 kind);
// The text of the next alert (DLG_Alert or DLG_ShowAlert), which shows it
// and forgets it.
void DLG_SetAlertText(const char* text);
void DLG_ShowAlert(i32 id);
// The text DLG_SetAlertText set last, shown or not.
const std::string& DLG_LastAlertText();
