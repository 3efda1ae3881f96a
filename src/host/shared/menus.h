// The menu bar and its menus, the same in every host: the menus as written
// for this program (ids, titles, items, submenus and shortcut keys, as
// tables), the items' current texts, check marks and enabled states, which
// follow the options and the machine, the shortcut table, and the commands
// the items give (MENU_Command). The windowed host draws the bar and lets
// the user choose from it; the windowless one keeps it for the tests.
//
// A menu choice is the menu id in the high 16 bits and the item number
// (from 1) in the low 16 bits; 0 is no choice.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"
#include "host/menu.h"

enum : u16 {
  MENU_AppleId = 128,      // about box, the links submenu
  MENU_FileId = 129,       // TOS, reset, debugger, pause, saved states, quit
  MENU_EditId = 130,       // the usual editing items, never enabled
  MENU_OptionsId = 131,    // display, input, sound, pacing, settings
  MENU_DisksId = 132,      // floppy drives and hard disk
  MENU_FrameSkipId = 133,  // submenus from here on
  MENU_LinksId = 134,
  MENU_MidiId = 135,
  MENU_JoysticksId = 137,
  MENU_StatesId = 138,
};

constexpr i32 MENU_Choice(u32 menu, u32 item) { return i32(menu << 16 | item); }

struct MENU_Item {
  std::string text;  // "-" a separator; empty: a slot that is not shown
  u16 submenu;       // the menu it opens, 0 none
  char key;          // shortcut character (upper case), 0 none
  bool enabled;
  bool checked;
};

struct MENU_Menu {
  u16 id;
  std::string title;
  std::vector<MENU_Item> items;  // item n at index n - 1
};

// Every menu once MENU_Build has run, the bar's first (MENU_BarCount of
// them, in their order on the bar), then the submenus.
extern std::vector<MENU_Menu> MENU_Menus;
constexpr u32 MENU_BarCount = 5;
// Counts every change of a text, mark, state or the bar's visibility, so a
// host can tell when to draw the bar again.
extern u32 MENU_Generation;

MENU_Menu* MENU_Find(u32 menu);
// Null when the menu or the item does not exist.
MENU_Item* MENU_ItemAt(u32 menu, u32 item);
void MENU_SetItemText(u32 menu, u32 item, const std::string& text);
void MENU_CheckItem(u32 menu, u32 item, bool checked);
void MENU_DeleteItem(u32 menu, u32 item);

// ---- The bar and its states ------------------------------------------------

// 1 while the bar is hidden (full screen).
extern u32 MENU_BarHidden;
// The names shown in the eject items, "disk1.st" and "disk2.st" until an
// image is inserted from the menu or a document is opened. Kept whole: the
// items show a shortened form of long names.
extern std::string MENU_DiskNameA, MENU_DiskNameB;
// Always 0: there is no other MIDI output driver (item 3 of the MIDI menu).
extern u32 MENU_AltMidiAvailable;
// The "Enable ST mouse driver" option; not kept in the preferences (it
// lives with the pointer's poll, shared/input.cpp).
extern u32 MENU_STMouseDriver;
// Longest disk name the eject items show whole.
constexpr size_t MENU_DiskNameShown = 40;

// Builds every menu from its table and sets the first marks and states.
void MENU_Build();
// The drive items' texts: insert while the drive is empty, else eject with
// the image's name. A drive that holds another image than its name was set
// for (a saved state restored at start-up, from the menu or the debugger
// puts in its own) takes that image's file name.
void MENU_UpdateDiskItems();
// The name drive 'A' or 'B' shows for the image just inserted.
void MENU_SetDiskName(char drive, const std::string& name);
void MENU_HideMenuBar();
void MENU_ShowMenuBar();
// `name` as an item shows it: at most MENU_DiskNameShown bytes, cut on a
// character boundary and ended with "...".
std::string MENU_ShownName(const std::string& name);

// The choice of the item whose shortcut is `character` (either case), 0 when
// none has it: what a key pressed with the Command key chooses.
i32 MENU_Key(u8 character);
// A key pressed with the Command key: its item's command, if it has one.
void MENU_HandleShortcut(u8 character);

// ---- Commands --------------------------------------------------------------

// The drive the insert/eject command acts on: 1 (A) or 2 (B).
extern u32 MENU_DiskDrive;

// Carries out a menu choice, with the cursor shown and sound paused around
// it; the marks and states follow, the window is drawn again.
void MENU_Command(i32 choice);
// Ejects the image in MENU_DiskDrive, or asks for one and inserts it.
void MENU_InsertDisk();
// Inserts the image at `path` (a gzip-compressed one unpacked, and then
// write-protected) into drive 'A' or 'B', which must be empty; its name goes
// to the eject item. 1 when it went in (else an alert said why).
u32 MENU_InsertImage(char drive, const std::string& path);
// Writes the machine's state to `path`, whole or not at all; a failure is
// said on standard error and, with `tell`, in an alert. True when written.
bool MENU_SaveState(const std::string& path, bool tell = true);
// The commands of items that do nothing (File 9 and 10, Edit 4 and 8).
void MENU_FileItem9(u32 item);
void MENU_FileItem10(u32 item);
void MENU_EditItem4(u32 item);
void MENU_EditItem8(u32 item);
// The items the pause loop turns off while it runs (display mode, double
// size, full screen, the two drives) and on again after it.
void MENU_EnablePauseItems(bool enabled);

// One row of the command table: item 0 stands for every item of the menu.
struct MENU_CommandRow {
  u16 menu;
  u16 item;
  void (*run)(u32 item);
};
extern const MENU_CommandRow MENU_Commands[];
extern const size_t MENU_CommandCount;

// The web page and the mail address of the links menu.
extern const char* const MENU_WebAddress;
extern const char* const MENU_MailAddress;
