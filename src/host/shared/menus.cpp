// The menus as written for this program, their items' states and the
// shortcut table.
#include "host/shared/menus.h"

#include <filesystem>
#include <span>

#include "host/midi.h"
#include "host/options.h"
#include "host/shared/input.h"
#include "host/shared/screen_window.h"
#include "machine/diskimg.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/shifter.h"

std::vector<MENU_Menu> MENU_Menus;
u32 MENU_Generation;
u32 MENU_BarHidden;
std::string MENU_DiskNameA = "disk1.st", MENU_DiskNameB = "disk2.st";
u32 MENU_AltMidiAvailable;

namespace {

// ---- The menus' tables ----

struct ItemText {
  const char* text;  // "-" a separator, "" a slot not shown
  char key = 0;
  u16 submenu = 0;
  bool enabled = true;
};

constexpr ItemText apple_items[] = {
    {"About Vantorell..."},
    {"-"},
    {"Vantorell on the Web", 0, MENU_LinksId},
};
// Items 13 and 14 are taken out when the bar is built (the settings are in
// the options menu), which leaves Quit as item 14. Items 10 to 12 are kept
// free, so the numbers stay those of the commands.
constexpr ItemText file_items[] = {
    {"Load TOS Image..."},
    {"-"},
    {"Reset", 'R'},
    {"Cold Reset"},
    {"Debugger", 'D', 0, false},
    {"-"},
    {"Pause", 'P'},
    {"-"},
    {"Saved State", 0, MENU_StatesId},
    {""},
    {""},
    {""},
    {"-"},
    {"Settings..."},
    {"-"},
    {"Quit", 'Q'},
};
// The ST has no clipboard of the host's to share.
constexpr ItemText edit_items[] = {
    {"Undo", 0, 0, false},  {"-"},   {"Cut", 0, 0, false},  {"Copy", 0, 0, false},
    {"Paste", 0, 0, false}, {"Clear", 0, 0, false}, {"-"}, {"Select All", 0, 0, false},
};
constexpr ItemText options_items[] = {
    {"Frame Skip", 0, MENU_FrameSkipId},
    {"-"},
    {"Switch to Monochrome", 'M'},
    {"Double Size"},
    {"-"},
    {"Full Screen", 'F'},
    {"Speed Counters"},
    {"Buffered Drawing"},
    {"-"},
    {"Status Line", 0, 0, false},
    {"Enable ST mouse driver"},
    {"Joysticks", 0, MENU_JoysticksId},
    {"Sound"},
    {"MIDI", 0, MENU_MidiId},
    {"Run at 50 Hz", 'T'},
    {"-"},
    {"Settings...", ','},
};
constexpr ItemText disks_items[] = {
    {"Insert Disk in Drive A:", '1'},
    {"Insert Disk in Drive B:", '2'},
    {"-"},
    {"Write Protect Disks", 'W'},
    {"Read MSA Images"},
    {"Create Empty Hard Disk Image..."},
    {"Switch Hard Disk On or Off..."},
    {"Hard Disk On"},
};
constexpr ItemText frame_skip_items[] = {
    {"Every Frame"},     {"Every 2nd Frame"}, {"Every 3rd Frame"},
    {"Every 4th Frame"}, {"Every 5th Frame"}, {"Automatic"},
};
constexpr ItemText links_items[] = {
    {"Vantorell Web Page..."},
    {"Write to the Authors..."},
};
constexpr ItemText midi_items[] = {
    {"MIDI Output Off"},  {"General MIDI Synthesizer"}, {"Other MIDI Driver"}, {"-"},
    {"Driver Settings..."}, {"Driver Test"},           {"-"},                 {"All Notes Off"},
};
constexpr ItemText joystick_items[] = {
    {"Keys Y G H J + Option, O K L ; + Q"},
    {"Keys O K L ; + Option, Keypad 8 4 2 6 + 0"},
    {"Keys O K L ; + Option, Arrows + Control"},
};
constexpr ItemText states_items[] = {
    {"Save State...", 'S'},
    {"Restore State...", 'O'},
};

struct MenuText {
  u16 id;
  const char* title;
  std::span<const ItemText> items;
};
// The bar's menus in their order, then the submenus.
const MenuText menu_texts[] = {
    {MENU_AppleId, "Vantorell", apple_items},
    {MENU_FileId, "File", file_items},
    {MENU_EditId, "Edit", edit_items},
    {MENU_OptionsId, "Options", options_items},
    {MENU_DisksId, "Disks", disks_items},
    {MENU_FrameSkipId, "Frame Skip", frame_skip_items},
    {MENU_LinksId, "Vantorell on the Web", links_items},
    {MENU_MidiId, "MIDI", midi_items},
    {MENU_JoysticksId, "Joysticks", joystick_items},
    {MENU_StatesId, "Saved State", states_items},
};

void changed() { ++MENU_Generation; }

void set_enabled(u32 menu, u32 item, bool enabled) {
  if (MENU_Item* i = MENU_ItemAt(menu, item); i && i->enabled != enabled) {
    i->enabled = enabled;
    changed();
  }
}

std::string eject_text(char drive, const std::string& name) {
  return std::string("Eject ") + drive + ": " + MENU_ShownName(name);
}

std::string* shown_name(u32 d) { return d ? &MENU_DiskNameB : &MENU_DiskNameA; }
// What each drive's name was last set for: the image and the name then.
struct Named {
  std::string image, name;
};
Named named[2];

}  // namespace

MENU_Menu* MENU_Find(u32 menu) {
  for (MENU_Menu& m : MENU_Menus)
    if (m.id == menu) return &m;
  return nullptr;
}

MENU_Item* MENU_ItemAt(u32 menu, u32 item) {
  MENU_Menu* m = MENU_Find(menu);
  if (!m || item < 1 || item > m->items.size()) return nullptr;
  return &m->items[item - 1];
}

void MENU_SetItemText(u32 menu, u32 item, const std::string& text) {
  if (MENU_Item* i = MENU_ItemAt(menu, item); i && i->text != text) {
    i->text = text;
    changed();
  }
}

void MENU_CheckItem(u32 menu, u32 item, bool checked) {
  if (MENU_Item* i = MENU_ItemAt(menu, item); i && i->checked != checked) {
    i->checked = checked;
    changed();
  }
}

void MENU_SetItemEnabled(u32 menu, u32 item, u32 enabled) { set_enabled(menu, item, enabled != 0); }

void MENU_DeleteItem(u32 menu, u32 item) {
  MENU_Menu* m = MENU_Find(menu);
  if (!m || item < 1 || item > m->items.size()) return;
  m->items.erase(m->items.begin() + (item - 1));
  changed();
}

std::string MENU_ShownName(const std::string& name) {
  if (name.size() <= MENU_DiskNameShown) return name;
  size_t cut = MENU_DiskNameShown - 3;
  // Not inside a character of several bytes.
  while (cut > 0 && (u8(name[cut]) & 0xc0) == 0x80) --cut;
  return name.substr(0, cut) + "...";
}

void MENU_Build() {
  MENU_Menus.clear();
  for (const MenuText& t : menu_texts) {
    MENU_Menu m{t.id, t.title, {}};
    for (const ItemText& i : t.items) m.items.push_back({i.text, i.submenu, i.key, i.enabled, false});
    MENU_Menus.push_back(std::move(m));
  }
  MENU_BarHidden = 0;
  if (PREFS_AutoFrameSkip == 1)
    MENU_CheckItem(MENU_FrameSkipId, 6, true);
  else if (PREFS_FrameSkip >= 1 && PREFS_FrameSkip <= 5)
    MENU_CheckItem(MENU_FrameSkipId, PREFS_FrameSkip, true);
  MENU_CheckItem(MENU_JoysticksId, IKBD_JoyLayout, true);
  MENU_DeleteItem(MENU_FileId, 14);
  MENU_DeleteItem(MENU_FileId, 13);
  MENU_SetItemText(MENU_OptionsId, 11, "Enable ST mouse driver");
  MENU_CheckItem(MENU_OptionsId, 11, MENU_STMouseDriver == 1);
  set_enabled(MENU_DisksId, 5, false);
  set_enabled(MENU_FileId, 5, true);
  MENU_UpdateDiskItems();
  MENU_UpdateChecks();
}

void MENU_SetDiskName(char drive, const std::string& name) {
  const u32 d = drive == 'B' ? 1 : 0;
  *shown_name(d) = name;
  // A name set for a disk that waits for the drive belongs to no image the
  // drive holds: whatever goes in there (a restored state's own disk) shows
  // its own.
  named[d] = {(DISKIMG_InsertedMask & (1u << d)) ? DISKIMG_NameOf(d) : std::string(), name};
}

void MENU_UpdateDiskItems() {
  for (u32 d = 0; d < 2; ++d) {
    const std::string image = DISKIMG_NameOf(d);
    if ((DISKIMG_InsertedMask & (1u << d)) && (image != named[d].image || *shown_name(d) != named[d].name))
      MENU_SetDiskName(d ? 'B' : 'A', std::filesystem::path(image).filename().string());
  }
  // A dropped disk waiting for its drive shows as in it.
  const u32 held = DISKIMG_InsertedMask | INPUT_PendingDisks();
  MENU_SetItemText(MENU_DisksId, 1, (held & 1) ? eject_text('A', MENU_DiskNameA) : "Insert Disk in Drive A:");
  MENU_SetItemText(MENU_DisksId, 2, (held & 2) ? eject_text('B', MENU_DiskNameB) : "Insert Disk in Drive B:");
}

void MENU_UpdateChecks() {
  if (MENU_Menus.empty()) return;  // not built yet
  MENU_CheckItem(MENU_OptionsId, 7, PREFS_SpeedCounters != 0);
  MENU_CheckItem(MENU_OptionsId, 10, SCREEN_FullScreen != 1);
  MENU_SetItemText(MENU_OptionsId, 3, SHIFTER_Mode <= 1 ? "Switch to Monochrome" : "Switch to Color");
  MENU_CheckItem(MENU_OptionsId, 4, PREFS_DoubleSize != 0);
  MENU_CheckItem(MENU_DisksId, 4, PREFS_WriteProtect != 0);
  MENU_CheckItem(MENU_DisksId, 8, PREFS_HardDiskOn != 0);
  MENU_CheckItem(MENU_DisksId, 5, true);
  MENU_CheckItem(MENU_OptionsId, 13, PREFS_SoundOn != 0);
  MENU_CheckItem(MENU_OptionsId, 15, PREFS_Unthrottled == 0);
  MENU_CheckItem(MENU_OptionsId, 8, PREFS_BufferedDrawing != 0);
  // The MIDI items follow the output's state (closing it again while it is
  // closed puts the empty operations back).
  const QTMIDI_MenuItems midi = QTMIDI_UpdateMenuItems();
  for (u32 i : {1u, 2u, 3u, 5u, 6u}) {  // item 4 is a separator
    MENU_CheckItem(MENU_MidiId, i, midi.item[i].checked);
    set_enabled(MENU_MidiId, i, midi.item[i].enabled);
  }
  set_enabled(MENU_MidiId, 3, MENU_AltMidiAvailable != 0);
  // The hard disk needs a later TOS, as the hard-disk port does.
  set_enabled(MENU_DisksId, 8, MMU_IsLaterTos());
}

void MENU_HideMenuBar() {
  if (MENU_BarHidden) return;
  MENU_BarHidden = 1;
  changed();
}

void MENU_ShowMenuBar() {
  if (!MENU_BarHidden) return;
  MENU_BarHidden = 0;
  changed();
}

void MENU_EnablePauseItems(bool enabled) {
  MENU_SetItemEnabled(MENU_OptionsId, 3, enabled);
  // Double size stays off in full screen.
  MENU_SetItemEnabled(MENU_OptionsId, 4, enabled && !SCREEN_FullScreen);
  MENU_SetItemEnabled(MENU_OptionsId, 6, enabled);
  MENU_SetItemEnabled(MENU_DisksId, 1, enabled);
  MENU_SetItemEnabled(MENU_DisksId, 2, enabled);
}

i32 MENU_Key(u8 character) {
  if (character >= 'a' && character <= 'z') character = u8(character - 'a' + 'A');
  if (character == 0) return 0;
  for (const MENU_Menu& m : MENU_Menus)
    for (size_t i = 0; i < m.items.size(); ++i)
      if (u8(m.items[i].key) == character && m.items[i].enabled) return MENU_Choice(m.id, u32(i + 1));
  return 0;
}

void MENU_HandleShortcut(u8 character) { MENU_Command(MENU_Key(character)); }
