// Host input to the ST: key map, what the ST holds, event dispatch, the
// per-frame poll, documents and quit.
#include "host/shared/input.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "common/endian.h"
#include "common/files.h"
#include "cpu/exceptions.h"
#include "host/app.h"
#include "host/debugger/debugger.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/menu.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/dialogs.h"
#include "host/shared/menus.h"
#include "host/shared/prefs_file.h"
#include "host/shared/screen_window.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/holders.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/state.h"

u32 EVENTS_ShiftDown, EVENTS_ControlDown, EVENTS_OptionDown, EVENTS_CommandDown;
u32 EVENTS_CapsPrevious;
u32 EVENTS_RightButtonHeld;
i32 EVENTS_DeltaH, EVENTS_DeltaV, EVENTS_PrevDeltaH, EVENTS_PrevDeltaV;
i32 EVENTS_VdiLastX, EVENTS_VdiLastY, EVENTS_VdiStuckCount;
u32 MENU_STMouseDriver = 1;
void (*EVENTS_MenuKeyHook)(u8 character);

namespace {

u8 host_keys[128];       // host keys down per virtual key code
u8 sent_keys[32];        // makes the ST got and has not had the break of
u8 sent_buttons[4];      // per host button, the ST button its press pressed (0 none)

// A keyboard joystick as last sent: the mode it was sent in (0 mouse buttons
// and cursor keys, 2 packets) and its five switches.
struct Stick {
  bool fire, right, up, down, left;
  bool any() const { return fire || right || up || down || left; }
};
Stick sticks_sent[2];
u32 sticks_mode;

// Whether the last poll measured the free host pointer in the active area:
// only then is EVENTS_LastMouseH/V where it is now measured from. A pointer
// that comes in (from outside the window, the menu bar or the status line,
// into a window that was behind, or let go by a capture whose events gave
// no real position) starts there, without motion.
bool pointer_measured;
// Whether the host pointer has held still since a state was restored: the
// steering then leaves the restored ST's pointer where the state has it
// until the user moves.
bool still_since_restore;

bool bit(const u8* map, u32 code) { return (map[code >> 3] >> (code & 7)) & 1; }
void set_bit(u8* map, u32 code, bool on) {
  if (on)
    map[code >> 3] |= u8(1 << (code & 7));
  else
    map[code >> 3] &= u8(~(1 << (code & 7)));
}

void post_always(u32 code, bool down) {
  if (code >= INPUT_StKey)
    IKBD_QueueByte(u8((code - INPUT_StKey) | (down ? 0 : 0x80)));
  else
    IKBD_PostKeyAlways(code << 8, down ? 1 : 0);
}

// Fire, right, up, down, left of stick s from the host keys.
Stick read_stick(u32 s) {
  auto key = [](u32 slot) { return IKBD_IsMacKeyDown(IKBD_JoyKeys[slot]) != 0; };
  return s == 0 ? Stick{key(0), key(8), key(3), key(5), key(7)}
                : Stick{key(1), key(9), key(2), key(4), key(6)};
}

u8 stick_byte(const Stick& k) {
  return u8(k.fire << 7 | k.right << 3 | k.left << 2 | k.down << 1 | u32(k.up));
}

// Sends what differs between `from` and `to` for stick s in `mode`.
void send_stick(u32 s, const Stick& from, const Stick& to, u32 mode) {
  if (mode == 2) {
    IKBD_QueueByte(u8(0xfe + s));
    IKBD_QueueByte(stick_byte(to));
    return;
  }
  if (from.fire != to.fire) IKBD_MouseButton(s + 1, to.fire);
  if (from.right != to.right) post_always(0x7c, to.right);
  if (from.up != to.up) post_always(0x7e, to.up);
  if (from.down != to.down) post_always(0x7d, to.down);
  if (from.left != to.left) post_always(0x7b, to.left);
}

void release_sticks() {
  for (u32 s = 0; s < 2; ++s) {
    if (sticks_sent[s].any()) send_stick(s, sticks_sent[s], Stick{}, sticks_mode);
    sticks_sent[s] = Stick{};
  }
}

// One modifier's change: its ST key's make (unless makes are dropped), or
// the break of the make sent.
void modifier(u32& state, bool now, u32 stKey, bool makes, bool breaks = true) {
  if (u32(now) == state || (now && (!makes || EVENTS_CapsLock)) || (!now && !breaks)) return;
  state = now;
  if (now)
    INPUT_KeyMake(stKey);
  else
    INPUT_KeyBreak(stKey);
}

// The host's Shift, Control and Option keys as their events came, in order
// with the other keys: the ST's Shift, Control and Alternate follow them.
u8 modifier_keys[16];

bool modifier_key(u32 code) { return bit(modifier_keys, code); }

// Brings the ST's modifiers to the host keys seen so far. Called at each
// modifier event and before each make, so that a Shift held over a
// pause or Caps Lock reaches the ST before the next key.
void sync_modifiers(bool makes, bool breaks = true) {
  modifier(EVENTS_ShiftDown, modifier_key(INPUT_KeyShift) || modifier_key(INPUT_KeyRightShift),
           INPUT_StShift, makes, breaks);
  modifier(EVENTS_ControlDown,
           modifier_key(INPUT_KeyControl) || modifier_key(INPUT_KeyRightControl), INPUT_StControl,
           makes, breaks);
  modifier(EVENTS_OptionDown, modifier_key(INPUT_KeyOption), INPUT_StAlternate, makes, breaks);
}

// A modifier key's event: true when e was one (it is then handled).
bool modifier_event(const INPUT_Event& e, bool makes) {
  if (!INPUT_IsModifierKey(e.code) || (e.kind != INPUT_Event::KeyDown && e.kind != INPUT_Event::KeyUp))
    return false;
  set_bit(modifier_keys, e.code, e.kind == INPUT_Event::KeyDown);
  sync_modifiers(makes);
  return true;
}

void click(u32 button) {
  IKBD_MouseButton(button, 1);
  IKBD_MouseButton(button, 0);
}

void button_down(const INPUT_Event& e) {
  if (!e.inContent || EVENTS_Paused) return;
  sync_modifiers(true, false);  // a Shift held over a pause shifts the click too
  if (e.code == 3) {
    INPUT_ButtonPress(3, 2);
    return;
  }
  if (e.code != 1) return;
  // Option clicks twice at once; Control (or Command with Option) means the
  // right button.
  if (EVENTS_OptionDown) {
    const u32 b = e.command ? 2 : 1;
    click(b);
    click(b);
  } else if (e.control) {
    EVENTS_RightButtonHeld = 1;
    INPUT_ButtonPress(1, 2);
  } else {
    INPUT_ButtonPress(1, 1);
  }
}

// The floppy waiting to go into each drive until the ST has seen the drive
// empty (none: an empty path). The drives keep it, so that whatever asks
// who holds a file knows it.
std::string (&pending)[2] = DISKIMG_Waiting;
// Who asked to quit: a termination signal (nobody to ask: what can't be
// saved is said on standard error), the user in the window (asked to
// confirm first), or the debugger's `q` (typed: not asked again). The user
// and the debugger are told what can't be saved, and may go back.
enum QuitBy : u32 { QuitBySignal = 1, QuitByUser, QuitByDebugger };
// A quit that waits for a floppy to go in (who asked, 0 none), so the state
// it saves has the disk in its drive, and whether the wait ended a pause.
u32 quit_waiting;
u64 quit_waiting_since;  // host microseconds
bool quit_unpaused;
u32 frames_to_gone_check;  // frames left until the held states are looked at

// The TOS the next start takes with the automatic state: the one in place,
// unless it is the folder's own "tos.img", which every start takes anyway.
std::string state_tos() {
  std::error_code ec;
  const std::string own = APP_FindFile("tos.img");
  if (MMU_TosPath.empty() || (!own.empty() && std::filesystem::equivalent(own, MMU_TosPath, ec)))
    return {};
  const std::string path = std::filesystem::absolute(MMU_TosPath, ec).string();
  return ec ? std::string() : path;
}

// Who holds the file at `path`, the floppies waiting for a drive left out:
// a quit that goes ahead without them (overdue) may set aside a refused
// state that waits as a disk, which then waits on under its new name.
std::string holder_in_place(const std::string& path) {
  std::string waiting[2];
  std::swap(waiting, pending);
  std::string held = HOLDERS_Of(path.c_str());
  std::swap(waiting, pending);
  return held;
}

}  // namespace

std::string INPUT_SetAsideRefused(const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  // A hard disk's or the cartridge's image, which the next start opens by
  // its name alone, is not taken from that name: it stays, and with it what
  // leads there.
  if (error = HOLDERS_Through(path.c_str()); !error.empty()) return {};
  std::error_code lost[2];
  const fs::path named = fs::absolute(path, lost[0]).lexically_normal(), home = fs::canonical(path, lost[1]);
  // Where a file the machine took lies in what is set aside ("." for the
  // file itself): by its name as given (a link keeps its own name, which
  // says whether it is unpacked), with its folder's links resolved, and
  // with its own too (a link that leads through that name).
  struct Taken {
    std::string file;
    std::optional<FILES_Id> id;
    fs::path at[3];
  };
  const auto take = [&](const std::string& file, std::optional<FILES_Id> id) {
    Taken t{file, id, {}};
    if (file.empty() || !id) return t;
    std::error_code failed[3];
    const fs::path as = fs::absolute(file, failed[0]).lexically_normal();
    const fs::path ways[3] = {as, fs::canonical(as.parent_path(), failed[1]) / as.filename(),
                              fs::canonical(file, failed[2])};
    for (u32 w = 0; w < 3; ++w) {
      const fs::path rel = ways[w].lexically_relative(w ? home : named);
      if (!failed[w] && !lost[w ? 1 : 0] && !rel.empty() && *rel.begin() != "..") t.at[w] = rel;
    }
    return t;
  };
  Taken waits[2], held[2];
  for (u32 d = 0; d < 2; ++d) {
    waits[d] = take(pending[d], FILES_IdOf(pending[d]));
    if (DISKIMG_InsertedMask & (1u << d)) held[d] = take(DISKIMG_NameOf(d), DISKIMG_Source[d]);
  }
  const Taken tos = take(MMU_TosPath, FILES_IdOf(MMU_TosPath));
  const std::string aside = FILES_SetAside(path, "refused", error);
  if (aside.empty()) return aside;
  // Once its name no longer leads to it, a file the machine took is known
  // by the one under the new name that does, and is read the same way
  // (packed or not: a link's own name may be the only one that unpacks it);
  // empty: none.
  const auto follow = [&](const Taken& t) {
    if (!t.id || FILES_IdOf(t.file) == t.id) return std::string();
    const bool unpacked = HOST_UnpacksByName(t.file.c_str());
    for (const fs::path& rel : t.at) {
      const std::string now = rel == "." ? aside : (fs::path(aside) / rel).string();
      if (!rel.empty() && HOST_UnpacksByName(now.c_str()) == unpacked && FILES_IdOf(now) == t.id) return now;
    }
    return std::string();
  };
  for (u32 d = 0; d < 2; ++d) {
    if (const std::string now = follow(held[d]); !now.empty()) DISKIMG_Moved(d, now.c_str());
    if (const std::string now = follow(waits[d]); !now.empty()) {
      pending[d] = now;
      MENU_SetDiskName(d ? 'B' : 'A', fs::path(now).filename().string());
    }
  }
  if (const std::string now = follow(tos); !now.empty()) MMU_TosPath = now;
  return aside;
}

INPUT_Refused INPUT_RefusedAt(const FILES_HeldEntry& refused, const char* path) {
  if (refused.IsAt(path)) return INPUT_Refused::Itself;
  // The machine's own saves there let it go (APP_StateSaved): any other
  // file is another program's, a saved state (a backup moved back) too.
  struct stat st;
  return refused.Held() && stat(path, &st) == 0 && S_ISREG(st.st_mode) ? INPUT_Refused::Replaced
                                                                         : INPUT_Refused::None;
}

bool INPUT_RefusedLinkOpen(const FILES_HeldEntry& refused, const char* name) {
  // Still the refused entry, leading nowhere (then it is a link) or to the
  // state saved there so.
  struct stat st;
  return refused.IsAt(name) && (stat(name, &st) != 0 || refused.Filled());
}

void INPUT_RefusedLinkSaved(FILES_HeldEntry& refused, const char* name, const char* path) {
  if (FILES_SameEnd(name, path)) refused.HoldFilled(name);
}

bool INPUT_SavedWhereLinkLed(const FILES_HeldEntry& refused, const char* path) {
  std::error_code ec;
  return refused.LeadsToFilled(path) && !std::filesystem::is_symlink(path, ec);
}

std::string INPUT_RefusedWords(const FILES_HeldEntry& refused, const char* name) {
  std::string what = FILES_NotRegular(name);
  struct stat st;
  if (what.empty() && stat(name, &st) != 0) what = "is a symbolic link to nothing";
  // The refused link, which leads to a state saved where it led nowhere:
  // that state stays where it is.
  std::error_code ec;
  if (what.empty() && std::filesystem::is_symlink(name, ec) && refused.LeadsToFilled(name))
    what = "leads to the state saved since as " + std::filesystem::canonical(name, ec).string();
  return what;
}

bool INPUT_LeadsToRefused(const FILES_HeldEntry& refused, const char* name, const char* path) {
  if (INPUT_RefusedAt(refused, name) == INPUT_Refused::None) return false;
  // A save replaces the file where the links end: the refused file itself,
  // or what the refused link leads to. Another name of that file (a hard
  // link) is replaced alone.
  return FILES_SameEnd(path, name);
}

namespace {

// Writes the automatic state, whole or not at all, and the preferences
// then remember its TOS. Whatever the start refused under that name (a
// state of another machine, one it could not read, a folder, a link to a
// device) is set aside first, under a name that says so, and the user is
// told what loads it again (by why it was refused); when it can't be, it
// stays and no new one is written over it. Written into since (by drive A,
// or another program), it is still what the start refused, and so is a new
// file another program saved in its place (a state too); a state this
// machine saved under the name since is not: it is written over as it
// would be without the refusal. A file the machine holds (a disk under that
// name, or a link to one) is neither set aside nor written over: the save
// refuses it and says who holds it, and so does a floppy waiting for a
// drive under that name that the start did not refuse (the quit went ahead
// without it). Nor is a file the debugger's `U` refused that the name leads
// to written over. Returns why the state is not saved, or an empty string.
std::string save_auto_state(bool tell) {
  const std::string path = APP_AutoStatePath();
  std::string aside;
  const INPUT_Refused refused =
      APP_AutoStateRefused ? INPUT_RefusedAt(APP_AutoStateRefusedEntry, path.c_str()) : INPUT_Refused::None;
  if (refused != INPUT_Refused::None && holder_in_place(path).empty()) {
    // What is there when it is no file: said with the name it is kept under.
    const std::string what = INPUT_RefusedWords(APP_AutoStateRefusedEntry, path.c_str());
    // A file is said as what it is now: written over in place since (a disk
    // image copied onto a state of another TOS, a state onto a disk image),
    // or another program's, whatever the one it replaced was.
    const u32 now = !what.empty()               ? APP_AutoStateRefused
                    : STATE_Check(path.c_str()) ? STATE_RestoresNow
                                                : STATE_Refusal;
    std::string error;
    aside = INPUT_SetAsideRefused(path, error);
    if (aside.empty()) {
      const std::string why =
          path +
          (refused == INPUT_Refused::Replaced
               ? ", put in place of the automatic state that could not be restored at the start, is kept"
               : " could not be restored at the start and is kept") +
          "; no new state is saved: " + error;
      std::fprintf(stderr, "%s\n", why.c_str());
      return why;
    }
    if (!what.empty()) aside += ", which " + what;
    APP_AutoStateRefused = now;
    const char* kept =
        refused == INPUT_Refused::Replaced ? "What replaced the automatic state" : "The automatic state";
    std::fprintf(stderr, "%s refused at the start is kept as %s: %s\n", kept, aside.c_str(),
                 DLG_AlertTexts(17).explanation);
  }
  // A link to the file the debugger's `U` refused (or both links to one
  // file) would write over it: that file stays for `F` to set aside. One a
  // drive holds is refused by the save, which says where it is.
  std::string why;
  bool saved = false;
  if (HOLDERS_Of(path.c_str()).empty() && DEBUG_LeadsToRefusedFrozen(path.c_str())) {
    const std::string frozen = APP_Folder.path + "/" + DEBUG_FrozenName;
    const bool leads = FILES_LeadsThrough(path.c_str(), frozen.c_str());
    const bool replaced = DEBUG_RefusedFrozenReplaced();
    why = path + (leads ? " leads to " : " is one file with ") + frozen +
          (replaced ? ", which was put in place of what the debugger could not restore, and"
                    : ", which the debugger could not restore and") +
          " is kept; no new state is saved";
    std::fprintf(stderr, "%s\n", why.c_str());
  } else if ((saved = STATE_Write(path.c_str(), &why))) {
    PREFS_StateTos = state_tos();
  }
  // Set aside, or written over as no longer the refused one: nothing to hold.
  if (saved || !aside.empty()) APP_AutoStateRefusedEntry.LetGo();
  if (!aside.empty()) {
    if (tell) {
      DLG_SetAlertText(aside.c_str());
      DLG_Alert(refused == INPUT_Refused::Replaced ? 23 : 17, 0);  // its explanation by the refusal
    }
    APP_AutoStateRefused = 0;
  }
  if (saved) APP_StateSaved(path.c_str());
  return why;
}

// Ends the quit: the automatic state, then the preferences, which remember
// that state's TOS. What can't be saved is said on standard error and,
// unless a signal asked, in an alert that lets the user quit all the same
// or go back to the machine as it was; false when the user went back.
bool finish_quit(u32 by) {
  const bool tell = by != QuitBySignal;
  MENU_ShowMenuBar();
  APP_ShowCursor();
  // What can't be saved, a line each.
  std::string unsaved, why;
  if (PREFS_AutoSaveOnQuit && !(why = save_auto_state(tell)).empty())
    unsaved.append("The state of the machine: ").append(why);
  why.clear();
  if (!PREFS_Save(&why)) unsaved.append(unsaved.empty() ? "" : "\n").append("The preferences: ").append(why);
  if (!unsaved.empty() && tell && !DLG_ConfirmQuitUnsaved(unsaved)) {
    if (SCREEN_FullScreen) MENU_HideMenuBar();
    if (quit_unpaused) {
      EVENTS_Paused = 1;
      MENU_CheckItem(MENU_FileId, 7, true);
    }
    return false;
  }
  APP_QuitUnsaved = unsaved.empty() ? 0 : 1;
  APP_StopFlag = 1;
  return true;
}

// Asks (the user) or not, then quits; false when the user went back.
bool quit(u32 by) {
  if (quit_waiting) {
    // A signal meanwhile: nobody may be there to answer when it follows.
    // The debugger's `q` joining the window's quit closed the debugger for
    // the wait like its own: going back opens it again.
    if (by == QuitBySignal || (by == QuitByDebugger && quit_waiting == QuitByUser)) quit_waiting = by;
    return true;
  }
  if (SOUND_Active) SOUND_Pause(1);
  bool going = by != QuitByUser || DLG_ConfirmQuit();
  if (going) {
    quit_unpaused = false;
    if (INPUT_PendingDisks()) {
      // The machine runs on (a pause ends) until the drive took its disk.
      quit_waiting = by;
      quit_waiting_since = HOST_Microseconds();
      if (EVENTS_Paused) {
        EVENTS_Paused = 0;
        quit_unpaused = true;
        MENU_CheckItem(MENU_FileId, 7, false);
      }
    } else {
      going = finish_quit(by);
    }
  }
  if (SOUND_Active) SOUND_Pause(0);
  return going;
}

// The waiting floppies go in once the ST has seen their drives empty; one
// whose drive took another disk meanwhile (a restored state) is forgotten.
void insert_pending() {
  for (u32 d = 0; d < 2; ++d) {
    const bool full = DISKIMG_InsertedMask & (1u << d);
    if (pending[d].empty() || (!full && !DISKIMG_MayInsert(d))) continue;
    const std::string path = std::move(pending[d]);
    pending[d].clear();
    if (!full) MENU_InsertImage(d ? 'B' : 'A', path);
    MENU_UpdateDiskItems();
  }
}

}  // namespace

// ---- Host key map ----

void INPUT_HostKey(u32 code, bool down) {
  if (code > 127) return;
  u8& n = host_keys[code];
  if (down)
    n = u8(n < 255 ? n + 1 : n);
  else if (n)
    --n;
  set_bit(EVENTS_KeyMap, code, n != 0);
}

bool INPUT_HostKeyDown(u32 code) { return code < 128 && host_keys[code] != 0; }

bool INPUT_IsModifierKey(u32 code) {
  return code == INPUT_KeyShift || code == INPUT_KeyRightShift || code == INPUT_KeyControl ||
         code == INPUT_KeyRightControl || code == INPUT_KeyOption;
}

void INPUT_ClearHostKeys() {
  std::memset(host_keys, 0, sizeof host_keys);
  std::memset(EVENTS_KeyMap, 0, sizeof EVENTS_KeyMap);
}

// ---- What the ST holds ----

void INPUT_KeyMake(u32 code) {
  if (code > 255 || EVENTS_CapsLock || bit(sent_keys, code)) return;
  post_always(code, true);
  set_bit(sent_keys, code, true);
}

void INPUT_KeyBreak(u32 code) {
  if (code > 255 || !bit(sent_keys, code)) return;
  post_always(code, false);
  set_bit(sent_keys, code, false);
}

void INPUT_ButtonPress(u32 host, u32 button) {
  if (host > 3 || sent_buttons[host]) return;
  IKBD_MouseButton(button, 1);
  sent_buttons[host] = u8(button);
}

void INPUT_ButtonRelease(u32 host) {
  if (host > 3 || !sent_buttons[host]) return;
  IKBD_MouseButton(sent_buttons[host], 0);
  sent_buttons[host] = 0;
  if (host == 1) EVENTS_RightButtonHeld = 0;
}

void INPUT_ReleaseAll() {
  for (u32 code = 0; code < 256; ++code) INPUT_KeyBreak(code);
  for (u32 host = 1; host <= 3; ++host) INPUT_ButtonRelease(host);
  release_sticks();
  EVENTS_ShiftDown = EVENTS_ControlDown = EVENTS_OptionDown = EVENTS_CommandDown = 0;
}

void INPUT_Reset() {
  INPUT_ClearHostKeys();
  pending[0].clear();
  pending[1].clear();
  quit_waiting = 0;
  std::memset(modifier_keys, 0, sizeof modifier_keys);
  std::memset(sent_keys, 0, sizeof sent_keys);
  std::memset(sent_buttons, 0, sizeof sent_buttons);
  sticks_sent[0] = sticks_sent[1] = Stick{};
  sticks_mode = 0;
  EVENTS_ShiftDown = EVENTS_ControlDown = EVENTS_OptionDown = EVENTS_CommandDown = 0;
  EVENTS_CapsPrevious = EVENTS_CapsLock = 0;
  EVENTS_RightButtonHeld = 0;
  EVENTS_DeltaH = EVENTS_DeltaV = EVENTS_PrevDeltaH = EVENTS_PrevDeltaV = 0;
  EVENTS_VdiLastX = EVENTS_VdiLastY = EVENTS_VdiStuckCount = 0;
  pointer_measured = still_since_restore = false;
  INPUT_ForgetStPointer();
}

bool INPUT_AnythingHeld() {
  for (u8 b : sent_keys)
    if (b) return true;
  for (u8 b : sent_buttons)
    if (b) return true;
  return sticks_sent[0].any() || sticks_sent[1].any();
}

// ---- Events ----

void INPUT_Dispatch(const INPUT_Event& e) {
  if (modifier_event(e, !EVENTS_Suspended && !EVENTS_Paused)) return;
  switch (e.kind) {
    case INPUT_Event::KeyDown:
      if (e.command) {
        if (EVENTS_MenuKeyHook && e.character) EVENTS_MenuKeyHook(e.character);
      } else if (!EVENTS_Suspended && !EVENTS_Paused) {
        sync_modifiers(true);
        INPUT_KeyMake(e.code);
      }
      break;
    case INPUT_Event::KeyUp: INPUT_KeyBreak(e.code); break;
    case INPUT_Event::ButtonDown: button_down(e); break;
    case INPUT_Event::ButtonUp: INPUT_ButtonRelease(e.code); break;
    case INPUT_Event::FocusLost:
      EVENTS_InBackground = 1;
      EVENTS_Suspended = PREFS_PauseInBackground ? 1 : 0;
      // The keys held now come up elsewhere.
      std::memset(modifier_keys, 0, sizeof modifier_keys);
      INPUT_ReleaseAll();
      SCREEN_UpdatePalette();
      break;
    case INPUT_Event::FocusGained:
      EVENTS_InBackground = 0;
      EVENTS_Suspended = 0;
      SCREEN_UpdatePalette();
      SCREEN_DrawStatusLine();
      break;
    case INPUT_Event::None: break;
  }
}

void INPUT_DispatchPaused(const INPUT_Event& e) {
  if (modifier_event(e, false)) return;
  switch (e.kind) {
    case INPUT_Event::KeyDown:
      if (e.command && EVENTS_MenuKeyHook && e.character) EVENTS_MenuKeyHook(e.character);
      break;
    case INPUT_Event::KeyUp: INPUT_KeyBreak(e.code); break;
    case INPUT_Event::ButtonUp: INPUT_ButtonRelease(e.code); break;
    case INPUT_Event::FocusLost:
      std::memset(modifier_keys, 0, sizeof modifier_keys);
      SCREEN_UpdatePalette();
      if (SOUND_Active) SOUND_Pause(1);
      break;
    case INPUT_Event::FocusGained:
      if (SOUND_Active) SOUND_Pause(0);
      SCREEN_UpdatePalette();
      SCREEN_DrawStatusLine();
      break;
    case INPUT_Event::ButtonDown:
    case INPUT_Event::None: break;
  }
}

// ---- The per-frame poll ----

void INPUT_PollModifiers(bool capsLock) {
  EVENTS_CapsPrevious = EVENTS_CapsLock = capsLock ? 1 : 0;
  EVENTS_CommandDown = INPUT_HostKeyDown(INPUT_KeyCommand) ? 1 : 0;
}

namespace {

// The ST's screen in each display mode and where its picture lies in the
// window's content: the picture's top-left content pixel, and the content
// pixels an ST pixel takes across and down (from content pixels back to the
// ST's, the division truncates toward zero).
struct StScreen {
  i32 width, height, left, top, across, down;
  i32 h(i32 x) const { return left + x * across; }
  i32 v(i32 y) const { return top + y * down; }
  i32 x(i32 h) const { return (h - left) / across; }
  i32 y(i32 v) const { return (v - top) / down; }
};
constexpr StScreen st_screens[5] = {{320, 200, 33, 30, 1, 1}, {640, 200, 65, 59, 1, 2},
                                    {640, 400, 1, 1, 1, 1},   {640, 400, 1, 1, 1, 1},
                                    {320, 200, 65, 59, 2, 2}};
const StScreen& st_screen(u32 mode) { return st_screens[mode < 5 ? mode : SCREEN_ModeHigh]; }

// The ST's pointer: the positions it may be at on each axis, in the display
// mode they were taken in (none yet: ~0), at the machine's frame count
// when last looked at (a reset counts the frames from 0 again) and the
// keyboard processor's count of mouse set-ups then (the ST puts its pointer
// anew at each: EmuTOS's VDI centres it when GEM starts, after any motion
// sent during the boot).
struct Span {
  i32 lo, hi;
};
Span pointer_x, pointer_y;
u32 pointer_mode = ~0u, pointer_frame, pointer_setups;

i32 clamp(i32 v, i32 last) { return v < 0 ? 0 : v > last ? last : v; }

// The spans in `mode`, the whole screen when what was known no longer holds.
const StScreen& pointer_spans(u32 mode) {
  const StScreen& s = st_screen(mode);
  if (mode != pointer_mode || SCHED_FrameCount < pointer_frame || IKBD_MouseSetCount != pointer_setups) {
    pointer_x = {0, s.width - 1};
    pointer_y = {0, s.height - 1};
    pointer_mode = mode;
  }
  pointer_frame = SCHED_FrameCount;
  pointer_setups = IKBD_MouseSetCount;
  return s;
}

// Motion sent to the ST: the pointer was where the VDI read says (when it
// could be read), and went on as far as the screen lets it.
void pointer_moved(u32 mode, i32 dx, i32 dy, const i32* read) {
  const StScreen& s = pointer_spans(mode);
  if (read) pointer_x = {read[0], read[0]}, pointer_y = {read[1], read[1]};
  pointer_x = {clamp(pointer_x.lo + dx, s.width - 1), clamp(pointer_x.hi + dx, s.width - 1)};
  pointer_y = {clamp(pointer_y.lo + dy, s.height - 1), clamp(pointer_y.hi + dy, s.height - 1)};
}

}  // namespace

bool INPUT_StPointerAtTop(u32 displayMode) {
  pointer_spans(displayMode);
  return pointer_y.hi == 0;
}

void INPUT_StPointerInContent(u32 displayMode, i32& h, i32& v) {
  const StScreen& s = pointer_spans(displayMode);
  h = s.h((pointer_x.lo + pointer_x.hi) / 2);
  v = s.v(pointer_y.hi);
}

void INPUT_ForgetStPointer() { pointer_mode = ~0u; }

bool INPUT_ReadVdiCursor(i32& x, i32& y) {
  const u32 base = SCREEN_LineABase;
  if (base < 0x158 || base >= MMU_RamSize || !MMU_RamBase) return false;
  x = i32(i16(be_read16(MMU_RamBase + base - 0x158)));
  y = i32(i16(be_read16(MMU_RamBase + base - 0x156)));
  return true;
}

INPUT_PointerResult INPUT_PollPointer(const INPUT_Pointer& p) {
  INPUT_PointerResult r{false, true};
  pointer_spans(p.displayMode);  // a reset or a mouse set-up since the last frame is seen now
  const bool active = p.inActive || p.captured;
  if (active) {
    EVENTS_PrevDeltaH = EVENTS_DeltaH;
    EVENTS_PrevDeltaV = EVENTS_DeltaV;
    EVENTS_DeltaH = p.captured ? p.relH : pointer_measured ? p.h - EVENTS_LastMouseH : 0;
    EVENTS_DeltaV = p.captured ? p.relV : pointer_measured ? p.v - EVENTS_LastMouseV : 0;
    EVENTS_LastMouseH = p.h;
    EVENTS_LastMouseV = p.v;
    if (EVENTS_DeltaH || EVENTS_DeltaV) still_since_restore = false;
    r.showCursor = EVENTS_CommandDown != 0;
  }
  pointer_measured = active && !p.captured;
  if (IKBD_State.mouseMode == 3) {
    EVENTS_VdiTracking = 0;
    EVENTS_VdiStuckCount = 20;
    // Only motion over the picture is sent: off it the last motion would be
    // sent again every frame.
    if (!active || !p.inPicture) return r;
    const struct {
      bool on;
      u32 code;
    } keys[] = {{EVENTS_DeltaH < 0, 0x7b}, {EVENTS_DeltaH > 0, 0x7c},
                {EVENTS_DeltaV < 0, 0x7e}, {EVENTS_DeltaV > 0, 0x7d}};
    for (const auto& k : keys) {
      if (!k.on) continue;
      for (int i = 0; i < 6; ++i) post_always(k.code, true);
      post_always(k.code, false);
    }
    return r;
  }
  if (IKBD_State.mouseMode != 1) return r;

  // Does the ST's VDI cursor follow the motion sent? More than 3 net frames
  // that it did not give up the steering; 6 that it did take it back.
  i32 x = 0, y = 0;
  const bool vdi = INPUT_ReadVdiCursor(x, y);
  if (p.inPicture && vdi) {
    const bool movedH = EVENTS_PrevDeltaH != 0, movedV = EVENTS_PrevDeltaV != 0;
    if ((x == EVENTS_VdiLastX && movedH) || (y == EVENTS_VdiLastY && movedV)) {
      if (++EVENTS_VdiStuckCount > 3) {
        EVENTS_VdiTracking = 0;
        EVENTS_VdiStuckCount = 5;
      }
    } else if ((x != EVENTS_VdiLastX && movedH) || (y != EVENTS_VdiLastY && movedV)) {
      if (--EVENTS_VdiStuckCount < 0) {
        EVENTS_VdiStuckCount = 0;
        EVENTS_VdiTracking = 1;
      }
    }
    EVENTS_VdiLastX = x;
    EVENTS_VdiLastY = y;
  }
  if (!active || EVENTS_CommandDown) return r;
  const bool follows = vdi && EVENTS_VdiTracking;
  const i32 read[2] = {x, y};
  const bool steer = MENU_STMouseDriver && follows && !p.fullScreen;
  if (steer && p.displayMode < 5 && !still_since_restore) {
    // Pull the ST's cursor to the host pointer, whose position on the
    // picture each display mode gives its own way.
    const StScreen& s = st_screen(p.displayMode);
    EVENTS_DeltaH = s.x(p.h) - x;
    EVENTS_DeltaV = s.y(p.v) - y;
  }
  IKBD_SendRelativeMouse(EVENTS_DeltaH, EVENTS_DeltaV);
  pointer_moved(p.displayMode, EVENTS_DeltaH, EVENTS_DeltaV, follows ? read : nullptr);
  r.capture = !steer;
  return r;
}

INPUT_PointerResult INPUT_Poll(bool capsLock, const INPUT_Pointer& p) {
  if (EVENTS_Suspended || EVENTS_Paused) return {false, true};
  INPUT_PollModifiers(capsLock);
  const INPUT_PointerResult r = INPUT_PollPointer(p);
  INPUT_PollJoysticks();
  return r;
}

void INPUT_PollJoysticks() {
  const u32 mode = IKBD_State.joystickMode;
  if (!EVENTS_CapsLock || (mode != 0 && mode != 2)) {
    release_sticks();
    return;
  }
  if (mode != sticks_mode) release_sticks();
  sticks_mode = mode;
  for (u32 s = 0; s < 2; ++s) {
    const Stick now = read_stick(s);
    const Stick& was = sticks_sent[s];
    if (std::memcmp(&now, &was, sizeof now) == 0) continue;
    send_stick(s, was, now, mode);
    sticks_sent[s] = now;
  }
}

// ---- Documents and quit ----

void APP_OpenDocuments(const std::vector<std::string>& paths, bool command, bool atStart) {
  const size_t count = paths.size();
  bool restarted = false;
  for (size_t i = 0; i < count && i < 2; ++i) {
    const std::string& path = paths[i];
    if (atStart && APP_AutoStateTakenUp && (DISKIMG_Holds(0, path.c_str()) || DISKIMG_Holds(1, path.c_str())))
      continue;
    struct stat st {};
    const bool measured = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (measured && (st.st_size == 196608 || st.st_size == 262144)) {
      // A file the loader refuses leaves the running ST as it was.
      std::string why;
      if (!MMU_LoadTOS(path, &why)) {
        DLG_SetAlertText((path + " " + why).c_str());
        DLG_Alert(15, 1);
        continue;
      }
      MMU_ClearRAM();
      m68k_restart();
      restarted = true;
      MENU_UpdateChecks();
      SCREEN_DrawStatusLine();
      continue;
    }
    INPUT_PutDisk((count == 1 && command) || i == 1 ? 'B' : 'A', path);
  }
  // The restarted ST has read no disk yet: those waiting go in now.
  if (restarted) {
    DISKIMG_StRestarted();
    insert_pending();
  }
  MENU_UpdateDiskItems();
  MENU_UpdateChecks();
}

bool INPUT_PutDisk(char drive, const std::string& path) {
  const u32 d = drive == 'B' || drive == 'b' ? 1 : 0;
  drive = d ? 'B' : 'A';
  // A file that can't go in changes nothing: the drive keeps its disk (a
  // program working on it goes on), and the alert says so.
  std::string why;
  if (!DISKIMG_CheckImage(path.c_str(), why)) {
    std::string text = std::string("Cant insert a disk in drive ") + drive + ", " + path + " " + why;
    if (DISKIMG_InsertedMask & (1u << d)) text += std::string(". The disk in drive ") + drive + " stays in.";
    DLG_SetAlertText(text.c_str());
    DLG_Alert(7, 1);
    return false;
  }
  // The disk there comes out at once; the new one goes in when the ST has
  // seen the drive empty, as between a hand's eject and insert.
  DISKIMG_Eject(drive);
  pending[d] = path;
  if (DISKIMG_MayInsert(d)) {
    insert_pending();
  } else {
    MENU_SetDiskName(drive, std::filesystem::path(path).filename().string());
    MENU_UpdateDiskItems();
  }
  return true;
}

namespace {

// Ends a quit that waited for the floppies; false when the user went back.
// The debugger's `q` closed the debugger for the wait: going back opens it
// again, as a `q` cancelled at once leaves it open.
bool finish_waited_quit() {
  const u32 by = quit_waiting;
  quit_waiting = 0;
  if (finish_quit(by)) return true;
  if (by == QuitByDebugger) DEBUG_QuitCancelled();
  return false;
}

}  // namespace

void INPUT_DiskSwapFrame() {
  insert_pending();
  if (quit_waiting && !INPUT_PendingDisks()) finish_waited_quit();
  if (frames_to_gone_check-- == 0) {
    frames_to_gone_check = 63;
    APP_AutoStateRefusedEntry.LetGoOfGone();
    APP_AutoStateTakenEntry.LetGoOfGone();
    DEBUG_LetGoOfGone();
  }
}

bool INPUT_QuitWaiting() { return quit_waiting != 0; }

void INPUT_QuitIfOverdue() {
  if (!quit_waiting || HOST_Microseconds() - quit_waiting_since < INPUT_QuitWaitLimit) return;
  // The frames do not come (a guest holding the machine inside long Blitter
  // operations): the quit goes ahead with the drive empty, as the ST last
  // saw it. Putting the floppy in now, unseen, would have the ST write its
  // old disk's directory onto it after a restore. The floppies wait on
  // while the quit saves, so no state is written over one; a user who goes
  // back to the machine (what can't be saved) finds them waiting still.
  if (!finish_waited_quit()) {
    MENU_UpdateDiskItems();
    return;
  }
  for (std::string& p : pending) {
    if (!p.empty()) std::fprintf(stderr, "%s did not go in: the quit came first\n", p.c_str());
    p.clear();
  }
}

u32 INPUT_PendingDisks() { return (pending[0].empty() ? 0 : 1) | (pending[1].empty() ? 0 : 2); }

bool INPUT_CancelPendingDisk(char drive) {
  std::string& p = pending[drive == 'B' || drive == 'b' ? 1 : 0];
  if (p.empty()) return false;
  p.clear();
  return true;
}

void INPUT_StateRestored() {
  INPUT_ForgetStPointer();
  // The restored ST gets only the motion the user makes from now on: the
  // host drops what it has not polled yet, the next motion is measured from
  // where the pointer is then (not from where it was before the menus and
  // the chooser), the follow test starts from the restored cursor, and a
  // steered pointer is pulled only once it moves.
  EVENTS_ForgetPointerMotion();
  pointer_measured = false;
  EVENTS_DeltaH = EVENTS_DeltaV = EVENTS_PrevDeltaH = EVENTS_PrevDeltaV = 0;
  i32 x, y;
  if (INPUT_ReadVdiCursor(x, y)) EVENTS_VdiLastX = x, EVENTS_VdiLastY = y;
  still_since_restore = true;
  // A floppy waiting for a drive the state filled is forgotten: the
  // state's own disk is there. One for a drive it left empty goes on
  // waiting, for the restored ST to see the drive empty.
  for (u32 d = 0; d < 2; ++d)
    if (DISKIMG_InsertedMask & (1u << d)) pending[d].clear();
}

void APP_RefusedSavedOver() {
  APP_AutoStateRefusedEntry.LetGo();
  APP_AutoStateRefused = 0;
}

void APP_StateLoaded(const char* path) {
  // Whatever a refused link held alone leads to (a state saved where it led
  // nowhere) is not what was refused. Moved from the automatic state's
  // name since, it no longer stands for what lies there now.
  const std::string auto_path = APP_AutoStatePath();
  if (APP_AutoStateRefused && APP_AutoStateRefusedEntry.IsAt(path) && !APP_AutoStateRefusedEntry.Filled() &&
      APP_AutoStateRefusedEntry.IsAt(auto_path.c_str())) {
    APP_RefusedSavedOver();
    APP_AutoStateTakenEntry.Hold(auto_path.c_str());
  }
}

void APP_StateSaved(const char* path) {
  DEBUG_StateSaved(path);
  const std::string auto_path = APP_AutoStatePath();
  if (!FILES_SameEnd(path, auto_path.c_str())) return;
  // This machine's state is what the name opens now: nothing refused is
  // left under it, unless it is the refused link that led nowhere, still
  // there, which stays set aside from the state saved where it leads.
  const bool link_stays =
      APP_AutoStateRefusedEntry.Filled() && APP_AutoStateRefusedEntry.IsAt(auto_path.c_str());
  if (APP_AutoStateRefused && !link_stays) APP_RefusedSavedOver();
  if (!APP_AutoStateRefused) APP_AutoStateTakenEntry.Hold(auto_path.c_str());
}

bool APP_RefusedLinkOpen() {
  const std::string auto_path = APP_AutoStatePath();
  return APP_AutoStateRefused && INPUT_RefusedLinkOpen(APP_AutoStateRefusedEntry, auto_path.c_str());
}

void APP_RefusedLinkSaved(const char* path) {
  const std::string auto_path = APP_AutoStatePath();
  INPUT_RefusedLinkSaved(APP_AutoStateRefusedEntry, auto_path.c_str(), path);
}

bool APP_LeadsToRefusedAutoState(const char* path) {
  const std::string auto_path = APP_AutoStatePath();
  return APP_AutoStateRefused && INPUT_LeadsToRefused(APP_AutoStateRefusedEntry, auto_path.c_str(), path);
}

void APP_AutoSaveOnQuit() { quit(QuitByUser); }
void APP_QuitNow() { quit(QuitBySignal); }
bool APP_QuitFromDebugger() { return quit(QuitByDebugger); }
